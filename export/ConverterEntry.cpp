#include "export/ConverterEntry.h"

#include <exception>
#include <iostream>

std::optional<int> runConverterFromCommandLine(int argc, char** argv) {
    try {
        ConverterSetup setup;
        return runConverter(argc, argv, setup.context, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "Error: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "Unknown error occurred.\n";
    }
    std::cerr.flush();
    return 1;
}

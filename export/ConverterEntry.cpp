#include "export/ConverterEntry.h"

#include <exception>
#include <iostream>
#include <memory>

#include "apu/Apu.h"
#include "apu/Nonlinear_Buffer.h"
#include "export/Converter.h"
#include "export/PlayerCapture.h"
#include "player/Player.h"

std::optional<int> runConverterFromCommandLine(int argc, char** argv) {
    try {
        // The song alone is several megabytes with its sample slots: keep it off the stack.
        auto song = std::make_unique<Song>();
        auto buffer = std::make_unique<Nonlinear_Buffer>();
        auto apu = std::make_unique<Apu>(*buffer);
        auto player = std::make_unique<Player>(*song, *apu);
        DriverCommandRecorder recorder;
        PlayerCapture capture(*player, recorder);
        ConverterContext context{*song, capture, recorder};
        return runConverter(argc, argv, context, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "Error: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "Unknown error occurred.\n";
    }
    std::cerr.flush();
    return 1;
}

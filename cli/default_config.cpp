// bleepforge-cli default-config: prints the built-in configuration text exactly as the program
// carries it (CR LF line ends included), as a starting point for a user's bleepforge.ini.

#include <cstdio>
#include <stdexcept>

#include "cli/Cli.h"
#include "config/DefaultConfig.h"

namespace {

int runDefaultConfig(const std::vector<std::string>& args) {
    if (args.size() != 1) throw std::runtime_error("usage: bleepforge-cli default-config");
    const std::string& text = defaultConfigurationText();
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        throw std::runtime_error("cannot write to standard output");
    return 0;
}

const CliVerbRegistrar registrar({"default-config",
                                  "default-config          print the built-in configuration",
                                  runDefaultConfig});

}  // namespace

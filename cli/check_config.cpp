// bleepforge-cli check-config FILE: loads the built-in configuration and then FILE exactly as the
// program does at start-up, and reports the first error the program would stop with, or "ok".

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "cli/Cli.h"
#include "config/StartupConfig.h"

namespace {

int runCheckConfig(const std::vector<std::string>& args) {
    if (args.size() != 2) throw std::runtime_error("usage: bleepforge-cli check-config FILE");
    std::vector<unsigned char> bytes = cliReadFile(args[1]);
    std::istringstream user(std::string(bytes.begin(), bytes.end()));
    ConfigFile config;
    KeyBindings bindings;
    loadStartupConfiguration(config, &user, bindings);
    std::printf("ok\n");
    return 0;
}

const CliVerbRegistrar registrar(
    {"check-config", "check-config FILE       load FILE as the program would, report the first error",
     runCheckConfig});

}  // namespace

// The configuration verbs of bleepforge-cli, run as a user would run them.

#include <gtest/gtest.h>

#include "config/DefaultConfig.h"
#include "tests/app/Golden.h"
#include "tests/song/FileBytes.h"

namespace {

// Writes text to a file of its own and returns the quoted path for the command line.
std::string configFile(const std::string& text) {
    static int counter = 0;
    const std::string path = (scratch() / ("config" + std::to_string(counter++) + ".ini")).string();
    std::ofstream(path, std::ios::binary) << text;
    return "'" + path + "'";
}

}  // namespace

TEST(CliConfig, DefaultConfigPrintsTheBuiltInTextByteForByte) {
    const ToolRun r = runTool("default-config");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output(), defaultConfigurationText());
    // What it prints is itself a valid configuration.
    EXPECT_EQ(runTool("check-config " + configFile(r.output())).output(), "ok\n");
}

// Configuration texts and what check-config answers for them (exit status, then what it
// prints), kept in tests/data/config/check_config.txt.
TEST(CliConfig, CheckConfigReportsTheFirstStartUpError) {
    expectTable("config/check_config", [](const std::string& text) {
        const ToolRun r = runTool("check-config " + configFile(text));
        return std::to_string(r.status) + " " + r.output();
    });
    expectRefused("check-config /nonexistent/bleepforge.ini");
}

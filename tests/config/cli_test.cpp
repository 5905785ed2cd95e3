// The configuration verbs of bleepforge-cli, run as a user would run them.

#include <gtest/gtest.h>

#include "config/DefaultConfig.h"
#include "tests/song/FileBytes.h"

namespace {

// Standard output and standard error together, as a user at a terminal sees them.
struct CliRun {
    int exitCode;
    std::string output;
};
CliRun runCli(const std::string& args) {
    const ToolRun r = runTool(args);
    return {r.status, r.out + r.err};
}

// Writes text to a file of its own and returns the quoted path for the command line.
std::string configFile(const std::string& text) {
    static int counter = 0;
    const std::string path = (scratch() / ("config" + std::to_string(counter++) + ".ini")).string();
    std::ofstream(path, std::ios::binary) << text;
    return "'" + path + "'";
}

}  // namespace

TEST(CliConfig, DefaultConfigPrintsTheBuiltInTextByteForByte) {
    CliRun r = runCli("default-config");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, defaultConfigurationText());
    // What it prints is itself a valid configuration.
    EXPECT_EQ(runCli("check-config " + configFile(r.output)).output, "ok\n");
}

TEST(CliConfig, CheckConfigReportsTheFirstStartUpError) {
    CliRun ok =
        runCli("check-config " +
               configFile("[general]\r\ntarget fps = 50\r\n[pattern editor]\r\nmove up = SDLK_w\r\n"));
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_EQ(ok.output, "ok\n");

    struct Case {
        const char* text;
        const char* output;
    } cases[] = {
        {"[general\n", "Error: Deformed category string in ConfigFile::parseCategory()\n"},
        {"[note input]\n0 = SDLK_Q\n", "Error: invalid map<K, T> key\n"},
        // The sample rate is read before the bindings, so its error comes first.
        {"[order editor]\nmove up = SDLK_UP +| SDLK_a\n[general]\nsample rate = x\n",
         "Error: Couldn't parse integer in ConfigFile::getInt()\n"},
    };
    for (const Case& c : cases) {
        CliRun r = runCli("check-config " + configFile(c.text));
        EXPECT_EQ(r.exitCode, 1) << c.text;
        EXPECT_EQ(r.output, c.output) << c.text;
    }
    CliRun missing = runCli("check-config /nonexistent/bleepforge.ini");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.output.starts_with("Error: ")) << missing.output;
}

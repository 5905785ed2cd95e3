// The configuration verbs of bleepforge-cli, run as a user would run them.

#include <gtest/gtest.h>

#include "tests/app/Golden.h"
#include "tests/song/FileBytes.h"

namespace {

// Writes text to the scratch configuration file and returns its quoted path for the command line.
std::string configFile(const std::string& text) {
    return "'" + writeFile(scratch() / "config.ini", {text.begin(), text.end()}) + "'";
}

}  // namespace

// The kept text, layout included: CR LF line ends, keys padded to 28 columns, later settings after
// the original ones of their section.
TEST(CliConfig, DefaultConfigPrintsTheBuiltInTextByteForByte) {
    const ToolRun r = runTool("default-config");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output(), readFile(BF_SOURCE_DIR "/tests/data/config/default.ini"));
    // What it prints is itself a valid configuration.
    EXPECT_EQ(runTool("check-config " + configFile(r.output())).output(), "ok\n");
}

// Configuration texts and what check-config answers (exit status, then what it prints).
TEST(CliConfig, CheckConfigReportsTheFirstStartUpError) {
    expectTable("config/check_config", [](const std::string& text) {
        const ToolRun r = runTool("check-config " + configFile(text));
        return std::to_string(r.status) + " " + r.output();
    });
    expectRefused("check-config /nonexistent/bleepforge.ini");
}

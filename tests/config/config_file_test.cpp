// The settings parser: line rules, merging of a second text, typed lookups and their failures.

#include <gtest/gtest.h>

#include "config/ConfigFile.h"
#include "tests/app/Golden.h"

namespace {

const char* kMissing = "invalid map<K, T> key";

std::string thrownMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

}  // namespace

TEST(ConfigFileParse, LinesCommentsAndPairs) {
    ConfigFile c;
    ASSERT_TRUE(
        c.parseText("   ; comment\n\n\t\nkey = a;b\nk2=value\n  k3   =   value  \na = b = c\n=5\n"
                    "empty =\n[s]\n-12 = SDLK_z ; trailing\nlast line = no newline"));
    EXPECT_EQ(c.section("unnamed"),
              (ConfigFile::Section{
                  {"key", "a"}, {"k2", "value"}, {"k3", "value"}, {"a", "b = c"}, {"", "5"}, {"empty", ""}}));
    EXPECT_EQ(c.section("s"), (ConfigFile::Section{{"-12", "SDLK_z"}, {"last line", "no newline"}}));

    ConfigFile crlf;
    crlf.parseText("[s]\r\n-12 = SDLK_z ; trailing\r\nlast line = no newline\r\n");
    EXPECT_EQ(crlf.section("s"), c.section("s"));
}

TEST(ConfigFileParse, SecondTextMergesAndOverrides) {
    ConfigFile c;
    c.parseText("[s]\na = 1\n[t]\nb = 2\n[s]\nc = 3\n[ general ]\nx = y\n");
    // Each parse starts again in "unnamed"; a repeated header continues its section.
    c.parseText("a = 0\n[s]\na = 9\n[empty]\n");
    EXPECT_EQ(c.get("unnamed", "a"), "0");
    EXPECT_EQ(c.get("s", "a"), "9");
    EXPECT_EQ(c.get("s", "c"), "3");
    EXPECT_EQ(c.get("t", "b"), "2");
    EXPECT_EQ(c.get(" general ", "x"), "y");  // names between brackets are kept as written
    EXPECT_FALSE(c.hasSection("general"));
    EXPECT_FALSE(c.hasSection("empty"));  // a section exists once it has a key
}

// Cases as "kind|text", kept with their answers in tests/data/config/parse_cases.txt: a "text"
// parsed whole (malformed lines throw exact messages), an "int" value read by getInt like
// stream extraction (out of range is a failed read, never a wrapped value) and the "leading"
// white space readLeadingInt skips (the C locale's: tab to carriage return and space).
TEST(ConfigFileParse, CasesGiveTheirValuesOrExactMessages) {
    expectTable("config/parse_cases", [](const std::string& c) {
        const size_t bar = c.find('|');
        const std::string kind = c.substr(0, bar), text = c.substr(bar + 1);
        int32_t v = 0;
        if (kind == "leading") return readLeadingInt(text, v) ? std::to_string(v) : std::string("no number");
        ConfigFile file;
        const std::string thrown = thrownMessage([&] {
            file.parseText(kind == "int" ? "v = " + text + "\n" : text);
            if (kind == "int") v = file.getInt("unnamed", "v");
        });
        if (thrown != "(nothing thrown)") return "throws: " + thrown;
        return kind == "int" ? std::to_string(v) : std::string("parses");
    });
    // Lines before the bad one stay stored.
    ConfigFile c;
    EXPECT_THROW(c.parseText("[s]\na = 1\nbroken\nb = 2\n"), std::runtime_error);
    EXPECT_EQ(c.get("s", "a"), "1");
    EXPECT_EQ(thrownMessage([&] { c.get("s", "b"); }), kMissing);
}

TEST(ConfigFileLookup, MissingSectionOrKeyAndTrim) {
    ConfigFile c;
    c.parseText("[s]\na = 1\n");
    EXPECT_EQ(thrownMessage([&] { c.get("t", "a"); }), kMissing);
    EXPECT_EQ(thrownMessage([&] { c.get("s", "A"); }), kMissing);  // names are case-sensitive
    EXPECT_EQ(thrownMessage([&] { c.getInt("s", "b"); }), kMissing);
    EXPECT_EQ(thrownMessage([&] { c.section("S"); }), kMissing);
    EXPECT_EQ(ConfigFile::trim("\t\va\f \r\n"), "\va\f");  // only space, tab, CR and LF are blanks
}

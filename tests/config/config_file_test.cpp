// The settings parser: line rules, merging of a second text, typed lookups and their failures.

#include <gtest/gtest.h>

#include "config/ConfigFile.h"

namespace {

const char* kDelimiter = "Key-value pair delimiter missing in ConfigFile::parseKeyValuePair()";
const char* kCategory = "Deformed category string in ConfigFile::parseCategory()";
const char* kMissing = "invalid map<K, T> key";
const char* kNoInt = "Couldn't parse integer in ConfigFile::getInt()";

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

TEST(ConfigFileParse, MalformedLinesThrowExactMessages) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"general\n", kDelimiter}, {"[general\n", kCategory}, {"[]\n", kCategory},
        {"[x] y\n", kCategory},    {"]x[\n", kDelimiter},     {"ok = 1\r\n[\r\n", kCategory},
    };
    for (const Case& k : cases) {
        ConfigFile c;
        EXPECT_EQ(thrownMessage([&] { c.parseText(k.text); }), k.message) << k.text;
    }
    // Lines before the bad one stay stored.
    ConfigFile c;
    EXPECT_THROW(c.parseText("[s]\na = 1\nbroken\nb = 2\n"), std::runtime_error);
    EXPECT_EQ(c.get("s", "a"), "1");
    EXPECT_EQ(thrownMessage([&] { c.get("s", "b"); }), kMissing);
}

TEST(ConfigFileLookup, GetIntReadsLikeStreamExtraction) {
    ConfigFile c;
    c.parseText(
        "[n]\na = -12\nb = 25 fps\nc = 0x10\nd = +5\ne = -2147483648\nf = 2147483647\n"
        "g = abc\nh =\ni = -\nj = +-1\nk = 2147483648\nl = -2147483649\nm = 99999999999999999999\n");
    const std::pair<const char*, int32_t> good[] = {{"a", -12}, {"b", 25},        {"c", 0},
                                                    {"d", 5},   {"e", INT32_MIN}, {"f", INT32_MAX}};
    for (const auto& [key, value] : good) EXPECT_EQ(c.getInt("n", key), value) << key;
    // Out of range is a failed read, never a wrapped value.
    for (const char* key : {"g", "h", "i", "j", "k", "l", "m"})
        EXPECT_EQ(thrownMessage([&] { c.getInt("n", key); }), kNoInt) << key;
    // Leading white space is the C locale's: tab to carriage return and space, nothing else.
    int32_t v = 0;
    for (const char* text : {"\t7", "\v\f7", "\r 7"}) {
        EXPECT_TRUE(readLeadingInt(text, v)) << text;
        EXPECT_EQ(v, 7);
    }
    for (const char* text : {"\b7", "\x0e" "7"}) EXPECT_FALSE(readLeadingInt(text, v));
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

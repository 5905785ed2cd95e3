// The settings parser: line rules, merging of a second text, typed lookups and their failures.

#include <gtest/gtest.h>

#include "config/ConfigFile.h"
#include "tests/app/Golden.h"

// "kind|text": a "text" parsed whole (malformed lines throw exact messages), an "int" read by getInt
// like stream extraction (out of range fails, never wraps) and the "leading" white space
// readLeadingInt skips (the C locale's: tab to carriage return and space).
TEST(ConfigFileParse, CasesGiveTheirValuesOrExactMessages) {
    expectTable("config/parse_cases", [](const std::string& c) {
        const size_t bar = c.find('|');
        const std::string kind = c.substr(0, bar), text = c.substr(bar + 1);
        int32_t v = 0;
        if (kind == "leading") return readLeadingInt(text, v) ? std::to_string(v) : std::string("no number");
        ConfigFile file;
        const std::string thrown = errorOf([&] {
            file.parseText(kind == "int" ? "v = " + text + "\n" : text);
            if (kind == "int") v = file.getInt("unnamed", "v");
        });
        if (!thrown.empty()) return "throws: " + thrown;
        return kind == "int" ? std::to_string(v) : std::string("parses");
    });
}

// Texts parsed in turn into one file, then "get|SECTION|KEY|TEXT...", "int|SECTION|KEY|TEXT..." or
// "section|NAME||TEXT..." (and whether hasSection finds it).
TEST(ConfigFileLookup, ParsedTextsAndWhatLookupsGive) {
    expectTable("config/lookups", [](const std::string& c) {
        std::vector<std::string> f;
        std::istringstream fields(c);
        for (std::string field; std::getline(fields, field, '|');) f.push_back(field);
        ConfigFile file;
        std::string out;
        for (size_t i = 3; i < f.size(); ++i) {
            const std::string thrown = errorOf([&] { out += file.parseText(f[i]) ? "" : "parse false; "; });
            if (!thrown.empty()) out += "parse throws: " + thrown + "; ";
        }
        if (f[0] == "section" && !file.hasSection(f[1])) out += "no section; ";
        const std::string thrown = errorOf([&] {
            if (f[0] == "get") out += "\"" + file.get(f[1], f[2]) + "\"";
            if (f[0] == "int") out += std::to_string(file.getInt(f[1], f[2]));
            if (f[0] == "section")
                for (const auto& [key, value] : file.section(f[1]))
                    out += (out.empty() ? "\"" : ", \"") + key + "\"=\"" + value + "\"";
        });
        return thrown.empty() ? out : out + "throws: " + thrown;
    });
    EXPECT_EQ(ConfigFile::trim("\t\va\f \r\n"), "\va\f");  // only space, tab, CR and LF are blanks
}

// INI-like settings text: parsing and typed lookups.

#include "config/ConfigFile.h"

#include <sstream>
#include <stdexcept>

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

[[noreturn]] void missingKey() { throw std::runtime_error(kMissingKeyMessage); }

}  // namespace

std::string ConfigFile::trim(std::string_view text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(kBlanks);
    return std::string(text.substr(first, last - first + 1));
}

std::string ConfigFile::parseCategory(std::string_view line) {
    if (line.size() < 3 || line.front() != '[' || line.back() != ']')
        throw std::runtime_error("Deformed category string in ConfigFile::parseCategory()");
    return std::string(line.substr(1, line.size() - 2));
}

std::pair<std::string, std::string> ConfigFile::parseKeyValuePair(std::string_view line) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        throw std::runtime_error("Key-value pair delimiter missing in ConfigFile::parseKeyValuePair()");
    return {trim(line.substr(0, eq)), trim(line.substr(eq + 1))};
}

bool ConfigFile::parse(std::istream& in) {
    std::string current = "unnamed";
    std::string line;
    while (std::getline(in, line)) {
        std::string_view text = line;
        text = text.substr(0, text.find(';'));
        std::string content = trim(text);
        if (content.empty()) continue;
        if (content.front() == '[') {
            // A header only switches sections; a section comes to exist with its first key.
            current = parseCategory(content);
        } else {
            auto [key, value] = parseKeyValuePair(content);
            sections_[current][std::move(key)] = std::move(value);
        }
    }
    return true;
}

bool ConfigFile::parseText(std::string_view text) {
    std::istringstream in{std::string(text)};
    return parse(in);
}

const ConfigFile::Section& ConfigFile::section(const std::string& name) const {
    auto it = sections_.find(name);
    if (it == sections_.end()) missingKey();
    return it->second;
}

std::string ConfigFile::get(const std::string& sectionName, const std::string& key) const {
    const Section& s = section(sectionName);
    auto it = s.find(key);
    if (it == s.end()) missingKey();
    return it->second;
}

int32_t ConfigFile::getInt(const std::string& sectionName, const std::string& key) const {
    int32_t value = 0;
    if (!readLeadingInt(get(sectionName, key), value))
        throw std::runtime_error("Couldn't parse integer in ConfigFile::getInt()");
    return value;
}

bool readLeadingInt(std::string_view text, int32_t& value) {
    size_t i = 0;
    // Stream extraction skips the C locale's white space, which includes VT and FF.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    // Accumulate the magnitude; anything past the 32-bit range is a failed read, not a wrap.
    const int64_t limit = negative ? int64_t(INT32_MAX) + 1 : int64_t(INT32_MAX);
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit) return false;
    }
    value = int32_t(negative ? -magnitude : magnitude);
    return true;
}

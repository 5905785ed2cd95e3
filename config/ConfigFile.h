#pragma once
// The program's settings: text values grouped in named sections, read from an INI-like text.
//
// Text format, line by line (a line ends at a line feed; the last one needs none):
//   - everything from the first ';' on is a comment, also inside a value;
//   - the rest is trimmed of spaces, tabs, CRs and LFs; an empty line is skipped;
//   - "[name]" starts section "name" (the name is taken as written between the brackets);
//   - "key = value" stores value under key in the current section; key and value are trimmed,
//     the split is at the first '=', and either may be empty.
// Key-value lines before any header go to section "unnamed". Parsing again adds to what is
// there: a later value replaces an earlier one, a repeated header continues its section, and
// nothing is ever removed. This is how the user's file overrides the built-in defaults.
//
// Names are case-sensitive and ordered by plain byte comparison. Every failure throws
// std::runtime_error with the message given below; only the program's entry catches it.

#include <cstdint>
#include <istream>
#include <map>
#include <string>
#include <string_view>
#include <utility>

class ConfigFile {
  public:
    using Section = std::map<std::string, std::string>;

    // Reads the whole stream into this object. Returns true; malformed lines throw
    // "Deformed category string in ConfigFile::parseCategory()" or
    // "Key-value pair delimiter missing in ConfigFile::parseKeyValuePair()". Lines read before
    // the bad one stay stored.
    bool parse(std::istream& in);
    // The same, for a text held in memory.
    bool parseText(std::string_view text);

    // The value of key in section, as a copy. Throws "invalid map<K, T> key" when either the
    // section or the key is not present.
    std::string get(const std::string& section, const std::string& key) const;

    // The value read as a signed decimal integer, like formatted stream extraction: leading
    // blanks skipped, optional sign, digits up to the first non-digit ("25 fps" gives 25, "0x10"
    // gives 0). Throws "invalid map<K, T> key" when absent and
    // "Couldn't parse integer in ConfigFile::getInt()" when no integer can be read, including a
    // number outside the 32-bit range.
    int32_t getInt(const std::string& section, const std::string& key) const;

    // The whole key -> value map of one section, for walking in key order. Throws
    // "invalid map<K, T> key" when the section is not present. The reference stays valid until
    // the next parse.
    const Section& section(const std::string& name) const;

    bool hasSection(const std::string& name) const { return sections_.count(name) != 0; }

    // The text without leading and trailing spaces, tabs, CRs and LFs.
    static std::string trim(std::string_view text);

    // A trimmed line "[name]" (at least 3 characters) -> "name", exactly as written between the
    // brackets. Anything else throws "Deformed category string in ConfigFile::parseCategory()".
    static std::string parseCategory(std::string_view line);

    // A line "key = value" -> (trimmed key, trimmed value), split at the first '='. A line without
    // '=' throws "Key-value pair delimiter missing in ConfigFile::parseKeyValuePair()".
    static std::pair<std::string, std::string> parseKeyValuePair(std::string_view line);

  private:
    std::map<std::string, Section> sections_;
};

// Reads a signed 32-bit decimal integer from the start of text the way getInt does. Returns false
// when none can be read (empty, a letter first, a lone sign, or out of range).
bool readLeadingInt(std::string_view text, int32_t& value);

// The message of every failed section or key lookup.
inline constexpr const char* kMissingKeyMessage = "invalid map<K, T> key";

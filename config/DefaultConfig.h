#pragma once
// The built-in configuration and the fixed action lists of each bindings section.
//
// The built-in text is parsed before the user's "bleepforge.ini", so every setting and binding in
// it is in force unless the user's file replaces it; it also documents the file format.

#include <span>
#include <string>
#include <string_view>

// One action of a bindings section with its default binding (nullptr: the built-in text does not
// bind it).
struct ActionEntry {
    const char* name;
    const char* defaultBinding;
};

struct BindingSection {
    const char* name;                      // section name in the configuration
    std::span<const ActionEntry> actions;  // in the built-in text's order
    bool hasHandlers;                      // false only for "note input", whose names are note offsets
};

// The seven bindings sections in the order the built-in text lists them: "keyboard global",
// "pattern editor", "order editor", "instrument editor", "instrument select",
// "instrument name editor", "note input". For the six action sections, the actions are exactly
// the names the program gives handlers to; a name the user binds that is not listed never fires.
std::span<const BindingSection> bindingSections();

// The bindings section of that name, or nullptr.
const BindingSection* findBindingSection(std::string_view name);

// The whole built-in configuration text, with CR LF line ends.
const std::string& defaultConfigurationText();

#pragma once
// Key combinations and the tables that bind them to actions.
//
// A binding value in the configuration is one or more combinations separated by '|'; a
// combination is one or more terms separated by '+'; a term is a key name ("SDLK_l") or a
// modifier name ("KMOD_LALT"). Blanks around terms and separators are ignored. A combination has
// at most one key and any number of modifiers, in any order:
//     "SDLK_l + KMOD_LALT"   "SDLK_RETURN | SDLK_BACKSLASH"   "KMOD_LALT + SDLK_l"
// A key event matches a combination when its key symbol is the combination's key and its modifier
// bits, with Num Lock cleared, are exactly the combination's modifiers: a binding with left Shift
// does not fire while right Shift or Shift+Ctrl are held, and a binding without modifiers does
// not fire while any modifier (Caps Lock included) is down.

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "config/ConfigFile.h"
#include "config/KeyEvent.h"

struct KeyCombo {
    uint32_t key = 0;        // SDL 1.2 key symbol; 0 when the combination names no key
    uint32_t modifiers = 0;  // OR of SDL 1.2 modifier bits

    auto operator<=>(const KeyCombo&) const = default;
};

using ComboMap = std::map<KeyCombo, std::string>;  // combination -> action name
using ActionHandler = std::function<void()>;

// The bindings of one section: what the configuration binds, and what the program can do.
struct ActionTable {
    ComboMap combos;                                // filled from the configuration
    std::map<std::string, ActionHandler> handlers;  // filled by the program, one per action name
};

// Every bindings table of the program, one per section of the configuration.
struct KeyBindings {
    ActionTable keyboardGlobal;        // "keyboard global"
    ActionTable patternEditor;         // "pattern editor"
    ActionTable orderEditor;           // "order editor"
    ActionTable instrumentEditor;      // "instrument editor"
    ActionTable instrumentSelect;      // "instrument select"
    ActionTable instrumentNameEditor;  // "instrument name editor"
    ComboMap noteInput;                // "note input": names are semitone offsets, no handlers

    // The table of a section name above, or nullptr ("note input" has none).
    ActionTable* table(std::string_view section);
};

// Removes from text its longest prefix of ASCII letters, digits and '_' and returns it (empty
// when the first character does not qualify).
std::string readIdentifier(std::string& text);

// Parses one binding value and stores each of its combinations in combos under action (a
// combination already present is re-bound). Throws std::runtime_error with
// "Key already specified in parseKeyComboString", "Syntax error in parseKeyComboString",
// "Unexpected '|' in parseKeyComboString", or "invalid map<K, T> key" for an unknown SDLK_ or
// KMOD_ name. Combinations before the failing one stay stored. A value that ends in '+' drops
// its last combination; an empty value binds nothing.
void parseKeyComboString(ComboMap& combos, std::string_view text, const std::string& action);

// Walks the configuration section in key order and parses every value, with the key as the
// action name; so among actions of one section naming the same combination, the one whose name
// sorts last wins. Throws "invalid map<K, T> key" when the section is missing.
void readBindings(const ConfigFile& config, const std::string& section, ComboMap& combos);

// Called once per section, before its bindings are read, to fill the section's handler map.
using HandlerRegistration = std::function<void(const std::string& section, ActionTable& table)>;

// Loads all seven bindings sections in the order "keyboard global", "order editor",
// "instrument select", "instrument name editor", "pattern editor", "instrument editor",
// "note input". For each action section, registerHandlers (if set) runs first; then its bindings
// are read. The first failure is thrown.
void loadBindings(const ConfigFile& config, KeyBindings& bindings,
                  const HandlerRegistration& registerHandlers = {});

// The handler bound to the event in table, or nullptr: no combination matches, or it names an
// action the section has no handler for. Num Lock is ignored; every other modifier must match
// exactly. An event with key symbol 0 (a key SDL cannot name) never matches.
const ActionHandler* lookupAction(const ActionTable& table, const KeyEvent& event);

// Whether the event is a note key of the "note input" map; if so, offset receives its semitone
// offset from the first note of the current octave (the action name read like getInt).
// The caller forms the note number as offset + octave * 12 + 1. For a key release the caller
// passes an event with its modifier bits cleared.
bool noteOffsetForKey(const ComboMap& noteInput, const KeyEvent& event, int32_t& offset);

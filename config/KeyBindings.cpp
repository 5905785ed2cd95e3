// Binding values: parsing them into combination tables, and matching key events against them.

#include "config/KeyBindings.h"

#include <stdexcept>

#include "config/KeyNames.h"

namespace {

constexpr const char* kKeyAgain = "Key already specified in parseKeyComboString";
constexpr const char* kSyntax = "Syntax error in parseKeyComboString";
constexpr const char* kStrayBar = "Unexpected '|' in parseKeyComboString";

bool isIdentifierChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

uint32_t lookupName(const std::map<std::string, uint32_t>& table, const std::string& name) {
    auto it = table.find(name);
    if (it == table.end()) throw std::runtime_error(kMissingKeyMessage);
    return it->second;
}

KeyCombo comboOf(const KeyEvent& event) { return {event.sym, event.mod & ~keymod::NUM}; }

}  // namespace

ActionTable* KeyBindings::table(std::string_view section) {
    if (section == "keyboard global") return &keyboardGlobal;
    if (section == "pattern editor") return &patternEditor;
    if (section == "order editor") return &orderEditor;
    if (section == "instrument editor") return &instrumentEditor;
    if (section == "instrument select") return &instrumentSelect;
    if (section == "instrument name editor") return &instrumentNameEditor;
    return nullptr;
}

std::string readIdentifier(std::string& text) {
    size_t n = 0;
    while (n < text.size() && isIdentifierChar(text[n])) ++n;
    std::string identifier = text.substr(0, n);
    text.erase(0, n);
    return identifier;
}

void parseKeyComboString(ComboMap& combos, std::string_view text, const std::string& action) {
    std::string rest = ConfigFile::trim(text);
    KeyCombo pending;
    // Every pass consumes at least one term or throws, so the loop ends.
    while (!rest.empty()) {
        if (rest.starts_with("SDLK_")) {
            if (pending.key != 0) throw std::runtime_error(kKeyAgain);
            pending.key = lookupName(keyNameTable(), readIdentifier(rest));
        } else if (rest.starts_with("KMOD_")) {
            pending.modifiers |= lookupName(modifierNameTable(), readIdentifier(rest));
        } else if (rest.front() == '|' && pending.key == 0) {
            // A '|' where a term belongs ("| SDLK_a", "SDLK_a || SDLK_b") closes a combination
            // that has no key.
            throw std::runtime_error(kStrayBar);
        } else {
            throw std::runtime_error(kSyntax);
        }
        rest = ConfigFile::trim(rest);
        if (rest.empty()) {
            combos[pending] = action;
            return;
        }
        if (rest.front() == '+') {
            rest = ConfigFile::trim(std::string_view(rest).substr(1));
        } else if (rest.front() == '|') {
            if (pending.key == 0) throw std::runtime_error(kStrayBar);
            combos[pending] = action;
            pending = KeyCombo{};
            rest = ConfigFile::trim(std::string_view(rest).substr(1));
        } else {
            throw std::runtime_error(kSyntax);
        }
    }
}

void readBindings(const ConfigFile& config, const std::string& section, ComboMap& combos) {
    for (const auto& [action, value] : config.section(section)) parseKeyComboString(combos, value, action);
}

void loadBindings(const ConfigFile& config, KeyBindings& bindings,
                  const HandlerRegistration& registerHandlers) {
    static const char* const kLoadOrder[] = {"keyboard global",        "order editor",   "instrument select",
                                             "instrument name editor", "pattern editor", "instrument editor"};
    for (const char* name : kLoadOrder) {
        ActionTable& table = *bindings.table(name);
        if (registerHandlers) registerHandlers(name, table);
        readBindings(config, name, table.combos);
    }
    readBindings(config, "note input", bindings.noteInput);
}

const ActionHandler* lookupAction(const ActionTable& table, const KeyEvent& event) {
    // Key 0 is what a modifier-only combination is stored under; no real key may reach it.
    if (event.sym == keysym::UNKNOWN) return nullptr;
    auto bound = table.combos.find(comboOf(event));
    if (bound == table.combos.end()) return nullptr;
    auto handler = table.handlers.find(bound->second);
    if (handler == table.handlers.end() || !handler->second) return nullptr;
    return &handler->second;
}

bool noteOffsetForKey(const ComboMap& noteInput, const KeyEvent& event, int32_t& offset) {
    if (event.sym == keysym::UNKNOWN) return false;
    auto bound = noteInput.find(comboOf(event));
    if (bound == noteInput.end()) return false;
    return readLeadingInt(bound->second, offset);
}

// Fuzzes the key-combination grammar, then matches an event built from the input against the
// resulting table. Syntax errors are expected; crashes and hangs are bugs.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "config/KeyBindings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ActionTable table;
    table.handlers["act"] = [] {};
    try {
        parseKeyComboString(table.combos, std::string_view(reinterpret_cast<const char*>(data), size), "act");
    } catch (const std::runtime_error&) {
    }
    for (const auto& [combo, action] : table.combos) {
        KeyEvent event{combo.key, combo.modifiers, 0, true};
        lookupAction(table, event);
    }
    return 0;
}

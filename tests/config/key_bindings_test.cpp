// Key-combination grammar, the name tables, and matching key events against bindings.

#include <gtest/gtest.h>

#include <map>

#include "config/KeyBindings.h"
#include "config/KeyNames.h"
#include "tests/app/Golden.h"

// A binding text as a user writes it: the combinations it binds (key:modifiers and the readable
// name the key list shows), or the error it is refused with.
TEST(KeyComboGrammar, BindingsTheirNamesErrorsAndRebinding) {
    expectTable("config/key_combos", [](const std::string& text) {
        ComboMap map;
        try {
            parseKeyComboString(map, text, "act");
        } catch (const std::runtime_error& e) {
            return std::string("error: ") + e.what();
        }
        std::string out;
        for (const auto& [c, action] : map)
            out += (out.empty() ? "" : " | ") + std::to_string(c.key) + ":" + std::to_string(c.modifiers) +
                   " " + readableCombo(c.key, c.modifiers);
        return out.empty() ? "(none)" : out;
    });
    // The name tables' other run boundaries are pinned through the combinations above.
    EXPECT_EQ(std::make_tuple(keyNameTable().size(), modifierNameTable().size(),
                              keyNameTable().at("SDLK_UNDO"), modifierNameTable().at("KMOD_RESERVED")),
              std::make_tuple(233u, 13u, 322u, 0x8000u));
    EXPECT_EQ(readableCombo(9999, 0), "Key 9999");
    // Every named key reads as its own name in the key list: no two alike, none a bare number.
    std::map<std::string, std::string> readable;
    for (const auto& [name, key] : keyNameTable()) {
        if (key == 0) continue;
        const std::string shown = readableKeyName(key);
        EXPECT_FALSE(shown.starts_with("Key ")) << name;
        const auto [it, fresh] = readable.emplace(shown, name);
        EXPECT_TRUE(fresh) << name << " and " << it->second << " both read " << shown;
    }

    // Rebinding: within one section the action whose name sorts last keeps a shared combination;
    // other sections are independent.
    ConfigFile c;
    c.parseText("[s]\nzeta = SDLK_x\nalpha = SDLK_x | SDLK_y\n[t]\nalpha = SDLK_x\n");
    ComboMap s, t;
    readBindings(c, "s", s);
    readBindings(c, "t", t);
    EXPECT_EQ(s, (ComboMap{{{120, 0}, "zeta"}, {{121, 0}, "alpha"}}));
    EXPECT_EQ(t, (ComboMap{{{120, 0}, "alpha"}}));
    EXPECT_THROW(readBindings(c, "u", s), std::runtime_error);
}

// Num Lock on a keypad key and right Shift for left are also checked on the default bindings.
TEST(KeyMatching, ModifiersMustMatchExactlyExceptNumLock) {
    ActionTable table;
    std::string fired;
    for (const char* name : {"decr octave", "prev channel", "plain", "modifier only"})
        table.handlers[name] = [&fired, name] { fired = name; };
    parseKeyComboString(table.combos, "SDLK_F1 + KMOD_LALT", "decr octave");
    parseKeyComboString(table.combos, "SDLK_TAB + KMOD_LSHIFT", "prev channel");
    parseKeyComboString(table.combos, "SDLK_a", "plain");
    parseKeyComboString(table.combos, "KMOD_LALT", "modifier only");
    parseKeyComboString(table.combos, "SDLK_b", "no handler");

    // Pressed keys as binding texts, with the action they fire.
    expectTable("config/key_matching", [&](const std::string& pressed) {
        ComboMap keys;
        parseKeyComboString(keys, pressed, "pressed");
        const KeyCombo k = keys.begin()->first;
        fired.clear();
        if (const ActionHandler* h = lookupAction(table, KeyEvent{k.key, k.modifiers, 0, true})) (*h)();
        return "\"" + fired + "\"";
    });
}

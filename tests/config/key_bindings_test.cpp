// Key-combination grammar, the name tables, and matching key events against bindings.

#include <gtest/gtest.h>

#include "config/KeyBindings.h"
#include "config/KeyNames.h"
#include "tests/app/Golden.h"

// A binding text as a user writes it: the combinations it binds (key:modifiers and the readable
// name the key list shows), or the error it is refused with.
TEST(KeyComboGrammar, BindingsTheirNamesAndErrors) {
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
    EXPECT_EQ(keyNameTable().size(), 233u);
    EXPECT_EQ(modifierNameTable().size(), 13u);
    EXPECT_EQ(keyNameTable().at("SDLK_UNDO"), 322u);
    EXPECT_EQ(modifierNameTable().at("KMOD_RESERVED"), 0x8000u);
    EXPECT_EQ(readableCombo(9999, 0), "Key 9999");
}

TEST(KeyComboGrammar, Rebinding) {
    // Within one section the action whose name sorts last keeps a shared combination; other
    // sections are independent.
    ConfigFile c;
    c.parseText("[s]\nzeta = SDLK_x\nalpha = SDLK_x | SDLK_y\n[t]\nalpha = SDLK_x\n");
    ComboMap s, t;
    readBindings(c, "s", s);
    readBindings(c, "t", t);
    EXPECT_EQ(s.at({120, 0}), "zeta");
    EXPECT_EQ(s.at({121, 0}), "alpha");
    EXPECT_EQ(t.at({120, 0}), "alpha");
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

    struct Case {
        uint32_t sym, mod;
        const char* expected;  // "" when nothing fires
    } cases[] = {
        {keysym::F1, keymod::LALT | keymod::NUM, "decr octave"},
        {keysym::F1, 0, ""},
        {keysym::F1, keymod::RALT, ""},
        {keysym::TAB, keymod::LSHIFT, "prev channel"},
        {keysym::TAB, keymod::LSHIFT | keymod::LCTRL, ""},
        {keysym::A, 0, "plain"},
        {keysym::A, keymod::CAPS, ""},
        {keysym::A, keymod::LSHIFT, ""},
        {98, 0, ""},                          // bound, but the section has no such action
        {keysym::UNKNOWN, keymod::LALT, ""},  // a key SDL cannot name never reaches key 0
    };
    for (const Case& k : cases) {
        fired.clear();
        const ActionHandler* h = lookupAction(table, KeyEvent{k.sym, k.mod, 0, true});
        if (h) (*h)();
        EXPECT_EQ(fired, k.expected) << k.sym << " mod " << k.mod;
    }
}

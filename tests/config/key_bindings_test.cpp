// Key-combination grammar, the name tables, and matching key events against bindings.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "config/KeyBindings.h"
#include "config/KeyNames.h"

namespace {

std::vector<KeyCombo> combosOf(const char* text) {
    ComboMap map;
    parseKeyComboString(map, text, "act");
    std::vector<KeyCombo> out;
    for (const auto& [combo, action] : map) out.push_back(combo);
    return out;
}

std::string comboError(const char* text) {
    ComboMap map;
    try {
        parseKeyComboString(map, text, "act");
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

}  // namespace

// The name tables' other run boundaries are pinned through the combinations below.
TEST(KeyComboGrammar, ValidBindings) {
    EXPECT_EQ(keyNameTable().size(), 233u);
    EXPECT_EQ(modifierNameTable().size(), 13u);
    EXPECT_EQ(keyNameTable().at("SDLK_UNDO"), 322u);
    EXPECT_EQ(modifierNameTable().at("KMOD_RESERVED"), 0x8000u);
    using C = std::vector<KeyCombo>;
    EXPECT_EQ(combosOf("SDLK_RSHIFT | SDLK_RALT + KMOD_LCTRL"),
              (C{{keysym::RSHIFT, 0}, {keysym::RALT, keymod::LCTRL}}));
    EXPECT_EQ(combosOf("KMOD_LALT + SDLK_l"), combosOf("SDLK_l + KMOD_LALT"));
    EXPECT_EQ(combosOf("SDLK_l+KMOD_LALT+KMOD_LSHIFT"), (C{{108, keymod::LALT | keymod::LSHIFT}}));
    EXPECT_EQ(combosOf(" \tSDLK_F15\r\n"), (C{{296, 0}}));
    EXPECT_EQ(combosOf("SDLK_WORLD_95|SDLK_KP9"), (C{{255, 0}, {265, 0}}));
    EXPECT_EQ(combosOf("KMOD_LCTRL"), (C{{0, keymod::LCTRL}}));  // stored, but no event has key 0
    // A trailing '+' drops the last combination; a trailing '|' does not.
    EXPECT_EQ(combosOf("SDLK_a +"), C{});
    EXPECT_EQ(combosOf("SDLK_a | SDLK_b +"), (C{{97, 0}}));
    EXPECT_EQ(combosOf("SDLK_a |"), (C{{97, 0}}));
    EXPECT_EQ(combosOf("SDLK_z"), (C{{122, 0}}));
    EXPECT_EQ(combosOf(""), C{});
    EXPECT_EQ(combosOf("  \t "), C{});
}

TEST(KeyComboGrammar, ErrorsCarryExactMessages) {
    for (const char* text : {"SDLK_a + SDLK_b", "KMOD_LALT + SDLK_a + SDLK_a"})
        EXPECT_EQ(comboError(text), "Key already specified in parseKeyComboString") << text;
    for (const char* text : {"| SDLK_a", "KMOD_LALT | SDLK_a", "SDLK_a || SDLK_b"})
        EXPECT_EQ(comboError(text), "Unexpected '|' in parseKeyComboString") << text;
    for (const char* text :
         {"SDLK_a, SDLK_b", "F1", "SDLK_a SDLK_b", "SDLK_a ++ SDLK_b", "sdlk_a", "+", "SDLK_a-"})
        EXPECT_EQ(comboError(text), "Syntax error in parseKeyComboString") << text;
    for (const char* text : {"SDLK_A", "KMOD_CTRL", "KMOD_SHIFT", "SDLK_", "SDLK_F16", "SDLK_LAST"})
        EXPECT_EQ(comboError(text), "invalid map<K, T> key") << text;
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

TEST(KeyNames, ReadableCombinations) {
    using namespace keysym;
    const std::tuple<uint32_t, uint32_t, const char*> cases[] = {
        {'s', keymod::LALT, "Left Alt+S"},
        {'s', keymod::LSHIFT | keymod::LCTRL, "Left Ctrl+Left Shift+S"},
        {KP_DIVIDE, 0, "Keypad /"},
        {KP0 + 7, 0, "Keypad 7"},
        {F1 + 8, 0, "F9"},
        {PAGEDOWN, 0, "Page Down"},
        {RCTRL, 0, "Right Ctrl"},
        {COMMA, 0, ","},
        {'2', 0, "2"},
        {ESCAPE, keymod::LSHIFT | keymod::NUM, "Left Shift+Esc"},
        {0, keymod::LALT, "Left Alt"},
        {160, 0, "World 0"},
        {322, 0, "UNDO"},
        {9999, 0, "Key 9999"},
    };
    for (const auto& [key, mods, name] : cases) EXPECT_EQ(readableCombo(key, mods), name) << key;
}

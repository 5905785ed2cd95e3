// The built-in configuration: its text, the bindings it puts in force, and how a user's
// file parsed after it changes them.

#include <gtest/gtest.h>

#include "config/DefaultConfig.h"
#include "config/KeyNames.h"
#include "config/StartupConfig.h"
#include "tests/app/Golden.h"

namespace {

// The defaults (and a user text) loaded with a handler reporting "section/action" for every action.
struct Loaded {
    ConfigFile config;
    KeyBindings bindings;
    GeneralSettings settings;
    std::string fired;
    std::vector<std::string> registered;  // sections in the order their handlers were registered

    explicit Loaded(const std::string& userText = "") {
        std::istringstream user(userText);
        settings = loadStartupConfiguration(
            config, &user, bindings, [this](const std::string& section, ActionTable& table) {
                registered.push_back(section);
                for (const ActionEntry& a : findBindingSection(section)->actions)
                    table.handlers[a.name] = [this, section, a] { fired = section + "/" + a.name; };
            });
    }

    std::string press(const char* section, uint32_t sym, uint32_t mod = 0) {
        fired.clear();
        if (const ActionHandler* h = lookupAction(*bindings.table(section), KeyEvent{sym, mod, 0, true}))
            (*h)();
        return fired;
    }
};

// A key as "section|binding text": the action it fires ("" for none), or in "note input" the note
// offset ("-" for no note).
std::string keyAnswer(Loaded& d, const std::string& c) {
    const size_t bar = c.find('|');
    ComboMap map;
    parseKeyComboString(map, c.substr(bar + 1), "x");
    const KeyCombo k = map.begin()->first;
    const std::string section = c.substr(0, bar);
    if (section != "note input") return "\"" + d.press(section.c_str(), k.key, k.modifiers) + "\"";
    int32_t n;
    const bool note = noteOffsetForKey(d.bindings.noteInput, KeyEvent{k.key, k.modifiers, 0, true}, n);
    return note ? std::to_string(n) : std::string("-");
}

}  // namespace

TEST(DefaultConfigBindings, EveryDefaultBindingIsInForceAndUserFilesReplaceThem) {
    Loaded d;
    EXPECT_EQ(d.registered,
              (std::vector<std::string>{"keyboard global", "order editor", "instrument select",
                                        "instrument name editor", "pattern editor", "instrument editor"}));

    // Actions and combinations (or note keys) per section: a default binding that collided with
    // another of its section would show up as a missing combination.
    expectTable("config/binding_counts", [&d](const std::string& section) {
        const std::string actions =
            std::to_string(findBindingSection(section)->actions.size()) + " actions, ";
        if (section == "note input") return actions + std::to_string(d.bindings.noteInput.size()) + " keys";
        const ActionTable& table = *d.bindings.table(section);
        // Every default combination reaches the handler of the action it names.
        for (const auto& [combo, action] : table.combos)
            EXPECT_EQ(d.press(section.c_str(), combo.key, combo.modifiers), section + "/" + action);
        return actions + std::to_string(table.combos.size()) + " combinations";
    });

    expectTable("config/default_keys", [&d](const std::string& c) { return keyAnswer(d, c); });

    // After a user file: a replaced binding is gone (replaced before the bindings were read),
    // modifiers must match for notes too, and a note name that is not a number is no note.
    Loaded u(
        "[general]\ntarget fps = 50\n"
        "[pattern editor]\nmove up = SDLK_w\n"
        "[keyboard global]\nsplit sample = SDLK_F9\nno such action = SDLK_F9 + KMOD_LCTRL\n"
        "[note input]\n24 = SDLK_k\nabc = SDLK_j\n");
    expectTable("config/user_keys", [&u](const std::string& c) { return keyAnswer(u, c); });
    // An action the section does not have is bound, and fires nothing.
    EXPECT_EQ(u.bindings.keyboardGlobal.combos.at({keysym::F1 + 8, keymod::LCTRL}), "no such action");
}

// Settings as "setting|value": what is used, the default for anything out of range.
TEST(DefaultConfigSettings, ValuesFallBackToTheirDefaultsAndUserFilesGiveTheirs) {
    expectTable("config/setting_values", [](const std::string& c) {
        const size_t bar = c.find('|');
        const std::string kind = c.substr(0, bar), v = c.substr(bar + 1);
        if (kind == "window scale") return std::to_string(parseWindowScale(v));
        if (kind == "passes") return std::to_string(parseAudioExportPasses(v));
        if (kind == "stems") return std::string(parseAudioExportStems(v) ? "on" : "off");
        std::ostringstream out;
        out << parseAudioExportFade(v);
        return out.str();
    });
    // User files and the settings they give (an empty one the defaults: scale 0 is "auto").
    expectTable("config/user_settings", [](const std::string& userText) {
        const GeneralSettings s = Loaded(userText).settings;
        std::ostringstream out;
        out << s.windowTitle << "|" << s.rowNumbering << "|" << s.backgroundImage << " rate " << s.sampleRate
            << " fps " << s.targetFps << " buffer " << s.audioBuffer << " scale " << s.windowScale
            << " passes " << s.audioExportPasses << " fade " << s.audioExportFade << " stems "
            << s.audioExportStems;
        return out.str();
    });
}

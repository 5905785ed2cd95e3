// The built-in configuration: its text layout, the bindings it puts in force, and how a user's
// file parsed after it changes them.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "config/DefaultConfig.h"
#include "config/KeyNames.h"
#include "config/StartupConfig.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        out.push_back(text.substr(start, end - start));
    return out;
}

// Loads the defaults (and a user text) with every listed action given a handler that reports
// "section/action".
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

    // The key's note offset, or INT32_MIN when it is not a note key.
    int32_t note(uint32_t sym, uint32_t mod = 0) const {
        int32_t offset;
        return noteOffsetForKey(bindings.noteInput, KeyEvent{sym, mod, 0, true}, offset) ? offset : INT32_MIN;
    }
};

}  // namespace

TEST(DefaultConfigText, Layout) {
    const std::string& text = defaultConfigurationText();
    // CR LF everywhere: every line feed is preceded by a carriage return, and the text ends with one.
    EXPECT_EQ(lines(text).size(), size_t(std::count(text.begin(), text.end(), '\n')));
    EXPECT_TRUE(text.ends_with("\r\n"));

    EXPECT_TRUE(text.starts_with(
        "; Bleepforge config file\r\n; ------------------------\r\n"
        "; The default configuration is based on Finnish keyboard layout.\r\n; Comment character is "
        "\";\".\r\n"
        "\r\n[general]\r\nwindow title                = Bleepforge\r\n"
        "; Row number format, possible values: \"hex\" or \"dec\" \r\nrow numbering               = dec\r\n"
        "target fps                  = 25\r\nsample rate                 = 44100\r\n"
        "; Audio buffer size in samples. SDL manual says it should be power of two,\r\n"
        "; but doesn't really seem to care.\r\naudio buffer                = 4096\r\n"
        "; Background image, size should be 784x592 pixels.\r\n"
        "background image            = user-background.bmp\r\n"
        // Settings added later follow the original ones of their section.
        "; Window size as a multiple of 794x602: 1 to 8, or \"auto\" for the largest that fits.\r\n"
        "window scale                = auto\r\n"
        "; \"save wav\": times through the song to its loop point (1 to 16), seconds of\r\n"
        "; fade-out after it, and \"on\" for one file per channel.\r\n"
        "audio export passes         = 1\r\naudio export fade           = 0\r\n"
        "audio export stems          = off\r\n\r\n[keyboard global]\r\n"
        "quit program                = SDLK_ESCAPE + KMOD_LSHIFT\r\n"));
    EXPECT_NE(text.find("KMOD_RSHIFT\r\n"
                        "show help                   = SDLK_F9\r\n"
                        "save wav                    = SDLK_w + KMOD_LCTRL + KMOD_LSHIFT\r\n\r\n"
                        "[pattern editor]\r\n"),
              std::string::npos);

    std::vector<std::string> all = lines(text);
    std::vector<std::string> headers;
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string& l = all[i];
        if (l.empty() || l[0] == ';') continue;
        if (l[0] == '[') {
            headers.push_back(l);
            EXPECT_EQ(all[i - 1], "") << l;
            continue;
        }
        // Every key line: key padded to 28 columns, then "= " and a value.
        EXPECT_TRUE(l[0] != ' ' && l.find('=') == 28 && l.substr(29, 1) == " ") << l;
    }
    EXPECT_EQ(headers,
              (std::vector<std::string>{"[general]", "[keyboard global]", "[pattern editor]",
                                        "[order editor]", "[instrument editor]", "[instrument select]",
                                        "[instrument name editor]", "[note input]"}));
    EXPECT_EQ(all.back(), "-1                          = SDLK_m");
}

TEST(DefaultConfigBindings, EveryDefaultBindingIsInForce) {
    Loaded d;
    EXPECT_EQ(std::tie(d.settings.sampleRate, d.settings.targetFps, d.settings.audioBuffer),
              std::make_tuple(44100, 25, 4096));
    EXPECT_EQ(d.settings.windowTitle + "|" + d.settings.rowNumbering + "|" + d.settings.backgroundImage,
              "Bleepforge|dec|user-background.bmp");
    EXPECT_EQ(d.settings.windowScale, 0);  // "auto"
    EXPECT_EQ(std::make_tuple(d.settings.audioExportPasses, d.settings.audioExportFade,
                              d.settings.audioExportStems),
              std::make_tuple(1, 0.0, false));
    EXPECT_EQ(d.registered,
              (std::vector<std::string>{"keyboard global", "order editor", "instrument select",
                                        "instrument name editor", "pattern editor", "instrument editor"}));

    // Action counts per section, and combination counts: a default binding that collided with
    // another one of its section would show up as a missing combination.
    struct Count {
        const char* section;
        size_t actions, combos;
    } counts[] = {{"keyboard global", 45, 54},   {"pattern editor", 32, 33},
                  {"order editor", 11, 11},      {"instrument editor", 18, 18},
                  {"instrument select", 11, 11}, {"instrument name editor", 8, 8}};
    for (const Count& c : counts) {
        EXPECT_EQ(findBindingSection(c.section)->actions.size(), c.actions) << c.section;
        const ActionTable& table = *d.bindings.table(c.section);
        EXPECT_EQ(table.combos.size(), c.combos) << c.section;
        // Every default combination reaches the handler of the action it names.
        for (const auto& [combo, action] : table.combos)
            EXPECT_EQ(d.press(c.section, combo.key, combo.modifiers), std::string(c.section) + "/" + action);
    }
    EXPECT_EQ(findBindingSection("note input")->actions.size(), 29u);
    EXPECT_EQ(d.bindings.noteInput.size(), 32u);

    using namespace keysym;
    struct Press {
        const char* section;
        uint32_t sym, mod;
        const char* action;  // "" when nothing fires
    } presses[] = {
        {"keyboard global", ESCAPE, keymod::LSHIFT, "quit program"},
        {"keyboard global", ESCAPE, 0, "record on/off"},
        {"keyboard global", SPACE, 0, "record on/off, stop song"},
        {"keyboard global", RCTRL, 0, "play song"},
        {"keyboard global", RSHIFT, 0, "play pattern"},
        {"keyboard global", RALT, keymod::LCTRL, "play pattern"},
        {"keyboard global", 108, keymod::LALT | keymod::LCTRL, "load instr"},
        {"keyboard global", KP_DIVIDE, keymod::NUM, "decr octave"},
        {"keyboard global", F1 + 8, 0, "show help"},
        {"keyboard global", 119, keymod::LCTRL | keymod::LSHIFT, "save wav"},
        {"keyboard global", 119, keymod::LCTRL, ""},
        {"pattern editor", TAB, keymod::LSHIFT, "move to prev channel"},
        {"pattern editor", TAB, keymod::RSHIFT, ""},
        {"pattern editor", BACKSLASH, 0, "enter note off"},
        {"pattern editor", 118, keymod::LCTRL | keymod::LALT, "paste effects"},
        {"order editor", LEFT, 0, "decr pattern #"},
        {"instrument editor", HOME, keymod::LSHIFT, "move loop point to beg"},
        {"instrument name editor", TAB, 0, "tabulate"},
    };
    for (const Press& p : presses) {
        std::string expected = *p.action ? std::string(p.section) + "/" + p.action : "";
        EXPECT_EQ(d.press(p.section, p.sym, p.mod), expected) << p.section << " " << p.sym;
    }

    EXPECT_EQ((std::vector<int32_t>{d.note('q'), d.note(COMMA), d.note('l'), d.note(PERIOD), d.note(N0),
                                    d.note('p'), d.note(Z), d.note('m')}),
              (std::vector<int32_t>{0, 0, 1, 2, 15, 16, -12, -1}));
}

TEST(DefaultConfigBindings, UserFileReplacesSingleValues) {
    Loaded d(
        "[general]\ntarget fps = 50\n"
        "[pattern editor]\nmove up = SDLK_w\n"
        "[keyboard global]\nsplit sample = SDLK_F9\nno such action = SDLK_F9 + KMOD_LCTRL\n"
        "[note input]\n24 = SDLK_k\nabc = SDLK_j\n");
    EXPECT_EQ(d.settings.targetFps, 50);
    EXPECT_EQ(d.settings.sampleRate, 44100);
    EXPECT_EQ(d.press("pattern editor", 119), "pattern editor/move up");
    // The old Up binding is gone: the value was replaced before the bindings were read.
    EXPECT_EQ(d.press("pattern editor", keysym::UP), "");
    EXPECT_EQ(d.press("pattern editor", keysym::DOWN), "pattern editor/move down");
    EXPECT_EQ(d.press("keyboard global", keysym::F1 + 8), "keyboard global/split sample");
    EXPECT_EQ(d.bindings.keyboardGlobal.combos.at({keysym::F1 + 8, keymod::LCTRL}), "no such action");
    EXPECT_EQ(d.press("keyboard global", keysym::F1 + 8, keymod::LCTRL), "");
    // Modifiers must match for notes too; a name that is not a number is no note.
    EXPECT_EQ((std::vector<int32_t>{d.note('k'), d.note('q'), d.note('q', keymod::LSHIFT), d.note('j')}),
              (std::vector<int32_t>{24, 0, INT32_MIN, INT32_MIN}));
}

TEST(DefaultConfigSettings, WindowScale) {
    const std::pair<const char*, int32_t> cases[] = {
        {"auto", 0}, {"1", 1},  {" 2 ", 2}, {"8", 8},   {"0", 0},
        {"9", 0},    {"12", 0}, {"-2", 0},  {"two", 0}, {"", 0},
    };
    for (const auto& [value, scale] : cases) EXPECT_EQ(parseWindowScale(value), scale) << value;
    EXPECT_EQ(Loaded("[general]\nwindow scale = 3\n").settings.windowScale, 3);
}

TEST(DefaultConfigSettings, AudioExportValuesFallBackToTheirDefaults) {
    const std::pair<const char*, int32_t> passes[] = {
        {"1", 1},   {" 16 ", 16}, {"4", 4}, {"0", 1}, {"17", 1},
        {"2.5", 1}, {"-3", 1},    {"x", 1}, {"", 1},  {"3x", 1},
    };
    for (const auto& [value, n] : passes) EXPECT_EQ(parseAudioExportPasses(value), n) << value;
    const std::pair<const char*, double> fades[] = {
        {"0", 0.0},  {"2.5", 2.5}, {"600", 600.0}, {"601", 0.0},
        {"-1", 0.0}, {"nan", 0.0}, {"inf", 0.0},   {"5s", 0.0},
    };
    for (const auto& [value, seconds] : fades) EXPECT_EQ(parseAudioExportFade(value), seconds) << value;
    for (const char* on : {"on", "ON", " yes", "true", "1"}) EXPECT_TRUE(parseAudioExportStems(on)) << on;
    for (const char* off : {"off", "0", "no", "", "onn"}) EXPECT_FALSE(parseAudioExportStems(off)) << off;

    Loaded d("[general]\naudio export passes = 3\naudio export fade = 1.5\naudio export stems = on\n");
    EXPECT_EQ(std::make_tuple(d.settings.audioExportPasses, d.settings.audioExportFade,
                              d.settings.audioExportStems),
              std::make_tuple(3, 1.5, true));
}

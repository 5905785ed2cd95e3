#pragma once
// The whole program with the built-in key bindings and fake platform pieces, driven by key names
// as the configuration spells them ("SDLK_F12", "KMOD_LALT"). Shared by the editor tests.

#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/AudioExport.h"
#include "app/FileDialogs.h"
#include "app/Program.h"
#include "app/RecordingCanvas.h"
#include "apu/Apu.h"
#include "apu/Nonlinear_Buffer.h"
#include "config/ConfigFile.h"
#include "config/DefaultConfig.h"
#include "config/KeyNames.h"
#include "tests/ExpectedText.h"

// A clock that moves only when told to or when the program waits, events handed out in order, and
// the window titles set.
struct FixedHost : Host {
    uint32_t now = 10000;
    std::deque<AppEvent> events;
    std::vector<uint32_t> delays;
    std::vector<std::string> titles;
    uint32_t ticks() const override { return now; }
    void setTitle(const std::string& t) override { titles.push_back(t); }
    bool pollEvent(AppEvent& e) override {
        if (events.empty()) return false;
        e = events.front();
        events.pop_front();
        return true;
    }
    void delay(uint32_t ms) override {
        delays.push_back(ms);
        now += ms;
    }
};

// How deeply the audio lock is held; `observe` sees each lock (before it is taken), unlock (after
// it is released), pause and resume ('L', 'U', 'P', 'R'); `mutex` is taken too, as the device does.
struct CountingLock : AudioLock {
    int depth = 0, maxDepth = 0;
    std::function<void(char)> observe;
    std::mutex* mutex = nullptr;
    void lock() override {
        note('L');
        if (mutex) mutex->lock();
        maxDepth = std::max(maxDepth, ++depth);
    }
    void unlock() override {
        --depth;
        if (mutex) mutex->unlock();
        note('U');
    }
    void pauseDevice(bool paused) override { note(paused ? 'P' : 'R'); }
    void note(char c) const { observe ? observe(c) : void(); }
};

// Answers every dialog with `answer` (nothing = cancel) and records what was asked.
struct ScriptedDialogs : FileDialogs {
    using Path = std::optional<std::string>;
    using Filters = std::vector<FileFilter>;
    Path answer;
    std::vector<std::string> asked;  // "open zcm *.zcm,*.* as Songs (*.zcm), All files (*.*)"
    std::vector<std::string> noted;
    Path ask(const char* kind, const Filters& f, const std::string& ext) {
        std::string patterns, names;
        for (const FileFilter& filter : f) {
            patterns += (patterns.empty() ? "" : ",") + filter.pattern;
            names += (names.empty() ? "" : ", ") + filter.description;
        }
        asked.push_back(kind + (" " + ext + " ") + patterns + " as " + names);
        return answer;
    }
    Path askOpenPath(const Filters& f, const std::string& ext) override { return ask("open", f, ext); }
    Path askSavePath(const Filters& f, const std::string& ext) override { return ask("save", f, ext); }
    void noteFileUsed(const std::string& path) override { noted.push_back(path); }
};

// A folder of the test's own in the temporary folder, removed with what is in it at the end.
struct TempDir {
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("bf_test_" + std::to_string(::getpid()) + "_" + std::to_string(made++));
    TempDir() { std::filesystem::create_directories(dir); }
    ~TempDir() {
        std::error_code ec;  // never throw from here: a test may stop with the folder still locked
        std::filesystem::remove_all(dir, ec);
    }
    std::string path(const std::string& name = "") const { return (dir / name).string(); }
    static inline int made = 0;
};

// Something in every part of the song for the commands to change (the undo checks).
inline void fillEverySongPart(Song& s) {
    s.orders.count = 3;
    s.orders.entries[1] = 1;
    for (int ch = 0; ch < CHANNEL_COUNT; ++ch)
        for (int row = 0; row < ROWS_PER_PATTERN; row += 3) {
            PatternCell& c = s.patterns[0].at(ch, row) = PatternCell{uint8_t(30 + row % 40 + ch), 1, 0, 0};
            c.setEffect(row % 16, row * 3);
        }
    const uint8_t pcm[] = {1, 2, 3, 4, 5, 6};
    s.instruments[2].type = INST_PCM;
    s.instruments[2].pcm.assign(pcm, sizeof pcm, false);
    s.instrumentNames[1] = "lead";
    s.instrumentNames[2] = "drum";
    for (Envelope& env : s.instruments[1].envelopes) {
        for (int i = 0; i < 4; ++i) env.values[i] = 32 + i * 16;
        env.values[4] = END_MARKER;
    }
}

// Keys as the stress and undo sessions list them: "KMOD_LCTRL+SDLK_z", space separated.
inline std::vector<KeyEvent> comboKeys(const std::string& text) {
    std::vector<KeyEvent> keys;
    std::istringstream words(text);
    for (std::string combo; words >> combo;) {
        KeyEvent& e = keys.emplace_back();
        for (size_t plus; (plus = combo.find('+')) != std::string::npos; combo.erase(0, plus + 1))
            e.mod |= modifierNameTable().at(combo.substr(0, plus));
        e.sym = keyNameTable().at(combo);
    }
    return keys;
}

struct EditorRig {
    std::unique_ptr<Song> song = std::make_unique<Song>();
    Nonlinear_Buffer buffer;
    Apu apu{buffer};
    Player player{*song, apu};
    EditingState edit;
    KeyBindings bindings;
    GeneralSettings settings;
    CountingLock lock;
    RecordingCanvas canvas;
    FixedHost host;
    std::unique_ptr<Program> program;

    // userConfig is read after the built-in text, as a user's file is (bindings, row numbering).
    explicit EditorRig(EditorMode mode = EditorMode::Pattern, const std::string& userConfig = "") {
        initialiseSong(*song);
        ConfigFile config;
        config.parseText(defaultConfigurationText());
        if (!userConfig.empty()) config.parseText(userConfig);
        loadBindings(config, bindings);
        settings.rowNumbering = config.get("general", "row numbering");
        program = std::make_unique<Program>(*song, player, edit, bindings, settings, lock, canvas, host);
        // Tests that quit with changes choose where copies go; none land in the working folder.
        program->recoveryFallbackPath.clear();
        edit.mode = mode;
    }

    // Presses and releases each key; a second passes between presses.
    void press(const std::string& keys) {
        for (const KeyEvent& e : comboKeys(keys)) press(e);
    }
    void press(KeyEvent e, uint32_t ms = 1000) {
        e.pressed = true;
        program->onKeyDown(e);
        e.pressed = false;
        program->onKeyUp(e);
        host.now += ms;
    }
};

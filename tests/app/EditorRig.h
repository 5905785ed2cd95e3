#pragma once
// The whole program with the built-in key bindings and fake platform pieces, driven by key names
// as the configuration spells them ("SDLK_F12", "KMOD_LALT"). Shared by the editor tests.

#include <algorithm>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/FileDialogs.h"
#include "app/Program.h"
#include "app/RecordingCanvas.h"
#include "apu/Apu.h"
#include "apu/Nonlinear_Buffer.h"
#include "config/ConfigFile.h"
#include "config/DefaultConfig.h"
#include "config/KeyNames.h"

// A clock that moves only when told to or when the program waits, and events handed out in order.
struct FixedHost : Host {
    uint32_t now = 10000;
    std::deque<AppEvent> events;
    std::vector<uint32_t> delays;
    uint32_t ticks() const override { return now; }
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

// Records how deeply the audio lock is held, so tests can check every change is made under it,
// and the order of locks, unlocks and device pauses ("L", "U", "P", "R"); `observe`, when set,
// is called at each of them with that letter, before a lock is taken and after it is released.
struct CountingLock : AudioLock {
    int depth = 0, maxDepth = 0, locks = 0;
    std::string events;
    std::function<void(char)> observe;
    void lock() override {
        note('L');
        maxDepth = std::max(maxDepth, ++depth), ++locks;
    }
    void unlock() override {
        --depth;
        note('U');
    }
    void pauseDevice(bool paused) override { note(paused ? 'P' : 'R'); }
    void note(char c) {
        events += c;
        if (observe) observe(c);
    }
};

// A file dialog that answers every question with one path.
struct FixedPathDialogs : FileDialogs {
    std::string path;
    std::optional<std::string> askOpenPath(const std::vector<FileFilter>&, const std::string&) override {
        return path;
    }
    std::optional<std::string> askSavePath(const std::vector<FileFilter>&, const std::string&) override {
        return path;
    }
    void noteFileUsed(const std::string&) override {}
};

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

    // userConfig, when given, is read after the built-in text as a user's file would be.
    explicit EditorRig(EditorMode mode = EditorMode::Pattern, const std::string& userConfig = "") {
        initialiseSong(*song);
        ConfigFile config;
        config.parseText(defaultConfigurationText());
        if (!userConfig.empty()) config.parseText(userConfig);
        loadBindings(config, bindings);
        program = std::make_unique<Program>(*song, player, edit, bindings, settings, lock, canvas, host);
        // Tests that quit with changes choose where copies go; none land in the working folder.
        program->recoveryFallbackPath.clear();
        edit.mode = mode;
    }

    // Presses the named key with the named modifiers and keeps it held.
    KeyEvent keyDown(const char* keyName, std::initializer_list<const char*> mods = {}) {
        KeyEvent e;
        e.sym = keyNameTable().at(keyName);
        for (const char* m : mods) e.mod |= modifierNameTable().at(m);
        e.pressed = true;
        program->onKeyDown(e);
        return e;
    }
    // Presses and releases the key; a second passes between presses.
    void press(const char* keyName, std::initializer_list<const char*> mods = {}) {
        KeyEvent e = keyDown(keyName, mods);
        e.pressed = false;
        program->onKeyUp(e);
        host.now += 1000;
    }
    // Types text as plain character keys (for the name editor).
    void type(const std::string& text) {
        for (char c : text) {
            KeyEvent e;
            e.sym = uint32_t(uint8_t(c));
            e.unicode = uint16_t(uint8_t(c));
            e.pressed = true;
            program->onKeyDown(e);
            e.pressed = false;
            program->onKeyUp(e);
        }
    }
    const std::string& status() const { return edit.status.text; }

    // One key of a script and what `probe` must answer after it.
    struct Step {
        const char* key;
        std::initializer_list<const char*> mods;
        int want;
    };
    void steps(const std::function<int()>& probe, std::initializer_list<Step> script) {
        for (const Step& s : script) {
            press(s.key, s.mods);
            EXPECT_EQ(probe(), s.want) << s.key;
        }
    }
};

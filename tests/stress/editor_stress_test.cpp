// Playing while editing: one thread renders audio continuously, as the sound device's callback
// does, while the main thread hammers the editors with random keys from the built-in bindings.
// Built with ThreadSanitizer this finds any change the callback reads that is made outside the
// audio lock; in every build it checks that nothing crashes and the song stays well formed.
// A failing run prints its seed and command count: BF_STRESS_SEED=S BF_STRESS_COMMANDS=N replay the
// same keys (the audio thread's timing, and so the followed play position, still varies).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "player/AudioRenderer.h"
#include "tests/app/EditorRig.h"

namespace {

// Keys whose bindings edit the song or steer playback, as "KMOD_..+SDLK_.." combos; repeats weigh a
// key more. Quit and the file commands are left out: they would end the run or reach for dialogs.
const char* const KEY_POOL =
    // editor switches, note input, hex digits and cell commands
    "SDLK_F1 SDLK_F2 SDLK_F3 SDLK_F4 SDLK_ESCAPE SDLK_q SDLK_w SDLK_e SDLK_z SDLK_2 SDLK_0 SDLK_1 SDLK_4 "
    "SDLK_8 SDLK_9 SDLK_a SDLK_b SDLK_c SDLK_d SDLK_f SDLK_RETURN SDLK_DELETE SDLK_BACKSPACE SDLK_INSERT "
    // cursor movement (shared by every editor's bindings)
    "SDLK_UP SDLK_DOWN SDLK_LEFT SDLK_RIGHT SDLK_RIGHT SDLK_TAB KMOD_LSHIFT+SDLK_TAB SDLK_PAGEUP "
    "SDLK_PAGEDOWN SDLK_HOME SDLK_END "
    // selections, clipboard, transposition, repeat block
    "KMOD_LALT+SDLK_UP KMOD_LALT+SDLK_DOWN KMOD_LALT+SDLK_LEFT KMOD_LALT+SDLK_RIGHT SDLK_LALT "
    "KMOD_LCTRL+SDLK_UP KMOD_LCTRL+SDLK_DOWN SDLK_LCTRL KMOD_LSHIFT+SDLK_UP KMOD_LSHIFT+SDLK_DOWN "
    "KMOD_LCTRL+SDLK_x KMOD_LCTRL+SDLK_c KMOD_LCTRL+SDLK_v KMOD_LCTRL+KMOD_LSHIFT+SDLK_v "
    "KMOD_LCTRL+KMOD_LALT+SDLK_v KMOD_LCTRL+SDLK_d "
    // loop points, mute and solo, playback and global settings
    "KMOD_LSHIFT+SDLK_RIGHT KMOD_LSHIFT+SDLK_LEFT KMOD_LSHIFT+SDLK_HOME KMOD_LSHIFT+SDLK_END "
    "KMOD_LCTRL+SDLK_m KMOD_LCTRL+SDLK_s SDLK_RCTRL SDLK_RSHIFT SDLK_SPACE SDLK_F10 SDLK_F11 SDLK_F12 "
    "SDLK_F5 SDLK_F6 SDLK_F8 SDLK_KP_PERIOD KMOD_LALT+SDLK_m SDLK_KP_DIVIDE SDLK_KP_MULTIPLY "
    "SDLK_KP_MINUS SDLK_KP_PLUS SDLK_KP1 SDLK_KP2 SDLK_KP3 SDLK_KP0 "
    // undo and redo, which change the song under the lock like any edit
    "KMOD_LCTRL+SDLK_z KMOD_LCTRL+SDLK_z KMOD_LCTRL+SDLK_y KMOD_LCTRL+KMOD_LSHIFT+SDLK_z";

// Gives instruments 2 and 3 sample buffers (DPCM and raw PCM), as loading a sample would, so the
// audio thread has sample memory to read while "remove sample" may release it.
void giveSamples(Song& song, std::mt19937& rng) {
    std::vector<uint8_t> bytes(1 + rng() % 600);
    for (uint8_t& b : bytes) b = uint8_t(rng());
    song.instruments[2].type = INST_DPCM;
    song.instruments[2].dpcm.assign(bytes.data(), uint32_t(bytes.size()), true);
    for (uint8_t& b : bytes) b &= 0x7f;
    song.instruments[3].type = INST_PCM;
    song.instruments[3].pcm.assign(bytes.data(), uint32_t(bytes.size()), rng() % 2 == 0);
}

}  // namespace

TEST(EditorStress, RandomEditingWhileAudioRendersKeepsTheSongWellFormed) {
    // The program's lock also takes the mutex the audio thread renders under, as the sound
    // device does around its callback.
    EditorRig r;
    std::mutex mutex;
    r.lock.mutex = &mutex;
    Song* song = r.song.get();
    Player* player = &r.player;
    Apu* apu = &r.apu;
    Program& program = *r.program;
    EditingState& edit = r.edit;
    const char* seedText = std::getenv("BF_STRESS_SEED");
    const char* countText = std::getenv("BF_STRESS_COMMANDS");
    const uint32_t seed = seedText ? uint32_t(std::strtoul(seedText, nullptr, 0)) : 20261206u;
    const long fixedCount = countText ? std::strtol(countText, nullptr, 0) : 0;
    std::mt19937 rng(seed);
    giveSamples(*song, rng);

    AudioRenderer renderer(*player, *apu);
    ASSERT_EQ(initPlayback(*player, *apu, 44100), nullptr);
    {
        AudioLockGuard guard(r.lock);
        player->reset();
    }

    std::atomic<bool> stop{false};
    std::atomic<long> samplesRendered{0};
    std::atomic<long> nonSilent{0};
    std::thread audio([&] {
        // Requests of varying size, some shorter than a frame, as devices ask for.
        std::minstd_rand sizes(7);
        std::vector<int16_t> out(4096);
        while (!stop.load()) {
            const long count = 64 + long(sizes() % 2048);
            {
                std::lock_guard<std::mutex> hold(mutex);
                renderer.renderAudio(out.data(), count);
            }
            samplesRendered += count;
            for (long i = 0; i < count; ++i)
                if (out[size_t(i)] != out[0]) {
                    ++nonSilent;
                    break;
                }
            std::this_thread::yield();
        }
    });

    const std::vector<KeyEvent> keys = comboKeys(KEY_POOL);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    long commands = 0;
    while (fixedCount > 0 ? commands < fixedCount
                          : commands < 3000 || std::chrono::steady_clock::now() < deadline) {
        if (commands >= 2000000) break;
        KeyEvent e = keys[rng() % keys.size()];
        e.pressed = true;
        program.onKeyDown(e);
        // Most keys are released at once; some stay held a while, so note previews overlap.
        if (rng() % 4 != 0) {
            e.pressed = false;
            program.onKeyUp(e);
        }
        r.host.now += rng() % 50;
        if (commands % 500 == 499) {
            AudioLockGuard guard(r.lock);
            giveSamples(*song, rng);
        }
        if (commands % 64 == 0) std::this_thread::yield();
        // The main loop redraws between events; drawing reads the song and the cursors too.
        if (commands % 200 == 0) program.drawScreen();
        ++commands;
    }
    for (KeyEvent e : keys) program.onKeyUp(e);  // release whatever is still held
    stop = true;
    audio.join();

    SCOPED_TRACE("replay with BF_STRESS_SEED=" + std::to_string(seed) +
                 " BF_STRESS_COMMANDS=" + std::to_string(commands));
    EXPECT_GE(commands, std::min(fixedCount > 0 ? fixedCount : 3000, 3000L));
    EXPECT_GT(samplesRendered.load(), 44100 / 10) << "the audio thread hardly ran";
    EXPECT_GT(nonSilent.load(), 0) << "nothing but silence came out";

    ASSERT_GE(song->orders.count, 1);
    ASSERT_LE(song->orders.count, MAX_ORDERS);
    for (int i = 0; i < song->orders.count; ++i) {
        EXPECT_GE(song->orders.entries[i], 0) << "order " << i;
        EXPECT_LT(song->orders.entries[i], MAX_PATTERNS) << "order " << i;
    }
    for (int slot = 0; slot < INSTRUMENT_SLOTS; ++slot) {
        const Instrument& inst = song->instruments[slot];
        SCOPED_TRACE("instrument " + std::to_string(slot));
        EXPECT_GE(int(inst.type), 0);
        EXPECT_LT(int(inst.type), INSTRUMENT_TYPE_COUNT);
        for (int env = 0; env < ENVELOPE_COUNT; ++env) {
            const Envelope& e = inst.envelopes[env];
            const int length = e.length();
            ASSERT_LT(length, ENVELOPE_SLOTS) << "envelope " << env << " has no marker";
            EXPECT_GE(e.loopPoint, 0) << "envelope " << env;
            EXPECT_LE(e.loopPoint, length) << "envelope " << env;
            for (int v = 0; v < length; ++v) EXPECT_TRUE(e.values[v] >= 0 && e.values[v] <= 255) << v;
        }
    }
    EXPECT_GE(edit.currentOrder, 0);
    EXPECT_LT(edit.currentOrder, song->orders.count);
    EXPECT_GE(edit.cursor.row, 0);
    EXPECT_LT(edit.cursor.row, ROWS_PER_PATTERN);
}

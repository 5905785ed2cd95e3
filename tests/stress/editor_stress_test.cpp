// Random keys while another thread renders audio as the device's callback does: under ThreadSanitizer
// changes made outside the audio lock; in every build, crashes and a malformed song.
// BF_STRESS_SEED=S BF_STRESS_COMMANDS=N replay the keys of a failed run (the audio timing varies).

#include <gtest/gtest.h>

#include <random>

#include "player/AudioRenderer.h"
#include "tests/app/EditorRig.h"

namespace {

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
    // The program's lock also takes the mutex the audio thread renders under.
    EditorRig r;
    std::mutex mutex;
    r.lock.mutex = &mutex;
    Song& song = *r.song;
    const char* seedText = std::getenv("BF_STRESS_SEED");
    const char* countText = std::getenv("BF_STRESS_COMMANDS");
    const uint32_t seed = seedText ? uint32_t(std::strtoul(seedText, nullptr, 0)) : 20261206u;
    const long fixedCount = countText ? std::strtol(countText, nullptr, 0) : 0;
    std::mt19937 rng(seed);
    giveSamples(song, rng);
    // The keys of tests/data/stress/keys.txt, one pool with repeats weighing a key more.
    std::ifstream keyFile(BF_SOURCE_DIR "/tests/data/stress/keys.txt");
    std::string pool;
    for (std::string line; std::getline(keyFile, line);)
        if (!line.starts_with("#")) pool += line + " ";
    const std::vector<KeyEvent> keys = comboKeys(pool);
    ASSERT_GT(keys.size(), 50u);

    AudioRenderer renderer(r.player, r.apu);
    ASSERT_EQ(initPlayback(r.player, r.apu, 44100), nullptr);
    r.player.reset();  // no lock needed: the audio thread starts below

    std::atomic<bool> stop{false};
    std::atomic<long> samplesRendered{0}, nonSilent{0};
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
            if (std::any_of(out.begin(), out.begin() + count, [&](int16_t v) { return v != out[0]; }))
                ++nonSilent;
            std::this_thread::yield();
        }
    });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    long commands = 0;
    for (; fixedCount > 0 ? commands < fixedCount
                          : commands < 3000 || std::chrono::steady_clock::now() < deadline;
         ++commands) {
        if (commands >= 2000000) break;
        KeyEvent e = keys[rng() % keys.size()];
        e.pressed = true;
        r.program->onKeyDown(e);
        // Most keys are released at once; some stay held a while, so note previews overlap.
        if (rng() % 4 != 0) {
            e.pressed = false;
            r.program->onKeyUp(e);
        }
        r.host.now += rng() % 50;
        if (commands % 500 == 499) {
            AudioLockGuard guard(r.lock);
            giveSamples(song, rng);
        }
        if (commands % 64 == 0) std::this_thread::yield();
        // The main loop redraws between events; drawing reads the song and the cursors too.
        if (commands % 200 == 0) r.program->drawScreen();
    }
    for (KeyEvent e : keys) r.program->onKeyUp(e);  // release whatever is still held
    stop = true;
    audio.join();

    SCOPED_TRACE("replay with BF_STRESS_SEED=" + std::to_string(seed) +
                 " BF_STRESS_COMMANDS=" + std::to_string(commands));
    EXPECT_GT(samplesRendered.load(), 44100 / 10) << "the audio thread hardly ran";
    EXPECT_GT(nonSilent.load(), 0) << "nothing but silence came out";

    ASSERT_TRUE(song.orders.count >= 1 && song.orders.count <= MAX_ORDERS) << song.orders.count;
    for (int i = 0; i < song.orders.count; ++i)
        EXPECT_TRUE(song.orders.entries[i] >= 0 && song.orders.entries[i] < MAX_PATTERNS) << "order " << i;
    for (int slot = 0; slot < INSTRUMENT_SLOTS; ++slot) {
        SCOPED_TRACE("instrument " + std::to_string(slot));
        const Instrument& inst = song.instruments[slot];
        EXPECT_TRUE(int(inst.type) >= 0 && int(inst.type) < INSTRUMENT_TYPE_COUNT);
        for (const Envelope& e : inst.envelopes) {
            const int length = e.length();
            ASSERT_LT(length, ENVELOPE_SLOTS) << "an envelope without a marker";
            EXPECT_TRUE(e.loopPoint >= 0 && e.loopPoint <= length);
            EXPECT_TRUE(
                std::all_of(e.values, e.values + length, [](int32_t v) { return v >= 0 && v <= 255; }));
        }
    }
    EXPECT_TRUE(r.edit.currentOrder >= 0 && r.edit.currentOrder < song.orders.count) << r.edit.currentOrder;
    EXPECT_TRUE(r.edit.cursor.row >= 0 && r.edit.cursor.row < ROWS_PER_PATTERN) << r.edit.cursor.row;
}

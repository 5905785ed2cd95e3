// What a listener hears: pitch and timing of rendered audio, the render and trace tools, and the
// demo song.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "apu/ApuHarness.h"
#include "player/OfflinePlayback.h"
#include "song/SongFile.h"
#include "tests/player/PlayerRig.h"

namespace fs = std::filesystem;

namespace {

const std::string demoPath = std::string(BF_SOURCE_DIR) + "/examples/demo.zcm";
const fs::path dir = [] {
    fs::path d = fs::path(testing::TempDir()) / ("playercli" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
}();

// Sample index where each sound starts after at least `gap` silent samples.
std::vector<long> onsets(const std::vector<int16_t>& s, long gap) {
    std::vector<long> out;
    long quiet = gap;
    for (size_t i = 1; i < s.size(); ++i) {
        bool moving = std::abs(s[i] - s[i - 1]) > 200;
        if (moving && quiet >= gap) out.push_back(long(i));
        quiet = moving ? 0 : quiet + 1;
    }
    return out;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the CLI; returns its exit status, with stdout and stderr together in `out`.
int runCli(const std::string& args, std::string& out) {
    const std::string cmd =
        "'" BF_BINARY_DIR "/cli/bleepforge-cli' " + args + " >'" + (dir / "out").string() + "' 2>&1";
    const int raw = std::system(cmd.c_str());
    out = slurp(dir / "out");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::vector<int16_t> readWav(const fs::path& path, int& rate) {
    SF_INFO info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    rate = info.samplerate;
    std::vector<int16_t> s(size_t(info.frames));
    sf_read_short(f, s.data(), sf_count_t(s.size()));
    sf_close(f);
    return s;
}

void loadDemo(Song& song) {
    std::vector<uint8_t> bytes;
    SongLoadHooks hooks;
    ASSERT_TRUE(readWholeFile(demoPath, bytes));
    ASSERT_TRUE(loadSong(song, bytes.data(), bytes.size(), hooks));
}

}  // namespace

TEST(PlayerListen, PitchAndRowTimingInBothTvSystems) {
    for (bool ntsc : {false, true}) {
        SCOPED_TRACE(ntsc ? "NTSC" : "PAL");
        PlayerRig rig(ntsc);
        rig.volumeEnvelope(1, {0xF0}, 0);
        rig.song.instruments[1].envelopes[ENV_DUTY].values[0] = 0x80;
        rig.put(0, 0, 0, 46, 1);
        rig.put(0, 2, 0, 46, 1);  // the triangle sounds an octave lower
        rig.song.speed = 0;
        std::vector<int16_t> s = renderSong(rig.player, rig.apu, 44100, 1.0);
        // The pulse dominates the zero crossings; A-3 is 440 Hz.
        const double expected = (ntsc ? 1789773.0 : 1662607.0) / (16.0 * (rig.player.periodTable[45] + 1));
        EXPECT_NEAR(expected, 440.0, 2.0);
        EXPECT_NEAR(measureFrequency(std::vector<int16_t>(s.begin() + 4410, s.end()), 44100), expected, 2.0);

        PlayerRig rows(ntsc);  // rows are 120 ms apart
        rows.volumeEnvelope(1, {0xF0, 0xF0, 0x00}, 2);
        for (int row = 0; row < 64; ++row) rows.put(0, 0, row, 46, 1);
        std::vector<long> starts = onsets(renderSong(rows.player, rows.apu, 44100, 5.0), 441);
        ASSERT_GE(starts.size(), 30u);
        EXPECT_NEAR(double(starts.back() - starts.front()) / double(starts.size() - 1) / 44.1, 120.0, 1.0);
        for (size_t i = 1; i < starts.size(); ++i)
            EXPECT_NEAR((starts[i] - starts[i - 1]) / 44.1, 120.0, 12.0);
    }
}

TEST(PlayerListen, CallbackSizesDoNotChangeTheAudio) {
    auto render = [](long chunk) {
        PlayerRig rig;
        loadDemo(rig.song);
        rig.player.traceSink = nullptr;
        rig.play();
        std::vector<int16_t> out(44100);
        for (long at = 0; at < long(out.size()); at += chunk)
            rig.renderer.renderAudio(out.data() + at, std::min(chunk, long(out.size()) - at));
        return out;
    };
    std::vector<int16_t> whole = render(44100);
    EXPECT_EQ(render(100), whole);  // smaller than a frame: frames span callbacks
    EXPECT_EQ(render(4096), whole);
    EXPECT_GT(measureRms(whole), 500.0);
}

TEST(PlayerListen, DemoRendersAsMusic) {
    std::string out;
    ASSERT_EQ(runCli("render '" + demoPath + "' '" + (dir / "demo.wav").string() + "'", out), 0) << out;
    int rate = 0;
    std::vector<int16_t> s = readWav(dir / "demo.wav", rate);
    EXPECT_EQ(rate, 44100);
    EXPECT_GE(s.size(), 30u * 44100);
    EXPECT_LE(s.size(), 60u * 44100);
    // Every second has sound, and nothing clips for more than a sample or two.
    int clipRun = 0, longestClip = 0;
    for (int16_t v : s) {
        clipRun = (v >= 32767 || v <= -32768) ? clipRun + 1 : 0;
        longestClip = std::max(longestClip, clipRun);
    }
    EXPECT_LE(longestClip, 2);
    for (size_t at = 0; at + rate <= s.size(); at += size_t(rate))
        EXPECT_GT(measureRms(std::vector<int16_t>(s.begin() + long(at), s.begin() + long(at) + rate)), 1000.0)
            << "second " << at / rate;

    // The committed demo song is what make_demo writes.
    ASSERT_EQ(std::system(("'" BF_BINARY_DIR "/examples/make_demo' '" + dir.string() + "'").c_str()), 0);
    EXPECT_EQ(slurp(dir / "demo.zcm"), slurp(demoPath)) << "examples/demo.zcm differs from make_demo's";
}

TEST(PlayerListen, RenderAndTraceOptions) {
    std::string out;
    ASSERT_EQ(
        runCli("render '" + demoPath + "' '" + (dir / "a.wav").string() + "' --seconds 2 --rate 22050 --ntsc",
               out),
        0)
        << out;
    int rate = 0;
    EXPECT_EQ(readWav(dir / "a.wav", rate).size(), 44100u);
    EXPECT_EQ(rate, 22050);

    ASSERT_EQ(runCli("trace '" + demoPath + "' --frames 5", out), 0) << out;
    std::istringstream lines(out);
    std::string line;
    int n = 0;
    const std::regex format("([0-9]+):( [0-9A-F]{4}=[0-9A-F]{2})*");
    for (; std::getline(lines, line); ++n) {
        EXPECT_TRUE(std::regex_match(line, format)) << line;
        EXPECT_EQ(line.substr(0, line.find(':')), std::to_string(n));
    }
    EXPECT_EQ(n, 5);
    // The tune starts on order 1 with A-3 on pulse 1: its period is written at that frame.
    ASSERT_EQ(runCli("trace '" + demoPath + "' --frames " + std::to_string(64 * 6 + 1), out), 0);
    int32_t pal[PERIOD_TABLE_SIZE];
    buildPeriodTable(false, pal);
    char a3[16];
    std::snprintf(a3, sizeof a3, " 4002=%02X ", pal[45] & 0xFF);
    EXPECT_NE(out.substr(out.rfind('\n', out.size() - 2)).find(a3), std::string::npos);
    // Frame 0 starts with the song's first row; the stop/reset writes before it are not listed.
    EXPECT_EQ(out.rfind("0: 4010=0F 4011=3F 4012=00 4013=24 4015=0F 4015=1F 4008=81", 0), 0u)
        << out.substr(0, 80);

    // Without --frames the trace ends at the loop point: six patterns of 64 rows of 6 frames.
    ASSERT_EQ(runCli("trace '" + demoPath + "'", out), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6 * 64 * 6);

    for (const std::string& bad :
         {"render '" + demoPath + "'", "render '" + demoPath + "' x.wav --seconds -1",
          "render '" + demoPath + "' x.wav --rate 12.5", "trace '" + demoPath + "' --frames 0",
          "trace '" + demoPath + "' --bogus", "trace '" + (dir / "missing.zcm").string() + "'"}) {
        EXPECT_EQ(runCli(bad, out), 1) << bad;
        EXPECT_EQ(out.rfind("Error: ", 0), 0u) << bad;
    }
}

TEST(PlayerListen, OfflineRunStopsAtTheLoopPointOrTheEnd) {
    struct Case {
        int orders, row, effect, param;
        size_t frames;
    };
    const Case cases[] = {
        {1, 31, 0xD, 0x16, 32 * 6},           // breaking back to row 16, already played
        {2, 31, 0xD, 0x16, 32 * 6 + 16 * 6},  // order 1 row 16 is new ground, order 0 row 16 not
        {1, 2, 0xF, 0x00, 2 * 6 + 1},         // F00 stops the song on row 2
    };
    for (const Case& c : cases) {
        PlayerRig rig;
        rig.song.orders.count = c.orders;
        rig.put(0, 0, c.row, 0, 0, c.effect, c.param);
        EXPECT_EQ(traceSong(rig.player, rig.apu, 0).size(), c.frames) << c.row;
    }
}

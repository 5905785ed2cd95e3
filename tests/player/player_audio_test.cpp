// What a listener gets: rendered audio, renders streamed to files and the render and trace
// commands.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "apu/ApuHarness.h"
#include "player/AudioFile.h"
#include "player/OfflinePlayback.h"
#include "song/SongFile.h"
#include "tests/AudioRead.h"
#include "tests/app/Golden.h"
#include "tests/player/PlayerRig.h"
#include "tests/song/FileBytes.h"

namespace fs = std::filesystem;

namespace {

const std::string demoPath = std::string(BF_SOURCE_DIR) + "/examples/demo.zcm";
const fs::path dir = scratch();

// Runs the CLI, which must succeed; returns what it printed (standard output also in dir / "out").
std::string ran(const std::string& args) {
    const ToolRun r = runTool(args);
    EXPECT_EQ(r.status, 0) << args << "\n" << r.output();
    return r.output();
}

void loadExample(Song& song, const std::string& name) {
    SongLoadHooks hooks;
    const std::string path = std::string(BF_SOURCE_DIR) + "/examples/" + name + ".zcm";
    ASSERT_TRUE(loadSongFile(song, path, hooks)) << path;
}

struct Collect : SampleSink {
    std::vector<int16_t> samples;
    bool write(const int16_t* s, size_t n) override {
        samples.insert(samples.end(), s, s + n);
        return true;
    }
};

std::vector<int16_t> render(Song& song, const RenderOptions& options) {
    Nonlinear_Buffer buffer;
    Apu apu(buffer);
    Player player(song, apu);
    Collect sink;
    EXPECT_TRUE(renderStream(player, apu, options, sink).ok);
    return sink.samples;
}

// One pattern of 64 rows at speed 6, looping to its start: a pulse, a triangle and a noise note,
// each with an instrument of its own; pulse 2 and the DPCM channel stay empty.
void threeVoiceSong(PlayerRig& rig) {
    for (int slot = 1; slot <= 3; ++slot)
        PlayerRig::setEnvelope(rig.song.instruments[slot].envelopes[ENV_VOLUME], {60, 50, 40}, 2);
    rig.put(0, 0, 0, 40, 1);
    rig.put(0, 2, 0, 30, 2);
    rig.put(0, 3, 16, 50, 3);
    rig.put(0, 0, 32, NOTE_OFF);
}

}  // namespace

TEST(PlayerListen, CallbackSizesDoNotChangeTheAudio) {
    auto render = [](long chunk) {
        PlayerRig rig;
        loadExample(rig.song, "demo");
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

// One pattern with an effect on pulse 1 and, when marks are given, the repeat block on ("ORDERS
// ROW EFFECT PARAMETER [MARK-A MARK-B]"): the frames an offline run plays of it and the row it
// stops on, kept in tests/data/player/cases/offline_ends.txt.
TEST(PlayerListen, OfflineRunStopsAtTheLoopPointOrTheEnd) {
    expectTable("player/cases/offline_ends", [](const std::string& c) {
        PlayerRig rig;
        int row = 0, effect = 0, param = 0, markA = 0, markB = 0;
        std::istringstream in(c);
        in >> rig.song.orders.count >> row >> std::hex >> effect >> param;
        rig.put(0, 0, row, 0, 0, effect, param);
        if (in >> std::dec >> markA >> markB) {
            rig.player.repeatBlockOn = true;
            rig.player.repeatMarkA = markA;
            rig.player.repeatMarkB = markB;
        }
        const size_t frames = traceSong(rig.player, rig.apu, 0).size();
        return std::to_string(frames) + " frames, on row " + std::to_string(rig.player.currentRow);
    });
}

// The example songs rendered whole, mixed and as single channels, at several rates and both TV
// systems, pinned to FNV-1a fingerprints of renders checked by ear in player/cases/renders.txt.
TEST(AudioExport, ExampleSongsRenderToPinnedSamples) {
    expectTable("player/cases/renders", [](const std::string& c) {
        std::string name;
        RenderOptions options;
        int ntsc = 0;
        std::istringstream(c) >> name >> options.sampleRate >> options.channelMask >> ntsc;
        auto song = std::make_unique<Song>();
        loadExample(*song, name);
        if (ntsc >= 0) song->ntsc = ntsc == 1;
        const std::vector<int16_t> samples = render(*song, options);
        uint64_t print = 1469598103934665603ull;
        for (int16_t sample : samples) print = (print ^ uint16_t(sample)) * 1099511628211ull;
        char hex[20];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(print));
        return std::to_string(samples.size()) + " samples, " + hex;
    });
}

// Render lengths for "passes fade rate seconds", kept in tests/data/player/cases/render_lengths.txt.
TEST(AudioExport, PassesAndFadeLengths) {
    PlayerRig rig;
    threeVoiceSong(rig);
    expectTable("player/cases/render_lengths", [&](const std::string& c) {
        RenderOptions o;
        std::istringstream(c) >> o.passes >> o.fadeSeconds >> o.sampleRate >> o.seconds;
        const std::vector<int16_t> s = render(rig.song, o);
        return std::to_string(s.size()) + " samples, the last " + std::to_string(s.back());
    });
}

TEST(AudioExport, FilesReadBackInEveryFormat) {
    PlayerRig rig;
    threeVoiceSong(rig);
    AudioExportOptions options;
    options.render.seconds = 1.5;
    options.render.sampleRate = 32000;
    std::string error;
    SF_INFO info;
    for (const char* name : {"a.wav", "b.FLAC", "c.ogg"}) {
        ASSERT_TRUE(exportAudio(rig.song, (dir / name).string(), options, {}, error)) << name << error;
        const std::vector<int16_t> s = readAudio(dir / name, info);
        EXPECT_EQ(std::make_tuple(info.samplerate, info.channels, s.size()),
                  std::make_tuple(32000, 1, 48000u))
            << name;
        EXPECT_GT(measurePeakToPeak(s), 0) << name;
    }
    // Stems are files, one for each channel chosen.
    options.stems = true;
    EXPECT_FALSE(exportAudio(rig.song, "-", options, {}, error));
    EXPECT_EQ(error, "stems need a file name, not standard output");
    options.render.channelMask = 0;
    EXPECT_FALSE(exportAudio(rig.song, (dir / "none.wav").string(), options, {}, error));
    EXPECT_EQ(error, "no channel to render");

    // An export cancelled during the fade (the second report comes from inside it) keeps the old
    // file and leaves no temporary behind.
    const fs::path keep = dir / "keep.wav";
    std::ofstream(keep) << "old contents";
    options = {};
    options.render.seconds = 0.5;
    options.render.fadeSeconds = 2;
    int calls = 0;
    EXPECT_FALSE(exportAudio(
        rig.song, keep.string(), options, [&](double) { return ++calls < 2; }, error));
    EXPECT_EQ(error, "cancelled");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(slurp(keep), "old contents");
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find("keep.wav.tmp"), std::string::npos) << entry.path();
}

// A WAV stream: the header with its sizes open, then the samples little-endian; on a file the
// sizes are filled in at the end. A write that fails is reported.
TEST(AudioExport, WavStreamBytesAndFailedWrites) {
    const int16_t samples[] = {1, -2, 0x1234};
    const int fd = ::open((dir / "stream.wav").c_str(), O_CREAT | O_TRUNC | O_RDWR, 0644);
    WavStreamSink sink(fd, 22050);
    EXPECT_TRUE(sink.write(samples, 3) && sink.finish());
    ::close(fd);
    std::string hex;
    for (unsigned char c : slurp(dir / "stream.wav"))
        hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15];
    EXPECT_EQ(hex,
              "524946462A00000057415645666D742010000000010001002256000044AC00000200100064617461060000000100FE"
              "FF3412");
    const int full = ::open("/dev/full", O_WRONLY);
    EXPECT_FALSE(WavStreamSink(full, 22050).write(samples, 3));
    ::close(full);
}

TEST(PlayerListen, DemoFileHoldsTheSongsRender) {
    ran("render '" + demoPath + "' '" + (dir / "demo.wav").string() + "'");
    SF_INFO info;
    std::vector<int16_t> s = readAudio(dir / "demo.wav", info);
    EXPECT_EQ(std::make_tuple(info.samplerate, info.channels, info.format),
              std::make_tuple(44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    // The command streams with the default options, which play the song through once as the
    // whole-song render does (and cases/renders.txt pins that stream).
    PlayerRig rig;
    loadExample(rig.song, "demo");
    rig.player.traceSink = nullptr;
    EXPECT_TRUE(s == renderSong(rig.player, rig.apu, 44100, 0.0)) << "the file is not the whole-song render";

    // The committed demo song is what make_demo writes.
    ASSERT_EQ(std::system(("'" BF_BINARY_DIR "/examples/make_demo' '" + dir.string() + "'").c_str()), 0);
    EXPECT_EQ(slurp(dir / "demo.zcm"), slurp(demoPath)) << "examples/demo.zcm differs from make_demo's";
}

TEST(PlayerListen, RenderCommand) {
    SF_INFO info;
    // Standard output carries a WAV stream; redirected to a file it is a complete WAV file.
    ran("render '" + demoPath + "' - --seconds 1");
    EXPECT_EQ(readAudio(dir / "out", info).size(), 44100u);
    ran("render '" + demoPath + "' '" + (dir / "a.wav").string() + "' --seconds 2 --rate 22050 --ntsc");
    EXPECT_EQ(readAudio(dir / "a.wav", info).size(), 44100u);
    EXPECT_EQ(info.samplerate, 22050);
    ran("render '" + demoPath + "' '" + (dir / "st.wav").string() +
        "' --seconds 1 --fade 0.5 --channels 1,triangle --stems --rate 22050");
    EXPECT_EQ(readAudio(dir / "st-Pulse1.wav", info).size(), 33075u);
    EXPECT_EQ(readAudio(dir / "st-Triangle.wav", info).size(), 33075u);
    EXPECT_FALSE(fs::exists(dir / "st-Noise.wav"));
}

// Render and trace commands that are refused, with their exit status and messages, kept in
// tests/data/player/cases/refused.txt (DEMO stands for the demo song, DIR for a scratch folder).
TEST(PlayerListen, RefusedCommandsSayWhy) {
    const auto replaced = [](std::string s, const std::string& from, const std::string& to) {
        for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
            s.replace(at, from.size(), to);
        return s;
    };
    expectTable("player/cases/refused", [&](const std::string& args) {
        const ToolRun r =
            runTool(replaced(replaced(args, "DEMO", "'" + demoPath + "'"), "DIR", dir.string()));
        return replaced(std::to_string(r.status) + " " + r.output(), dir.string(), "DIR");
    });
}

// The first five frames and the frame where the tune reaches order 1 with A-3 on pulse 1, kept
// in tests/data/player/trace_demo.out: frame 0 starts with the song's first row (the stop/reset
// writes before it are not listed).
TEST(PlayerListen, TraceCommand) {
    const std::string out = ran("trace '" + demoPath + "' --frames " + std::to_string(64 * 6 + 1));
    size_t fifth = 0;
    for (int n = 0; n < 5; ++n) fifth = out.find('\n', fifth) + 1;
    expectTestData("player/trace_demo.out",
                   out.substr(0, fifth) + out.substr(out.rfind('\n', out.size() - 2) + 1));

    // Without --frames the trace ends at the loop point: six patterns of 64 rows of 6 frames.
    const std::string whole = ran("trace '" + demoPath + "'");
    EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 6 * 64 * 6);
}

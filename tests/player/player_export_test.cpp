// Streaming render to audio files: lengths of passes and fades, stems, formats, and failed writes.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "player/AudioFile.h"
#include "player/OfflinePlayback.h"
#include "song/SongFile.h"
#include "tests/player/PlayerRig.h"

namespace fs = std::filesystem;

namespace {

const std::string demoPath = std::string(BF_SOURCE_DIR) + "/examples/demo.zcm";
const fs::path dir = [] {
    fs::path d = fs::path(testing::TempDir()) / ("playerexport" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
}();

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

// Samples of exactly `frames` frames of the song.
size_t framesLength(Song& song, long frames, long rate) {
    Nonlinear_Buffer buffer;
    Apu apu(buffer);
    Player player(song, apu);
    OfflinePlayback playback(player, apu, rate);
    playback.startSong();
    std::vector<int16_t> s;
    while (playback.frames() < frames) playback.runFrame(&s);
    return s.size();
}

// One pattern of 64 rows at speed 6, looping to its start: a pulse, a triangle and a noise note,
// each with an instrument of its own; pulse 2 and the DPCM channel stay empty.
void threeVoiceSong(PlayerRig& rig) {
    for (int slot = 1; slot <= 3; ++slot) rig.volumeEnvelope(slot, {60, 50, 40}, 2);
    rig.put(0, 0, 0, 40, 1);
    rig.put(0, 2, 0, 30, 2);
    rig.put(0, 3, 16, 50, 3);
    rig.put(0, 0, 32, NOTE_OFF);
}

bool silent(const std::vector<int16_t>& s) {
    return std::all_of(s.begin(), s.end(), [](int16_t v) { return v == 0; });
}

std::vector<int16_t> readAudio(const fs::path& path, SF_INFO& info) {
    info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<int16_t> s(size_t(info.frames));
    s.resize(size_t(std::max<sf_count_t>(0, sf_read_short(f, s.data(), sf_count_t(s.size())))));
    sf_close(f);
    return s;
}

int runCli(const std::string& args, std::string& out) {
    const std::string cmd = "'" BF_BINARY_DIR "/cli/bleepforge-cli' " + args + " 2>'" + (dir / "err").string() + "'";
    const int raw = std::system(cmd.c_str());
    std::ifstream in(dir / "err");
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

TEST(AudioExport, DefaultStreamIsTheWholeSongRender) {
    std::unique_ptr<Song> song = std::make_unique<Song>();
    std::vector<uint8_t> bytes;
    SongLoadHooks hooks;
    ASSERT_TRUE(readWholeFile(demoPath, bytes) && loadSong(*song, bytes.data(), bytes.size(), hooks));
    std::vector<int16_t> whole;
    {
        Nonlinear_Buffer buffer;
        Apu apu(buffer);
        Player player(*song, apu);
        whole = renderSong(player, apu, 44100, 0.0);
    }
    EXPECT_EQ(render(*song, RenderOptions{}), whole);
}

TEST(AudioExport, PassesAndFadeLengths) {
    PlayerRig rig;
    threeVoiceSong(rig);
    const long pass = 64 * 6;
    struct Case {
        int passes;
        double fade;
        long rate;
    } cases[] = {{1, 0.0, 44100}, {2, 0.0, 44100}, {3, 0.5, 22050}, {1, 1.25, 48000}};
    for (const Case& c : cases) {
        RenderOptions options;
        options.passes = c.passes;
        options.fadeSeconds = c.fade;
        options.sampleRate = c.rate;
        const std::vector<int16_t> s = render(rig.song, options);
        const size_t body = framesLength(rig.song, pass * c.passes, c.rate);
        const size_t fade = size_t(std::llround(c.fade * double(c.rate)));
        ASSERT_EQ(s.size(), body + fade) << c.passes << " passes, fade " << c.fade;
        if (fade) {
            EXPECT_EQ(s.back(), 0) << "the fade ends in silence";
        }
    }
    // A fixed length wins over the passes; the fade comes after it.
    RenderOptions fixed;
    fixed.seconds = 2.0;
    fixed.passes = 4;
    fixed.fadeSeconds = 1.0;
    EXPECT_EQ(render(rig.song, fixed).size(), 3u * 44100);
}

TEST(AudioExport, StemsAreEachChannelAlone) {
    PlayerRig rig;
    threeVoiceSong(rig);
    RenderOptions options;
    std::vector<int16_t> stems[CHANNEL_COUNT];
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        options.channelMask = 1 << c;
        stems[c] = render(rig.song, options);
    }
    EXPECT_TRUE(silent(stems[1]));
    EXPECT_TRUE(silent(stems[4]));
    EXPECT_FALSE(silent(stems[0]));
    EXPECT_FALSE(silent(stems[3]));
    // The pulses mix linearly: their stems add up to the pulses together, to within rounding.
    rig.put(0, 1, 4, 47, 1);
    options.channelMask = 1;
    const std::vector<int16_t> p1 = render(rig.song, options);
    options.channelMask = 2;
    const std::vector<int16_t> p2 = render(rig.song, options);
    options.channelMask = 3;
    const std::vector<int16_t> both = render(rig.song, options);
    ASSERT_EQ(p1.size(), both.size());
    ASSERT_EQ(p2.size(), both.size());
    int worst = 0;
    for (size_t i = 0; i < both.size(); ++i) worst = std::max(worst, std::abs(p1[i] + p2[i] - both[i]));
    EXPECT_LE(worst, 2);
}

TEST(AudioExport, FilesReadBackInEveryFormat) {
    PlayerRig rig;
    threeVoiceSong(rig);
    AudioExportOptions options;
    options.render.seconds = 1.5;
    options.render.sampleRate = 32000;
    std::string error;
    for (const char* name : {"a.wav", "b.FLAC", "c.ogg"}) {
        ASSERT_TRUE(exportAudio(rig.song, (dir / name).string(), options, {}, error)) << name << error;
        SF_INFO info;
        const std::vector<int16_t> s = readAudio(dir / name, info);
        EXPECT_EQ(info.samplerate, 32000) << name;
        EXPECT_EQ(info.channels, 1) << name;
        EXPECT_EQ(s.size(), 48000u) << name;
        EXPECT_FALSE(silent(s)) << name;
    }
    options.stems = true;
    options.render.channelMask = 0b00011;
    ASSERT_TRUE(exportAudio(rig.song, (dir / "s.flac").string(), options, {}, error)) << error;
    SF_INFO info;
    EXPECT_FALSE(silent(readAudio(dir / "s-Pulse1.flac", info)));
    EXPECT_EQ(readAudio(dir / "s-Pulse2.flac", info).size(), 48000u);
    EXPECT_FALSE(fs::exists(dir / "s-Triangle.flac"));
    EXPECT_FALSE(exportAudio(rig.song, (dir / "x.mp3").string(), options, {}, error));
}

TEST(AudioExport, FailedWriteKeepsTheOldFile) {
    PlayerRig rig;
    threeVoiceSong(rig);
    const fs::path keep = dir / "keep.wav";
    std::ofstream(keep) << "old contents";
    AudioExportOptions options;
    std::string error;
    int calls = 0;
    EXPECT_FALSE(exportAudio(rig.song, keep.string(), options, [&](double) { return ++calls < 3; }, error));
    std::ifstream in(keep);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "old contents");
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find("keep.wav.tmp"), std::string::npos) << entry.path();
}

TEST(AudioExport, CommandLine) {
    std::string err;
    // Standard output carries a WAV stream; redirected to a file it is a complete WAV file.
    ASSERT_EQ(runCli("render '" + demoPath + "' - --seconds 1 >'" + (dir / "out.wav").string() + "'", err), 0) << err;
    SF_INFO info;
    EXPECT_EQ(readAudio(dir / "out.wav", info).size(), 44100u);
    ASSERT_EQ(runCli("render '" + demoPath + "' '" + (dir / "st.wav").string() +
                         "' --seconds 1 --fade 0.5 --channels 1,triangle --stems --rate 22050",
                     err),
              0)
        << err;
    EXPECT_EQ(readAudio(dir / "st-Pulse1.wav", info).size(), 33075u);
    EXPECT_EQ(readAudio(dir / "st-Triangle.wav", info).size(), 33075u);
    EXPECT_FALSE(fs::exists(dir / "st-Noise.wav"));

    fs::create_directories(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    std::vector<std::string> bad = {"/dev/full", (dir / "missing" / "a.wav").string(), (dir / "a.mp3").string()};
    if (geteuid() != 0) bad.push_back((dir / "ro" / "a.wav").string());  // root writes anywhere
    for (const std::string& out : bad) {
        EXPECT_EQ(runCli("render '" + demoPath + "' '" + out + "' --seconds 1", err), 1) << out;
        EXPECT_EQ(err.rfind("Error: ", 0), 0u) << out << ": " << err;
    }
    for (const char* option : {"--passes 0", "--passes 17", "--fade -1", "--channels 6", "--channels pulse3"}) {
        EXPECT_EQ(runCli("render '" + demoPath + "' x.wav " + std::string(option), err), 1) << option;
        EXPECT_EQ(err.rfind("Error: ", 0), 0u) << option;
    }
}

namespace {

// FNV-1a over the samples of a render.
struct Fingerprint : SampleSink {
    uint64_t hash = 1469598103934665603ull;
    long count = 0;
    bool write(const int16_t* s, size_t n) override {
        for (size_t i = 0; i < n; ++i) hash = (hash ^ uint16_t(s[i])) * 1099511628211ull;
        count += long(n);
        return true;
    }
};

}  // namespace

// The example songs rendered whole, mixed and as single channels, at several rates and both TV
// systems, pinned to the fingerprints of a render checked by ear. Any change to the engine that
// moves a single sample shows here; a deliberate change of the sound needs new fingerprints.
TEST(AudioExport, ExampleSongsRenderToPinnedSamples) {
    struct Case {
        const char* song;
        long rate;
        int mask;
        int ntsc;  // -1: the song's own system
        long count;
        uint64_t hash;
    } cases[] = {
        {"demo", 44100, 31, -1, 2031474, 0xa317edb839d97cdfull},
        {"demo", 48000, 31, -1, 2211478, 0x98660da51681fb56ull},
        {"demo", 22050, 1 << 3, -1, 1015737, 0x55d961f25521f9afull},
        {"demo", 44100, 1 << 4, -1, 2031474, 0x4eae7c5ccd1c45ecull},
        {"demo", 96000, 31, 0, 4422956, 0x14439abed727f2f4ull},
        {"demo", 44100, 0b10110, 1, 2035181, 0x37eb67673d673411ull},
        {"example", 44100, 31, -1, 1062468, 0xcb71f284e65da12full},
        {"example", 48000, 1 << 2, -1, 1156610, 0xfa47e795808146d5ull},
        {"example", 8000, 31, 1, 193088, 0x4752aba49b77c449ull},
    };
    for (const Case& c : cases) {
        auto song = std::make_unique<Song>();
        std::vector<uint8_t> bytes;
        SongLoadHooks hooks;
        const std::string path = std::string(BF_SOURCE_DIR) + "/examples/" + c.song + ".zcm";
        ASSERT_TRUE(readWholeFile(path, bytes) && loadSong(*song, bytes.data(), bytes.size(), hooks)) << path;
        if (c.ntsc >= 0) song->ntsc = c.ntsc == 1;
        Nonlinear_Buffer buffer;
        Apu apu(buffer);
        Player player(*song, apu);
        RenderOptions options;
        options.sampleRate = c.rate;
        options.channelMask = c.mask;
        Fingerprint print;
        ASSERT_TRUE(renderStream(player, apu, options, print).ok);
        EXPECT_EQ(print.count, c.count) << c.song << " at " << c.rate << " mask " << c.mask;
        EXPECT_EQ(print.hash, c.hash) << c.song << " at " << c.rate << " mask " << c.mask;
    }
}

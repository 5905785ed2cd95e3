#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

#include "song/SongFile.h"
#include "tests/converter/TestData.h"
#include "tests/song/FileBytes.h"

namespace {

struct RecordingHooks : SongLoadHooks {
    std::vector<std::string> calls;
    int cursor = -1;
    void stopPlayback() override { calls.push_back("stop"); }
    void requestReconfigure() override { calls.push_back("reconfigure"); }
    void resetPositions() override { calls.push_back("positions"); }
    int currentInstrument() const override { return 1; }
    void setNameCursor(int position) override { cursor = position; }
    void songLoaded() override { calls.push_back("loaded"); }
};

std::unique_ptr<Song> load(const std::vector<uint8_t>& bytes, int* version = nullptr) {
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    EXPECT_TRUE(loadSong(*song, bytes.data(), bytes.size(), hooks, version));
    return song;
}

// Every field set: random cells (byte-3 high nibbles included), 255 named, coloured instruments
// with 250-value envelopes and both samples, 64 orders, NTSC.
void fillEverything(Song& song) {
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, uint8_t(seed >> 16); };
    song.ntsc = true;
    song.speed = 3;
    song.tempo = 200;
    song.orders.count = MAX_ORDERS;
    for (int o = 0; o < MAX_ORDERS; ++o) song.orders.entries[o] = (o * 7) % MAX_PATTERNS;
    for (auto& p : song.patterns)
        for (auto& channel : p.cells)
            for (auto& cell : channel) cell = {next(), next(), next(), next()};
    for (int slot = 1; slot < INSTRUMENT_SLOTS; ++slot) {
        Instrument& inst = song.instruments[slot];
        inst.type = InstrumentType(slot % INSTRUMENT_TYPE_COUNT);
        for (auto& env : inst.envelopes) {
            for (int i = 0; i < MAX_ENVELOPE_VALUES; ++i) env.values[i] = next();
            env.values[MAX_ENVELOPE_VALUES] = END_MARKER;
            env.loopPoint = next() % MAX_ENVELOPE_VALUES;
        }
        std::vector<uint8_t> pcm(size_t(slot) * 3 + 1, next()), dpcm(size_t(300 - slot), next());
        inst.pcm.assign(pcm.data(), uint32_t(pcm.size()), slot % 2 == 0);
        inst.dpcm.assign(dpcm.data(), uint32_t(dpcm.size()), slot % 3 == 0);
        song.instrumentNames[slot] = "Instrument " + std::to_string(slot);
        song.instrumentColours[slot] = slot % COLOUR_COUNT;
    }
}

// Everything the file holds (speed and tempo are not in it).
void expectSameSong(const Song& a, const Song& b) {
    EXPECT_EQ(a.ntsc, b.ntsc);
    ASSERT_EQ(a.orders.count, b.orders.count);
    EXPECT_TRUE(std::equal(a.orders.entries, a.orders.entries + a.orders.count, b.orders.entries));
    EXPECT_EQ(std::memcmp(a.patterns, b.patterns, sizeof a.patterns), 0);
    EXPECT_TRUE(std::ranges::equal(a.instruments, b.instruments));
    EXPECT_TRUE(std::ranges::equal(a.instrumentNames, b.instrumentNames));
    EXPECT_TRUE(std::ranges::equal(a.instrumentColours, b.instrumentColours));
}

// One file of the given version: instrument 1, orders {1, 0}, two patterns, and for versions 1-7
// a legacy sample 2 that the DPCM column of pattern 1 plays as note 2.
std::vector<uint8_t> fileOfVersion(int version) {
    FileBytes f;
    f.songHeader(version, 1, 2, 2);
    if (version >= 4) f.u8(1);
    f.name("ab").envelope(0, {15}).envelope(1, {0}).envelope(0, {1});
    if (version >= 5) f.envelope(0, {130});
    if (version >= 8) f.u8(INST_PCM_PULSE).sample({9, 8}, true);
    if (version >= 9) f.sample({7, 6, 5}, false);
    if (version >= 10) f.u8(5);
    f.raw({1, 0});
    for (int p = 0; p < 2; ++p)
        for (int ch = 0; ch < (version == 0 ? 4 : 5); ++ch)
            for (int row = 0; row < 64; ++row) {
                bool melody = p == 1 && ch == 0 && row == 5, sample = p == 1 && ch == 4 && row == 0;
                if (version >= 7)
                    melody ? f.raw({37, 1, 0x42, 0x03}) : sample ? f.raw({2, 0, 0, 0}) : f.zeros(4);
                else
                    melody ? f.raw({37, 0x21, 0x34}) : sample ? f.raw({2, 0, 0}) : f.zeros(3);
            }
    if (version >= 1 && version <= 7) {
        f.u8(0).name("snare");  // legacy sample 1 empty, 2 named "snare"
        version < 3 ? f.u16(3) : f.u32(3);
        f.u8(1).raw({0x40, 0x50, 0x60}).zeros(253);
    }
    return f.bytes;
}

}  // namespace

TEST(SongFile, RoundTripKeepsEveryField) {
    auto song = std::make_unique<Song>();
    fillEverything(*song);
    std::vector<uint8_t> bytes = serializeSong(*song);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 21),
              (std::vector<uint8_t>{11, 255, 64, 64, 1}));

    auto loaded = std::make_unique<Song>();
    RecordingHooks hooks;
    int version = -1;
    ASSERT_TRUE(loadSong(*loaded, bytes.data(), bytes.size(), hooks, &version));
    EXPECT_EQ(version, 11);
    expectSameSong(*song, *loaded);
    EXPECT_EQ(loaded->speed, 6);
    EXPECT_EQ(loaded->tempo, 125);
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"stop", "reconfigure", "positions", "loaded"}));
    EXPECT_EQ(hooks.cursor, int(song->instrumentNames[1].size()));

    // A name longer than its length byte holds is cut to 255 bytes; the records after it read.
    song->instrumentNames[2] = std::string(300, 'n');
    bytes = serializeSong(*song);
    ASSERT_TRUE(loadSong(*loaded, bytes.data(), bytes.size(), hooks, &version));
    song->instrumentNames[2].resize(255);
    expectSameSong(*song, *loaded);

    // Only what is used is written: a nibble-only pattern is not; a named instrument is, and so
    // is a later one that only holds a sample, a type or a colour (they would be lost).
    auto sparse = std::make_unique<Song>();
    sparse->instrumentNames[2] = "named";
    sparse->patterns[3].at(1, 1).param = 0xF0;
    bytes = serializeSong(*sparse);
    EXPECT_EQ(bytes[17], 2);
    EXPECT_EQ(bytes[19], 0);
    EXPECT_EQ(bytes.size(), 21u + 23 + 28 + 1);  // header, two records of 23 + name, one order
    EXPECT_EQ(load(bytes)->instrumentNames[2], "named");
    for (int kept = 0; kept < 4; ++kept) {
        auto s = std::make_unique<Song>();
        if (kept == 0) s->instruments[9].dpcm.assign(bytes.data(), 2, false);
        if (kept == 1) s->instruments[9].pcm.assign(bytes.data(), 2, false);
        if (kept == 2) s->instruments[9].type = INST_PCM_SAW;
        if (kept == 3) s->instrumentColours[9] = 3;
        auto back = load(serializeSong(*s));
        EXPECT_EQ(serializeSong(*back), serializeSong(*s)) << kept;
        EXPECT_EQ(serializeSong(*s)[17], 9) << kept;
    }
}

// Each version's file loads to the model in tests/data/song/version-N.json: old volume and duty
// scales, the missing DPCM column of version 0, legacy samples turned into PCM instruments.
TEST(SongFile, EveryVersionLoadsToTheCurrentModel) {
    for (int version = 0; version <= 11; ++version) {
        expectTestData("song/version-" + std::to_string(version) + ".json", dumpOf(fileOfVersion(version)));
    }
}

TEST(SongFile, LegacySamplesBecomePcmInstruments) {
    FileBytes f;
    f.songHeader(7, 0, 1, 1).u8(0).u8(0);
    Pattern p;
    p.clear();
    p.at(CH_DPCM, 0) = {3, 0, 0, 0x50};  // the non-musical nibble does not matter: converted
    p.at(CH_DPCM, 1) = {3, 7, 0, 0};     // with an instrument, an effect or a parameter: kept
    p.at(CH_DPCM, 2) = {3, 0, 0x01, 0};
    p.at(CH_DPCM, 3) = {3, 0, 0, 0x01};
    p.at(CH_PULSE1, 4) = {3, 0, 0, 0};  // not the DPCM column: kept
    p.at(CH_DPCM, 5) = {5, 0, 0, 0};
    p.at(CH_DPCM, 6) = {4, 0, 0, 0};  // sample 4 is named but has no data: kept
    const uint8_t* cells = reinterpret_cast<const uint8_t*>(p.cells);
    f.bytes.insert(f.bytes.end(), cells, cells + PATTERN_BYTES);
    f.u8(0).u8(0);  // legacy samples 1 and 2 unnamed, 6 to 255 too
    f.name("a sample with a very long name indeed").u32(2).u8(0).raw({1, 2});
    f.name("empty").u32(0).u8(0);
    f.name("five").u32(1).u8(1).raw({9});
    f.zeros(250);
    // Pattern 0 uses instrument 7, so the new instruments are 8 and 9, in sample order; a name is
    // cut to 30; the non-musical nibble does not stop a conversion.
    expectTestData("song/legacy-samples.json", dumpOf(f.bytes));

    // With all 255 slots taken, the samples are dropped.
    FileBytes full;
    full.songHeader(3, 255, 1, 0);
    for (int slot = 1; slot <= 255; ++slot) full.name("x").envelope(0, {1}).envelope(0, {0}).envelope(0, {0});
    full.u8(0).u8(0).name("lost").u32(4).u8(0).raw({1, 2, 3, 4}).zeros(253);
    expectTestData("song/crowded.json", dumpOf(full.bytes));
}

TEST(SongFile, RefusedFilesLeaveTheSongAlone) {
    std::vector<FileBytes> bad(5);
    bad[0].songHeader(12, 0, 1, 0).u8(0);
    bad[1].songHeader(11, 0, 0, 0).u8(0);  // no orders
    bad[2].text("ZephyrcantorTunf").raw({11, 0, 1, 0, 0});
    bad[3].songHeader(11, 0, 1, 0).bytes.pop_back();  // 19 bytes
    bad[4].text("ZephyrcantorInst").raw({4, 0, 1, 0, 0});
    for (const auto& f : bad) {
        auto song = std::make_unique<Song>();
        song->instrumentNames[1] = "keep";
        song->speed = 3;
        RecordingHooks hooks;
        EXPECT_FALSE(loadSong(*song, f.data(), f.size(), hooks));
        EXPECT_EQ(hooks.calls, std::vector<std::string>{"stop"});  // a refused file still stops playback
        EXPECT_EQ(song->instrumentNames[1], "keep");
        EXPECT_EQ(song->speed, 3);
        // dump reads the last, an instrument file, as one.
        if (&f != &bad.back()) expectRefused("dump '" + writeFile(scratch() / "bad.zcm", f.bytes) + "'");
    }
}

TEST(SongFile, OutOfRangeInputIsClampedNotTrusted) {
    // A count of 255 values, an unknown type, colour 40, loop point 255, a sample size far beyond
    // the end of the file.
    FileBytes f;
    f.songHeader(11, 2, 1, 0).u8(0);
    f.name("long").u8(255).u8(255);
    for (int i = 0; i < 255; ++i) f.u8(i);
    f.envelope(0, {70}).envelope(0, {32}).envelope(0, {127}).u8(200).sample({}, false).sample({}, false).u8(
        40);
    f.name("big").envelope(0, {1}).envelope(0, {64}).envelope(0, {32}).envelope(0, {127});
    f.u8(INST_DPCM).u32(0).u32(0xFFFFFFFF).u8(1).raw({1, 2, 3});
    // Only the file's 3 bytes of the sample; the rest of the count of 255 values skipped.
    expectTestData("song/out-of-range.json", dumpOf(f.bytes));

    // Old-scale values that would pass 255 stop at the editor's largest value, and stay there
    // when saved again.
    FileBytes old;
    old.songHeader(1, 1, 1, 0).name("").envelope(0, {15, 16, 255}).envelope(0, {191, 192, 255});
    old.envelope(0, {0, 3, 4, 255}).u8(0).zeros(255);
    expectTestData("song/old-scale.json", dumpOf(old.bytes));
    auto converted = load(old.bytes);
    EXPECT_TRUE(load(serializeSong(*converted))->instruments[1] == converted->instruments[1]);

    // 70 orders (one naming pattern 200) and 66 patterns, then a legacy sample after them.
    FileBytes big;
    big.songHeader(7, 0, 70, 66).u8(0);
    for (int o = 0; o < 70; ++o) big.u8(o == 1 ? 200 : o);
    for (int p = 0; p < 66; ++p) big.u8(p + 1).zeros(PATTERN_BYTES - 1);
    big.name("s").u32(1).u8(0).u8(0x33).zeros(254);
    expectTestData("song/many-orders.json", dumpOf(big.bytes));
}

TEST(SongFile, TruncatedFilesLoadWhatIsThereAndZeroTheRest) {
    auto full = std::make_unique<Song>();
    fillEverything(*full);
    std::vector<uint8_t> bytes = serializeSong(*full);
    auto a = std::make_unique<Song>(), b = std::make_unique<Song>();
    SongLoadHooks hooks;
    for (size_t cut = 0; cut < bytes.size(); cut += cut < 300 ? 1 : 4999) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + cut);  // exact size, so ASan sees overreads
        bool ok = loadSong(*a, part.data(), part.size(), hooks);
        ASSERT_EQ(ok, cut >= 20) << cut;
        if (!ok) continue;
        ASSERT_TRUE(loadSong(*b, part.data(), part.size(), hooks));
        ASSERT_EQ(serializeSong(*a), serializeSong(*b)) << cut;  // deterministic
    }
    std::vector<uint8_t> part(bytes.begin(), bytes.end() - 600);  // ends inside the last pattern
    ASSERT_TRUE(loadSong(*a, part.data(), part.size(), hooks));
    EXPECT_EQ(a->patterns[63].at(0, 0), full->patterns[63].at(0, 0));
    EXPECT_EQ(a->patterns[63].at(4, 63), PatternCell{});
}

TEST(SongFile, FailedSaveKeepsThePreviousFile) {
    namespace fs = std::filesystem;
    fs::path dir = fs::path(testing::TempDir()) / ("songsave" + std::to_string(getpid()));
    fs::create_directories(dir / "occupied" / "x");
    std::string path = (dir / "song.zcm").string();
    auto song = std::make_unique<Song>();
    ASSERT_TRUE(saveSong(*song, path));
    const auto small = fs::file_size(path);
    // Saving again keeps the file's permissions.
    fs::permissions(path, fs::perms(0640));
    ASSERT_TRUE(saveSong(*song, path));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));

    // A file-size limit makes the write fail part way, as a full disk would.
    fillEverything(*song);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    const rlimit limit = {4096, oldLimit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    bool saved = saveSong(*song, path);
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved);
    EXPECT_EQ(fs::file_size(path), small);

    EXPECT_FALSE(saveSong(*song, (dir / "occupied").string()));  // cannot be replaced
    // Reading a folder, a pipe or a missing file answers false instead of throwing or blocking.
    mkfifo((dir / "pipe").c_str(), 0600);
    RecordingHooks hooks;
    std::vector<uint8_t> bytes;
    for (const char* name : {"occupied", "pipe", "absent.zcm"}) {
        EXPECT_FALSE(readWholeFile((dir / name).string(), bytes)) << name;
        EXPECT_FALSE(loadSongFile(*song, (dir / name).string(), hooks)) << name;
    }
    fs::remove(dir / "pipe");
    EXPECT_FALSE(saveSong(*song, (dir / "missing" / "song.zcm").string()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()),
              2);  // no temporaries left
    ASSERT_TRUE(saveSong(*song, path));
    EXPECT_GT(fs::file_size(path), small);
    fs::remove_all(dir);
}

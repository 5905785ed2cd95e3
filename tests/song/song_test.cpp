// Song and instrument files (every version, damaged and refused ones, saving), the song model,
// instrument text, sample import and the dump and save commands.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <csignal>

#include "song/InstrumentFile.h"
#include "song/InstrumentText.h"
#include "song/SampleImport.h"
#include "song/SongFile.h"
#include "tests/app/Golden.h"
#include "tests/song/FileBytes.h"

namespace fs = std::filesystem;

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

std::unique_ptr<Song> load(const std::vector<uint8_t>& bytes) {
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    EXPECT_TRUE(loadSong(*song, bytes.data(), bytes.size(), hooks));
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

// One file of the given version: instrument 1 (its name with a quote, a control byte and a high
// byte), orders {1, 0}, two patterns, and for versions 1-7 a legacy sample 2 that the DPCM column
// of pattern 1 plays as note 2.
std::vector<uint8_t> fileOfVersion(int version) {
    FileBytes f = FileBytes().songHeader(version, 1, 2, 2);
    if (version >= 4) f.u8(1);
    f.name("a\"b\\c\x01\xE9").envelope(0, {15}).envelope(1, {0}).envelope(0, {1});
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

// Loads `f` into `slot` of a song with every field set, so that what a load keeps is visible
// (slot 4: PCM Saw, colour 4, a looping PCM sample of 13 bytes, a one-shot DPCM one of 296).
std::unique_ptr<Song> loadOverFullSong(const FileBytes& f, bool loads, int slot = 4) {
    auto song = std::make_unique<Song>();
    fillEverything(*song);
    SongLoadHooks hooks;
    EXPECT_EQ(loadInstrument(*song, slot, f.bytes.data(), f.bytes.size(), hooks), loads);
    return song;
}

FileBytes instrumentOfVersion(int version) {
    FileBytes f = FileBytes().text("ZephyrcantorInst").u8(version).name("inst");
    f.envelope(2, {15, 0}).envelope(0, {70}).envelope(0, {0, 1});
    if (version >= 1) f.envelope(0, {120});
    if (version >= 3) f.u8(INST_PCM).sample({10, 20}, false);
    if (version >= 4) f.sample({}, false).u8(3);  // trailing colour byte is never read
    return f;
}

std::vector<uint8_t> bytesOf(const SampleSlot& s) {
    return s.empty() ? std::vector<uint8_t>{} : std::vector<uint8_t>(s.data.get(), s.data.get() + s.size);
}

class SampleImport : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }  // with a large sparse file and a pipe

    // Writes interleaved items through libsndfile; the test fails when the format is not built in.
    std::string writeSound(const std::string& name, int format, int rate, int channels,
                           const std::vector<double>& items) {
        std::string path = (dir / name).string();
        SF_INFO info = {0, rate, channels, format, 0, 0};
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << name << ": " << sf_strerror(nullptr);
        if (!file) return path;
        sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
        EXPECT_EQ(sf_write_double(file, items.data(), sf_count_t(items.size())), sf_count_t(items.size()));
        sf_close(file);
        return path;
    }

    const fs::path dir = scratch() / "samples";
    std::unique_ptr<Song> song = std::make_unique<Song>();
};

}  // namespace

TEST(SongFile, RoundTripKeepsEveryFieldAndCutFilesLoadWhatTheyHold) {
    auto song = std::make_unique<Song>();
    fillEverything(*song);
    song->instrumentNames[2] = std::string(300, 'n');  // more than the length byte holds
    std::vector<uint8_t> bytes = serializeSong(*song);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 21),
              (std::vector<uint8_t>{11, 255, 64, 64, 1}));

    auto loaded = std::make_unique<Song>();
    RecordingHooks hooks;
    int version = -1;
    ASSERT_TRUE(loadSong(*loaded, bytes.data(), bytes.size(), hooks, &version));
    EXPECT_EQ(version, 11);
    // All the file holds comes back, the long name cut to 255 bytes without losing what follows it.
    song->instrumentNames[2].resize(255);
    EXPECT_EQ(loaded->ntsc, song->ntsc);
    ASSERT_EQ(loaded->orders.count, MAX_ORDERS);
    EXPECT_TRUE(std::ranges::equal(loaded->orders.entries, song->orders.entries));
    EXPECT_EQ(std::memcmp(loaded->patterns, song->patterns, sizeof song->patterns), 0);
    EXPECT_TRUE(std::ranges::equal(loaded->instruments, song->instruments));
    EXPECT_TRUE(std::ranges::equal(loaded->instrumentNames, song->instrumentNames));
    EXPECT_TRUE(std::ranges::equal(loaded->instrumentColours, song->instrumentColours));
    EXPECT_EQ(std::tie(loaded->speed, loaded->tempo), std::make_tuple(6, 125));  // not in the file
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"stop", "reconfigure", "positions", "loaded"}));
    EXPECT_EQ(hooks.cursor, int(song->instrumentNames[1].size()));
    // Cut short, a file loads what it holds and zeros the rest: over the previous cut's song it
    // gives what it gives a new one.
    for (size_t cut = 0; cut < bytes.size(); cut += cut < 300 ? 1 : 4999) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + cut);  // exact size, so ASan sees overreads
        bool ok = loadSong(*loaded, part.data(), part.size(), hooks);
        ASSERT_EQ(ok, cut >= 20) << cut;
        ASSERT_TRUE(!ok || serializeSong(*loaded) == serializeSong(*load(part))) << cut;
    }
    std::vector<uint8_t> part(bytes.begin(), bytes.end() - 600);  // ends inside the last pattern
    ASSERT_TRUE(loadSong(*loaded, part.data(), part.size(), hooks));
    EXPECT_EQ(loaded->patterns[63].at(0, 0), song->patterns[63].at(0, 0));
    EXPECT_EQ(loaded->patterns[63].at(4, 63), PatternCell{});
    // Only what is used is written: no nibble-only pattern; an instrument with only a name, a
    // sample, a type or a colour.
    auto sparse = std::make_unique<Song>();
    sparse->instrumentNames[2] = "named";
    sparse->patterns[3].at(1, 1).param = 0xF0;
    bytes = serializeSong(*sparse);
    EXPECT_EQ(std::tie(bytes[17], bytes[19]), std::make_tuple(2, 0));  // last instrument, patterns
    EXPECT_EQ(bytes.size(), 21u + 23 + 28 + 1);  // header, two records of 23 + name, one order
    EXPECT_EQ(load(bytes)->instrumentNames[2], "named");
    for (int kept = 0; kept < 4; ++kept) {
        auto s = std::make_unique<Song>();
        if (kept == 0) s->instruments[9].dpcm.assign(bytes.data(), 2, false);
        if (kept == 1) s->instruments[9].pcm.assign(bytes.data(), 2, false);
        if (kept == 2) s->instruments[9].type = INST_PCM_SAW;
        if (kept == 3) s->instrumentColours[9] = 3;
        EXPECT_EQ(serializeSong(*load(serializeSong(*s))), serializeSong(*s)) << kept;
        EXPECT_EQ(serializeSong(*s)[17], 9) << kept;
    }
}

// Each version's file dumps as tests/data/song/version-N.json, and saved it dumps the same at
// the current version. The committed example song and instrument are what make_example writes.
TEST(SongFile, EveryVersionAndTheExamplesDumpAsKept) {
    const std::string saved = (scratch() / "new.zcm").string();
    for (int version = 0; version <= 11; ++version) {
        const std::string v = std::to_string(version);
        const std::string file = writeFile(scratch() / "old.zcm", fileOfVersion(version));
        std::string dump = runTool("dump '" + file + "'").out;
        expectTestData("song/version-" + v + ".json", dump);
        const ToolRun r = runTool("save '" + file + "' '" + saved + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string field = "\"version\":" + v + ",";
        dump.replace(dump.find(field), field.size(), "\"version\":11,");
        EXPECT_EQ(runTool("dump '" + saved + "'").out, dump) << version;
    }
    ASSERT_EQ(std::system(("'" BF_BINARY_DIR "/examples/make_example' '" + scratch().string() + "'").c_str()),
              0);
    for (const std::string name : {"example.zcm", "example.zci"}) {
        EXPECT_EQ(readFile(scratch() / name), readFile(fs::path(BF_SOURCE_DIR) / "examples" / name))
            << name << " differs from make_example's";
        ToolRun r = runTool("dump '" BF_SOURCE_DIR "/examples/" + name + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        expectTestData("song/" + name + ".json", r.out);
    }
}

// Refused by loadSong, loadInstrument, dump and save, but for the last two: a song and an
// instrument, each refused only by the other kind's loader.
TEST(SongFile, RefusedFilesChangeNothing) {
    std::vector<FileBytes> bad(10, instrumentOfVersion(4));
    bad[0].bytes[16] = 5;     // instrument version 5
    bad[1].bytes.resize(16);  // no version
    bad[2].bytes[15] = 'x';
    bad[3] = FileBytes().songHeader(12, 0, 1, 0).u8(0);
    bad[4] = FileBytes().songHeader(11, 0, 0, 0).u8(0);  // no orders
    bad[5] = FileBytes().text("ZephyrcantorTunf").raw({11, 0, 1, 0, 0});
    bad[6] = FileBytes().text("ZephyrcantorTune").raw({11, 0, 1});  // 19 bytes
    bad[7] = FileBytes().text("not a bleepforge file");
    bad[8] = FileBytes().songHeader(4, 0, 1, 0);
    for (size_t i = 0; i < bad.size(); ++i) {
        const std::vector<uint8_t>& b = bad[i].bytes;
        auto song = loadOverFullSong(bad[i], i == 9);
        RecordingHooks hooks;
        EXPECT_EQ(loadSong(*song, b.data(), b.size(), hooks), i == 8) << i;
        if (i == 8) continue;
        EXPECT_EQ(hooks.calls, std::vector<std::string>{"stop"});  // a refused file still stops playback
        EXPECT_EQ(std::tie(song->instrumentNames[4], song->instruments[4].type, song->speed),
                  std::make_tuple(i == 9 ? "inst" : "Instrument 4", i == 9 ? INST_PCM : INST_PCM_SAW, 3))
            << i;
        if (i < 8) expectRefused("dump '" + writeFile(scratch() / "bad.zcm", b) + "'");
    }
    const fs::path dir = scratch();
    expectRefused("dump '" + (dir / "missing.zcm").string() + "'");
    expectRefused("save '" + (dir / "bad.zcm").string() + "' '" + (dir / "out.zcm").string() + "'");
    EXPECT_FALSE(fs::exists(dir / "out.zcm"));
}

// Hand-built files dump as kept in tests/data/song: legacy samples, out-of-range values, many orders.
TEST(SongFile, LegacySamplesAndOutOfRangeInputLoadAsKept) {
    FileBytes legacy = FileBytes().songHeader(7, 0, 1, 1).u8(0).u8(0);
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
    legacy.bytes.insert(legacy.bytes.end(), cells, cells + PATTERN_BYTES);
    legacy.u8(0).u8(0);  // legacy samples 1 and 2 unnamed, 6 to 255 too
    legacy.name("a sample with a very long name indeed").u32(2).u8(0).raw({1, 2});
    legacy.name("empty").u32(0).u8(0);
    legacy.name("five").u32(1).u8(1).raw({9});
    legacy.zeros(250);
    // Pattern 0 uses instrument 7, so the new instruments are 8 and 9; a name is cut to 30.
    expectTestData("song/legacy-samples.json", dumpOf(legacy.bytes));
    // With all 255 slots taken, the samples are dropped.
    FileBytes full = FileBytes().songHeader(3, 255, 1, 0);
    for (int slot = 1; slot <= 255; ++slot) full.name("x").envelope(0, {1}).envelope(0, {0}).envelope(0, {0});
    full.u8(0).u8(0).name("lost").u32(4).u8(0).raw({1, 2, 3, 4}).zeros(253);
    expectTestData("song/crowded.json", dumpOf(full.bytes));
    // 255 values, an unknown type, colour 40, loop point 255, a sample size past the file's end.
    FileBytes f = FileBytes().songHeader(11, 2, 1, 0).u8(0);
    f.name("long").u8(255).u8(255);
    for (int i = 0; i < 255; ++i) f.u8(i);
    f.envelope(0, {70}).envelope(0, {32}).envelope(0, {127}).u8(200);
    f.sample({}, false).sample({}, false).u8(40);
    f.name("big").envelope(0, {1}).envelope(0, {64}).envelope(0, {32}).envelope(0, {127});
    f.u8(INST_DPCM).u32(0).u32(0xFFFFFFFF).u8(1).raw({1, 2, 3});
    // Only the file's 3 bytes of the sample; the rest of the count of 255 values skipped.
    expectTestData("song/out-of-range.json", dumpOf(f.bytes));
    // Old-scale values that would pass 255 stop at the editor's largest, and stay when saved.
    FileBytes old = FileBytes().songHeader(1, 1, 1, 0).name("").envelope(0, {15, 16, 255});
    old.envelope(0, {191, 192, 255}).envelope(0, {0, 3, 4, 255}).u8(0).zeros(255);
    expectTestData("song/old-scale.json", dumpOf(old.bytes));
    auto converted = load(old.bytes);
    EXPECT_TRUE(load(serializeSong(*converted))->instruments[1] == converted->instruments[1]);
    // 70 orders (one naming pattern 200) and 66 patterns, then a legacy sample after them.
    FileBytes big = FileBytes().songHeader(7, 0, 70, 66).u8(0);
    for (int o = 0; o < 70; ++o) big.u8(o == 1 ? 200 : o);
    for (int p = 0; p < 66; ++p) big.u8(p + 1).zeros(PATTERN_BYTES - 1);
    big.name("s").u32(1).u8(0).u8(0x33).zeros(254);
    expectTestData("song/many-orders.json", dumpOf(big.bytes));
}

TEST(SongFile, FailedSaveKeepsThePreviousFile) {
    const fs::path dir = scratch() / "save";
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
    EXPECT_EQ(std::make_tuple(saved, fs::file_size(path)), std::make_tuple(false, small));

    EXPECT_FALSE(saveSong(*song, (dir / "occupied").string()));  // cannot be replaced
    // Reading a folder, a pipe or a missing file answers false instead of throwing or blocking.
    mkfifo((dir / "pipe").c_str(), 0600);
    RecordingHooks hooks;
    std::vector<uint8_t> bytes;
    for (const char* name : {"occupied", "pipe", "absent.zcm"}) {
        EXPECT_FALSE(readWholeFile((dir / name).string(), bytes)) << name;
        EXPECT_FALSE(loadSongFile(*song, (dir / name).string(), hooks)) << name;
    }
    EXPECT_FALSE(saveSong(*song, (dir / "missing" / "song.zcm").string()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);  // no temporaries
    ASSERT_TRUE(saveSong(*song, path));
    EXPECT_GT(fs::file_size(path), small);
    fs::remove_all(dir);
}

// What the writer keeps: cells not empty but for the non-musical nibble, instruments up to the last used.
TEST(SongModel, EmptinessAndTheLastUsedInstrument) {
    auto song = std::make_unique<Song>();
    EXPECT_TRUE(isEmptyCell(PatternCell{0, 0, 0, 0xF0}));
    for (PatternCell cell : {PatternCell{1, 0, 0, 0}, PatternCell{0, 1, 0, 0}, PatternCell{0, 0, 0x10, 0},
                             PatternCell{0, 0, 0, 0x01}})
        EXPECT_FALSE(isEmptyCell(cell));
    for (auto& channel : song->patterns[10].cells)
        for (auto& cell : channel) cell.param = 0xA0;
    EXPECT_EQ(usedPatternCount(*song), 0);
    song->patterns[10].at(CH_DPCM, 63).param = 0xA1;
    EXPECT_EQ(usedPatternCount(*song), 11);
    // The effect parameter is split over bytes 2 and 3; setting it keeps byte 3's high nibble.
    PatternCell cell{0, 0, 0, 0x70};
    cell.setEffect(0xF, 0xA5);
    EXPECT_EQ(cell, (PatternCell{0, 0, 0xAF, 0x75}));
    EXPECT_EQ(std::make_tuple(cell.effect(), cell.parameter()), std::make_tuple(0xF, 0xA5));
    EXPECT_TRUE(isDefaultInstrument(song->instruments[1]));
    song->instruments[200].dpcm.assign(&cell.note, 1, true);  // sample only: not counted
    song->instruments[190].type = INST_PCM_SAW;               // type only: not counted
    song->instrumentColours[180] = 5;                         // colour only: not counted
    song->patterns[7].at(0, 0).instrument = 170;              // pattern 7 is in no order
    song->orders.entries[1] = 7;                              // past the order count
    EXPECT_EQ(lastUsedInstrument(*song), 0);
    song->orders.count = 2;
    EXPECT_EQ(lastUsedInstrument(*song), 170);
    song->instruments[171].envelopes[ENV_FINETUNE].values[5] = 3;  // behind the marker still counts
    EXPECT_EQ(lastUsedInstrument(*song), 171);
    song->instrumentNames[172] = "x";
    EXPECT_EQ(lastUsedInstrument(*song), 172);
    song->patterns[7].at(CH_DPCM, 63).instrument = 255;
    EXPECT_EQ(lastUsedInstrument(*song), 255);
    // A reset keeps the colour and drops samples, name and envelopes.
    song->instrumentNames[200] = "gone";
    song->instrumentColours[200] = 4;
    song->resetInstrument(200);
    EXPECT_TRUE(song->instruments[200].dpcm.empty() && !song->instruments[200].dpcm.loop);
    EXPECT_EQ(std::tie(song->instrumentNames[200], song->instrumentColours[200]), std::make_tuple("", 4));
}

// Each version loads to the instrument in tests/data/song/instrument-version-N.json; into a slot
// that holds something, what the version has no place for stays, and the colour is never read.
TEST(InstrumentFile, EveryVersionLoadsAndSavedOnesLoadBack) {
    for (int version = 0; version <= 4; ++version) {
        FileBytes f = instrumentOfVersion(version);
        expectTestData("song/instrument-version-" + std::to_string(version) + ".json", dumpOf(f.bytes));
        auto song = loadOverFullSong(f, true);
        const Instrument& inst = song->instruments[4];
        EXPECT_EQ(song->instrumentColours[4], 4);
        EXPECT_EQ(inst.type, version >= 3 ? INST_PCM : INST_PCM_SAW) << version;
        EXPECT_EQ(inst.pcm.size == 13 && inst.pcm.loop, version < 3) << version;
        EXPECT_EQ(inst.dpcm.size, version >= 4 ? 0u : 296u) << version;
    }
    // No current instrument: nothing is loaded or saved.
    auto song = loadOverFullSong(instrumentOfVersion(4), false, 0);
    EXPECT_TRUE(song->instrumentNames[0].empty());
    const std::string path = (scratch() / "slot0.zci").string(), saved = (scratch() / "saved.zci").string();
    EXPECT_FALSE(saveInstrument(*song, 0, path));
    EXPECT_FALSE(fs::exists(path));
    RecordingHooks recording;
    EXPECT_FALSE(loadInstrument(*song, 1, path, recording));
    // Saved and loaded into another song, all comes back but the colour.
    ASSERT_TRUE(saveInstrument(*song, 8, saved));  // a looping PCM sample, a one-shot DPCM one
    std::vector<uint8_t> bytes = serializeInstrument(*song, 8);
    EXPECT_EQ(std::tie(bytes[16], bytes.back()),
              std::make_tuple(4, song->instrumentColours[8]));  // colour last
    auto other = std::make_unique<Song>();
    other->instrumentColours[1] = 2;
    ASSERT_TRUE(loadInstrument(*other, 1, saved, recording));
    EXPECT_TRUE(other->instruments[1] == song->instruments[8]);
    EXPECT_EQ(std::tie(other->instrumentNames[1], other->instrumentColours[1]),
              std::make_tuple(song->instrumentNames[8], 2));
    EXPECT_EQ(recording.cursor, int(song->instrumentNames[8].size()));
}

// Each paste of song/instrument-paste.in, the instrument it gives and its copy, against
// instrument-paste.txt. Sample instruments have no text form: copying one leaves the text alone.
TEST(InstrumentText, PastesGiveTheirInstruments) {
    Instrument sampled;
    std::string text = "untouched";
    for (InstrumentType type : {INST_PCM, INST_DPCM}) {
        sampled.type = type;
        EXPECT_FALSE(instrumentToText(sampled, text) || text != "untouched") << type;
    }
    std::ifstream in(BF_SOURCE_DIR "/tests/data/song/instrument-paste.in");
    std::ostringstream out;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("#")) continue;
        Instrument inst;
        if (line.starts_with("over|")) {
            line.erase(0, 5);
            inst.type = INST_PCM_SAW;
            setEnvelope(inst.envelopes[ENV_VOLUME], {1, 2, 3}, 2);
            setEnvelope(inst.envelopes[ENV_FINETUNE], {100, 150}, 1);
            inst.pcm.assign(std::vector<uint8_t>{5, 6}.data(), 2, true);
        }
        out << line << "\n";
        instrumentFromText(unescapeBytes(line), inst);
        out << "  type " << inst.type << ", pcm " << inst.pcm.size << (inst.pcm.loop ? " looping" : "")
            << "\n";
        for (const Envelope& e : inst.envelopes) {
            out << "  loop " << e.loopPoint << ":";
            for (int i = 0; i <= MAX_ENVELOPE_VALUES; ++i) out << " " << e.values[i];
            out << "\n";
        }
        // The copy as the editor shows it, which pastes back to the same envelopes.
        std::string copy;
        ASSERT_TRUE(instrumentToText(inst, copy)) << line;
        out << "  copy " << escapeBytes(copy) << "\n";
        Instrument back;
        instrumentFromText(copy, back);
        EXPECT_TRUE(back.type == inst.type && std::ranges::equal(back.envelopes, inst.envelopes)) << line;
    }
    expectTestData("song/instrument-paste.txt", out.str());
}

// Sounds of one level ("NAME RATE FRAMES") and the length they load to, in song/pcm_lengths.txt;
// paths and the names they give, in song/sample_names.txt.
TEST_F(SampleImport, LengthFollowsRateInEveryFormat) {
    expectTable("song/sample_names", [](const std::string& path) { return sampleNameFromPath(path); });
    expectTable("song/pcm_lengths", [&](const std::string& c) {
        std::string name;
        int rate = 0, frames = 0;
        std::istringstream(c) >> name >> rate >> frames;
        const bool ogg = name.ends_with(".ogg");
        const int format =
            ogg ? SF_FORMAT_OGG | SF_FORMAT_VORBIS
                : (name.ends_with(".flac") ? SF_FORMAT_FLAC : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
        song->resetInstrument(5);
        const std::string path = writeSound(name, format, rate, 1, std::vector<double>(frames, 0.5));
        if (!loadPcmSample(*song, 5, path)) return std::string("refused");
        const SampleSlot& got = song->instruments[5].pcm;
        EXPECT_TRUE(song->instruments[5].type == INST_PCM && song->instrumentNames[5] == name) << c;
        for (uint8_t level : bytesOf(got)) EXPECT_NEAR(level, 95, 1) << c;  // trunc(0.5 * 63 + 64)
        // The same file's bytes read from memory give the same sample and name.
        const std::string bytes = readFile(path);
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        ImportedSample in, cut;
        EXPECT_TRUE(readPcmBytes(data, bytes.size(), path, in) && in.sample == got && in.name == name) << c;
        // Cut short, the bytes are refused or read as far as they go, never past their end (not on
        // Ogg: the system's Vorbis decoder leaks on a stream cut short).
        EXPECT_TRUE(ogg || !readPcmBytes(data, bytes.size() / 2, path, cut) || cut.sample.size <= got.size)
            << c;
        return std::to_string(got.size) + " bytes";
    });
    ImportedSample none;
    EXPECT_FALSE(readPcmBytes(nullptr, 0, "x.wav", none));
    const uint8_t dmc[3] = {0x55, 0xAA, 0x0F};
    EXPECT_TRUE(readDpcmBytes(dmc, sizeof dmc, "/a/b.dmc", none));
    EXPECT_EQ(std::tie(none.type, none.name), std::make_tuple(INST_DPCM, "b.dmc"));
    EXPECT_EQ(bytesOf(none.sample), std::vector<uint8_t>(dmc, dmc + 3));
    EXPECT_FALSE(readDpcmBytes(dmc, MAX_IMPORTED_SAMPLE_BYTES + 1u, "big.dmc", none));  // refused unread
}

TEST_F(SampleImport, TakesNearestEarlierFrameAndAveragesChannels) {
    // A ramp that makes every frame's level tell its index, each half-way between two levels so
    // that float storage cannot tip the truncation.
    const auto loaded = [&](int bits, int rate, int channels, const std::vector<double>& v) {
        EXPECT_TRUE(loadPcmSample(*song, 2, writeSound("n.wav", SF_FORMAT_WAV | bits, rate, channels, v)));
        return bytesOf(song->instruments[2].pcm);
    };
    const int frames = 2000;
    std::vector<double> items(frames);
    for (int i = 0; i < frames; ++i) items[i] = ((i % 126) - 62.5) / 63.0;
    for (int rate : {7801, 44100, 3000}) {
        SCOPED_TRACE(rate);
        const std::vector<uint8_t> got = loaded(SF_FORMAT_FLOAT, rate, 1, items);
        ASSERT_EQ(got.size(), size_t(frames / (rate / 7801.0)));
        double p = 0.0;
        for (size_t k = 0; k < got.size(); ++k, p += rate / 7801.0)
            ASSERT_EQ(got[k], uint8_t(int(items[int(p)] * 63.0 + 64.0))) << k;
    }
    // Channels are averaged; full scale gives the ends.
    EXPECT_EQ(
        loaded(SF_FORMAT_FLOAT, 7801, 2, {1.0, 1.0, -1.0, -1.0, 1.0, -0.5, 0.0, 0.0, 2.0, 3.0, NAN, 0.5}),
        (std::vector<uint8_t>{127, 1, 79, 64, 127, 64}));
    // 16-bit: the most negative value is exactly -1.0.
    EXPECT_EQ(loaded(SF_FORMAT_PCM_16, 7801, 2, {-1.0, -1.0, 0.0, 0.0}), (std::vector<uint8_t>{1, 64}));
    // Many channels: the average of 64 channels of which one is full scale.
    std::vector<double> wide(64 * 10, 0.0);
    for (int f = 0; f < 10; ++f) wide[f * 64 + 63] = 1.0;
    EXPECT_EQ(loaded(SF_FORMAT_FLOAT, 7801, 64, wide), std::vector<uint8_t>(10, 64));  // trunc(63 / 64 + 64)
}

// Bad input changes nothing. A DPCM file's bytes are taken as they are; the other sample, the
// envelopes and (but for the type) the instrument stay.
TEST_F(SampleImport, BadInputChangesNothingAndDpcmBytesAreTakenAsTheyAre) {
    fillEverything(*song);  // slot 6: a PCM instrument with both samples looping
    Instrument& inst = song->instruments[6];
    const Instrument before = inst;

    std::string text = writeFile(dir / "notes.txt", {'h', 'e', 'l', 'l', 'o'});
    std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string huge = writeFile(dir / "huge.dmc", {});
    fs::resize_file(huge, MAX_IMPORTED_SAMPLE_BYTES + 1u);  // sparse
    std::string good = writeFile(dir / "good.dmc", {1});
    for (const std::string& path : {(dir / "missing.wav").string(), dir.string(), fifo}) {
        EXPECT_FALSE(loadPcmSample(*song, 6, path)) << path;
        EXPECT_FALSE(loadDpcmSample(*song, 6, path)) << path;
    }
    EXPECT_FALSE(loadPcmSample(*song, 6, text));
    EXPECT_FALSE(loadDpcmSample(*song, 6, huge));
    EXPECT_FALSE(loadDpcmSample(*song, 0, good)) << "slot 0 is no instrument";
    EXPECT_FALSE(loadDpcmSample(*song, 256, good));
    EXPECT_TRUE(inst == before && song->instrumentNames[6] == "Instrument 6");

    ASSERT_TRUE(loadDpcmSample(*song, 6, writeFile(dir / "snare.dmc", {0x00, 0xFF, 0x55, 0xAA})));
    EXPECT_EQ(std::tie(inst.type, inst.dpcm.loop, song->instrumentNames[6]),
              std::make_tuple(INST_DPCM, false, "snare.dmc"));
    EXPECT_EQ(bytesOf(inst.dpcm), (std::vector<uint8_t>{0x00, 0xFF, 0x55, 0xAA}));
    EXPECT_TRUE(inst.pcm == before.pcm && std::ranges::equal(inst.envelopes, before.envelopes));
    // The replaced buffer leaves the song with the import, to be released outside the lock.
    ImportedSample imported;
    ASSERT_TRUE(readDpcmSample(good, imported));
    ASSERT_TRUE(applyImportedSample(*song, 6, imported));
    EXPECT_EQ(std::tie(imported.sample.size, inst.dpcm.size), std::make_tuple(4u, 1u));
    ASSERT_TRUE(
        loadPcmSample(*song, 6, writeSound("x.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7801, 1, {0.0})));
    EXPECT_EQ(std::tie(inst.type, inst.dpcm.size), std::make_tuple(INST_PCM, 1u));
    ASSERT_TRUE(loadDpcmSample(*song, 6, writeFile(dir / "empty.dmc", {})));
    EXPECT_EQ(std::tie(inst.type, inst.dpcm.size, song->instrumentNames[6]),
              std::make_tuple(INST_DPCM, 0u, "empty.dmc"));
}

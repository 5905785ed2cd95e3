#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "song/SongFile.h"
#include "tests/song/FileBytes.h"

namespace {

struct RecordingHooks : SongLoadHooks {
    int current = 0;
    std::vector<std::string> calls;
    std::vector<int> cursors;
    void stopPlayback() override { calls.push_back("stop"); }
    void requestReconfigure() override { calls.push_back("reconfigure"); }
    void resetPositions() override { calls.push_back("positions"); }
    int currentInstrument() const override { return current; }
    void setNameCursor(int position) override { cursors.push_back(position); }
    void songLoaded() override { calls.push_back("loaded"); }
};

std::unique_ptr<Song> load(const FileBytes& file, int* version = nullptr) {
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    EXPECT_TRUE(loadSong(*song, file.data(), file.size(), hooks, version));
    return song;
}

std::vector<uint8_t> bytesOf(const Pattern& p) {
    auto b = reinterpret_cast<const uint8_t*>(p.cells);
    return {b, b + PATTERN_BYTES};
}

std::vector<int> envelopeValues(const Envelope& e) { return {e.values, e.values + e.length()}; }

// A song with every field set to something other than its default.
void fillEverything(Song& song) {
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0xFF; };
    song.ntsc = true;
    song.speed = 3;
    song.tempo = 200;
    song.orders.count = MAX_ORDERS;
    for (int o = 0; o < MAX_ORDERS; ++o) song.orders.entries[o] = (o * 7) % MAX_PATTERNS;
    for (auto& p : song.patterns)
        for (auto& channel : p.cells)
            for (auto& cell : channel)
                cell = {uint8_t(next()), uint8_t(next()), uint8_t(next()), uint8_t(next())};
    song.patterns[63].at(4, 63) = {1, 2, 3, 0xF4};  // high nibble of byte 3 kept as stored
    for (int slot = 1; slot < INSTRUMENT_SLOTS; ++slot) {
        Instrument& inst = song.instruments[slot];
        inst.type = InstrumentType(slot % INSTRUMENT_TYPE_COUNT);
        for (auto& env : inst.envelopes) {
            for (int i = 0; i < MAX_ENVELOPE_VALUES; ++i) env.values[i] = int32_t(next());
            env.values[MAX_ENVELOPE_VALUES] = END_MARKER;
            env.loopPoint = int32_t(next() % MAX_ENVELOPE_VALUES);
        }
        std::vector<uint8_t> pcm(size_t(slot) * 3 + 1), dpcm(size_t(300 - slot));
        for (auto& b : pcm) b = uint8_t(next());
        for (auto& b : dpcm) b = uint8_t(next());
        inst.pcm.assign(pcm.data(), uint32_t(pcm.size()), slot % 2 == 0);
        inst.dpcm.assign(dpcm.data(), uint32_t(dpcm.size()), slot % 3 == 0);
        song.instrumentNames[slot] = "Instrument number " + std::to_string(slot) + " !~";
        song.instrumentColours[slot] = slot % COLOUR_COUNT;
    }
}

void expectSameSong(const Song& a, const Song& b) {
    EXPECT_EQ(a.ntsc, b.ntsc);
    ASSERT_EQ(a.orders.count, b.orders.count);
    for (int o = 0; o < a.orders.count; ++o)
        EXPECT_EQ(a.orders.entries[o], b.orders.entries[o]) << "order " << o;
    for (int p = 0; p < MAX_PATTERNS; ++p)
        EXPECT_EQ(bytesOf(a.patterns[p]), bytesOf(b.patterns[p])) << "pattern " << p;
    for (int slot = 1; slot < INSTRUMENT_SLOTS; ++slot) {
        EXPECT_TRUE(a.instruments[slot] == b.instruments[slot]) << "instrument " << slot;
        EXPECT_EQ(a.instrumentNames[slot], b.instrumentNames[slot]);
        EXPECT_EQ(a.instrumentColours[slot], b.instrumentColours[slot]);
    }
}

// One file of the given version: one instrument, orders {1, 0}, two patterns, and for versions
// 1-7 a legacy sample 2 that the DPCM column of pattern 1 plays as note 2.
FileBytes fileOfVersion(int version) {
    FileBytes f;
    f.songHeader(version, 1, 2, 2);
    if (version >= 4) f.u8(1);
    f.name("ab").envelope(0, {15}).envelope(1, {0}).envelope(0, {1});
    if (version >= 5) f.envelope(0, {130});
    if (version >= 8) f.u8(INST_PCM_PULSE).sample({9, 8}, true);
    if (version >= 9) f.sample({7, 6, 5}, false);
    if (version >= 10) f.u8(5);
    f.raw({1, 0});
    const int channels = version == 0 ? 4 : 5;
    for (int p = 0; p < 2; ++p) {
        for (int ch = 0; ch < channels; ++ch) {
            for (int row = 0; row < 64; ++row) {
                bool melody = p == 1 && ch == 0 && row == 5, sample = p == 1 && ch == 4 && row == 0;
                if (version >= 7) {
                    if (melody)
                        f.raw({37, 1, 0x42, 0x03});
                    else if (sample)
                        f.raw({2, 0, 0, 0});
                    else
                        f.zeros(4);
                } else {
                    if (melody)
                        f.raw({37, 0x21, 0x34});
                    else if (sample)
                        f.raw({2, 0, 0});
                    else
                        f.zeros(3);
                }
            }
        }
    }
    if (version >= 1 && version <= 7) {
        f.u8(0).name("snare");  // legacy sample 1 empty, 2 named "snare"
        if (version < 3)
            f.u16(3);
        else
            f.u32(3);
        f.u8(1).raw({0x40, 0x50, 0x60});
        f.zeros(253);
    }
    return f;
}

}  // namespace

TEST(SongFile, RoundTripKeepsEveryField) {
    auto song = std::make_unique<Song>();
    fillEverything(*song);
    std::vector<uint8_t> bytes = serializeSong(*song);
    EXPECT_EQ(bytes[16], 11);
    EXPECT_EQ(bytes[17], 255);
    EXPECT_EQ(bytes[18], 64);
    EXPECT_EQ(bytes[19], 64);

    auto loaded = std::make_unique<Song>();
    RecordingHooks hooks;
    int version = -1;
    ASSERT_TRUE(loadSong(*loaded, bytes.data(), bytes.size(), hooks, &version));
    EXPECT_EQ(version, 11);
    expectSameSong(*song, *loaded);
    EXPECT_EQ(loaded->speed, 6);
    EXPECT_EQ(loaded->tempo, 125);
    EXPECT_EQ(serializeSong(*loaded), bytes);

    // The same through the disk.
    std::string path = testing::TempDir() + "/roundtrip.zcm";
    ASSERT_TRUE(saveSong(*song, path));
    auto fromDisk = std::make_unique<Song>();
    ASSERT_TRUE(loadSongFile(*fromDisk, path, hooks));
    expectSameSong(*song, *fromDisk);
    std::filesystem::remove(path);
}

TEST(SongFile, SavesOnlyWhatIsUsed) {
    auto song = std::make_unique<Song>();
    // All patterns empty apart from a non-musical nibble: no pattern bytes at all.
    song->patterns[3].at(1, 1).param = 0xF0;
    // Slot 9 has a sample but default envelopes, no name and is used nowhere: dropped.
    uint8_t b[2] = {1, 2};
    song->instruments[9].dpcm.assign(b, 2, false);
    // Slot 4 is only used by a pattern no order lists: dropped too.
    song->patterns[5].at(0, 0).instrument = 4;
    song->instrumentNames[2] = "named";
    std::vector<uint8_t> bytes = serializeSong(*song);
    EXPECT_EQ(bytes[17], 2);  // N
    EXPECT_EQ(bytes[19], 6);  // pattern 5 has a note-less cell with an instrument
    song->patterns[5].clear();
    bytes = serializeSong(*song);
    EXPECT_EQ(bytes[19], 0);
    auto loaded = std::make_unique<Song>();
    SongLoadHooks hooks;
    ASSERT_TRUE(loadSong(*loaded, bytes.data(), bytes.size(), hooks));
    EXPECT_TRUE(loaded->patterns[3].isEmpty());
    EXPECT_EQ(bytesOf(loaded->patterns[3]), std::vector<uint8_t>(PATTERN_BYTES, 0));
    EXPECT_EQ(loaded->instrumentNames[2], "named");
    EXPECT_TRUE(loaded->instruments[9].dpcm.empty());
}

TEST(SongFile, EveryVersionLoadsToTheCurrentModel) {
    for (int version = 0; version <= 11; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        int seen = -1;
        auto song = load(fileOfVersion(version), &seen);
        EXPECT_EQ(seen, version);
        const Instrument& inst = song->instruments[1];
        EXPECT_EQ(song->instrumentNames[1], "ab");
        EXPECT_EQ(envelopeValues(inst.envelopes[ENV_VOLUME]), std::vector<int>{version < 6 ? 240 : 15});
        EXPECT_EQ(envelopeValues(inst.envelopes[ENV_NOTE]), std::vector<int>{version < 2 ? 64 : 0});
        EXPECT_EQ(inst.envelopes[ENV_NOTE].loopPoint, 1);
        EXPECT_EQ(envelopeValues(inst.envelopes[ENV_DUTY]), std::vector<int>{version < 6 ? 64 : 1});
        EXPECT_EQ(envelopeValues(inst.envelopes[ENV_FINETUNE]), std::vector<int>{version >= 5 ? 130 : 127});
        EXPECT_EQ(inst.type, version >= 8 ? INST_PCM_PULSE : INST_NORMAL);
        EXPECT_EQ(inst.pcm.size, version >= 8 ? 2u : 0u);
        EXPECT_EQ(inst.pcm.loop, version >= 8);
        EXPECT_EQ(inst.dpcm.size, version >= 9 ? 3u : 0u);
        EXPECT_EQ(song->instrumentColours[1], version >= 10 ? 5 : 0);
        EXPECT_EQ(song->ntsc, version >= 4);
        EXPECT_EQ(song->orders.count, 2);
        EXPECT_EQ(song->orders.entries[0], 1);
        EXPECT_EQ(song->speed, 6);
        EXPECT_EQ(song->tempo, 125);
        EXPECT_EQ(song->patterns[1].at(0, 5), (PatternCell{37, 1, 0x42, 0x03}));
        EXPECT_EQ(usedPatternCount(*song), 2);

        const PatternCell& dpcm = song->patterns[1].at(CH_DPCM, 0);
        if (version == 0) {
            EXPECT_EQ(dpcm, PatternCell{});  // no DPCM column in version 0
        } else if (version <= 7) {
            EXPECT_EQ(dpcm, (PatternCell{37, 2, 0, 0}));
            EXPECT_EQ(song->instrumentNames[2], "PCM: snare");
            EXPECT_EQ(song->instruments[2].type, INST_PCM);
            EXPECT_EQ(song->instruments[2].pcm.size, 3u);
            EXPECT_TRUE(song->instruments[2].pcm.loop);
            EXPECT_EQ(song->instruments[2].pcm.data[2], 0x60);
            EXPECT_EQ(lastUsedInstrument(*song), 2);
        } else {
            EXPECT_EQ(dpcm, (PatternCell{2, 0, 0, 0}));
            EXPECT_EQ(lastUsedInstrument(*song), 1);
        }
    }
}

TEST(SongFile, LegacySamplesBecomePcmInstruments) {
    FileBytes f;
    f.songHeader(7, 0, 1, 1).u8(0).u8(0);
    Pattern p;
    p.clear();
    p.at(CH_DPCM, 0) = {3, 0, 0, 0x50};  // high nibble of byte 3 does not count: converted
    p.at(CH_DPCM, 1) = {3, 7, 0, 0};     // has an instrument: stays
    p.at(CH_DPCM, 2) = {3, 0, 0x01, 0};  // has an effect: stays
    p.at(CH_DPCM, 3) = {3, 0, 0, 0x01};  // has a parameter: stays
    p.at(CH_PULSE1, 4) = {3, 0, 0, 0};   // not the DPCM column: stays
    p.at(CH_DPCM, 5) = {5, 0, 0, 0};
    p.at(CH_DPCM, 6) = {4, 0, 0, 0};  // sample 4 has a name but no data: stays
    f.bytes.insert(f.bytes.end(), reinterpret_cast<uint8_t*>(p.cells),
                   reinterpret_cast<uint8_t*>(p.cells) + PATTERN_BYTES);
    for (int j = 1; j <= 255; ++j) {
        if (j == 3)
            f.name("a sample with a very long name indeed").u32(2).u8(0).raw({1, 2});
        else if (j == 4)
            f.name("empty").u32(0).u8(0);
        else if (j == 5)
            f.name("five").u32(1).u8(1).raw({9});
        else
            f.u8(0);
    }
    auto song = load(f);
    // Pattern 0 uses instrument 7, so the new instruments start at slot 8, in sample order.
    EXPECT_EQ(song->patterns[0].at(CH_DPCM, 0), (PatternCell{37, 8, 0, 0x50}));
    EXPECT_EQ(song->patterns[0].at(CH_DPCM, 1), (PatternCell{3, 7, 0, 0}));
    EXPECT_EQ(song->patterns[0].at(CH_DPCM, 2), (PatternCell{3, 0, 1, 0}));
    EXPECT_EQ(song->patterns[0].at(CH_DPCM, 3), (PatternCell{3, 0, 0, 1}));
    EXPECT_EQ(song->patterns[0].at(CH_PULSE1, 4), (PatternCell{3, 0, 0, 0}));
    EXPECT_EQ(song->patterns[0].at(CH_DPCM, 5), (PatternCell{37, 9, 0, 0}));
    EXPECT_EQ(song->patterns[0].at(CH_DPCM, 6), (PatternCell{4, 0, 0, 0}));
    EXPECT_EQ(song->instrumentNames[8], "PCM: a sample with a very long");
    EXPECT_EQ(song->instrumentNames[8].size(), size_t(MAX_NAME_LENGTH));
    EXPECT_FALSE(song->instruments[8].pcm.loop);
    EXPECT_EQ(song->instrumentNames[9], "PCM: five");
    EXPECT_TRUE(song->instruments[9].pcm.loop);
    EXPECT_TRUE(song->instrumentNames[10].empty());

    // With all 255 slots taken the samples are dropped.
    FileBytes full;
    full.songHeader(3, 255, 1, 0);
    for (int slot = 1; slot <= 255; ++slot) full.name("x").envelope(0, {1}).envelope(0, {0}).envelope(0, {0});
    full.u8(0).u8(0).name("lost").u32(4).u8(0).raw({1, 2, 3, 4}).zeros(253);
    auto crowded = load(full);
    EXPECT_EQ(crowded->instrumentNames[255], "x");
    EXPECT_EQ(crowded->instruments[255].type, INST_NORMAL);
}

TEST(SongFile, RefusedFilesLeaveTheSongAlone) {
    std::vector<FileBytes> bad(5);
    bad[0].songHeader(12, 0, 1, 0).u8(0);
    bad[1].songHeader(11, 0, 0, 0).u8(0);  // no orders
    bad[2].text("ZephyrcantorTunf").raw({11, 0, 1, 0, 0});
    bad[3].songHeader(11, 0, 1, 0);
    bad[3].bytes.pop_back();  // 19 bytes
    bad[4].text("ZephyrcantorInst").raw({4, 0, 1, 0, 0});
    for (const auto& f : bad) {
        auto song = std::make_unique<Song>();
        song->instrumentNames[1] = "keep";
        song->speed = 3;
        RecordingHooks hooks;
        EXPECT_FALSE(loadSong(*song, f.data(), f.size(), hooks));
        EXPECT_EQ(hooks.calls, std::vector<std::string>{"stop"});
        EXPECT_EQ(song->instrumentNames[1], "keep");
        EXPECT_EQ(song->speed, 3);
    }
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    EXPECT_FALSE(loadSong(*song, nullptr, 0, hooks));
    EXPECT_FALSE(loadSongFile(*song, testing::TempDir() + "/does/not/exist.zcm", hooks));
}

TEST(SongFile, LoadTellsPlayerAndEditors) {
    FileBytes f = fileOfVersion(11);
    auto song = std::make_unique<Song>();
    RecordingHooks hooks;
    hooks.current = 1;
    ASSERT_TRUE(loadSong(*song, f.data(), f.size(), hooks));
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"stop", "reconfigure", "positions", "loaded"}));
    EXPECT_EQ(hooks.cursors, std::vector<int>{2});
}

TEST(SongFile, OutOfRangeInputIsClampedNotTrusted) {
    // Envelope counts above 250, huge sample sizes, type/colour/loop point out of range.
    FileBytes f;
    f.songHeader(11, 2, 1, 0).u8(0);
    f.name("long").u8(255).u8(255);
    for (int i = 0; i < 255; ++i) f.u8(i);
    f.envelope(0, {70}).envelope(0, {32}).envelope(0, {127});
    f.u8(200).sample({}, false).sample({}, false).u8(40);
    f.name("big").envelope(0, {1}).envelope(0, {64}).envelope(0, {32}).envelope(0, {127});
    f.u8(INST_DPCM).u32(0).u32(0xFFFFFFFF).u8(1).raw({1, 2, 3});
    auto song = load(f);
    const Instrument& first = song->instruments[1];
    EXPECT_EQ(first.envelopes[ENV_VOLUME].length(), MAX_ENVELOPE_VALUES);
    EXPECT_EQ(first.envelopes[ENV_VOLUME].values[249], 249);
    EXPECT_EQ(first.envelopes[ENV_VOLUME].loopPoint, MAX_ENVELOPE_VALUES);
    EXPECT_EQ(envelopeValues(first.envelopes[ENV_NOTE]), std::vector<int>{70});  // rest of the count skipped
    EXPECT_EQ(first.type, INST_NORMAL);
    EXPECT_EQ(song->instrumentColours[1], 40 % COLOUR_COUNT);
    const Instrument& second = song->instruments[2];
    EXPECT_EQ(second.type, INST_DPCM);
    EXPECT_EQ(second.dpcm.size, 3u);  // only what the file holds
    EXPECT_TRUE(second.dpcm.loop);

    // Old-value conversions that would pass 255 stop at the editor's largest value.
    FileBytes old;
    old.songHeader(1, 1, 1, 0)
        .name("")
        .envelope(0, {15, 16, 255})
        .envelope(0, {191, 192, 255})
        .envelope(0, {0, 3, 4, 255});
    old.u8(0).zeros(255);
    auto converted = load(old);
    const Instrument& inst = converted->instruments[1];
    EXPECT_EQ(envelopeValues(inst.envelopes[ENV_VOLUME]), (std::vector<int>{240, 240, 240}));
    EXPECT_EQ(envelopeValues(inst.envelopes[ENV_NOTE]), (std::vector<int>{255, 254, 254}));
    EXPECT_EQ(envelopeValues(inst.envelopes[ENV_DUTY]), (std::vector<int>{32, 192, 192, 192}));
    std::vector<uint8_t> again = serializeSong(*converted);
    auto reloaded = std::make_unique<Song>();
    SongLoadHooks hooks;
    ASSERT_TRUE(loadSong(*reloaded, again.data(), again.size(), hooks));
    EXPECT_TRUE(reloaded->instruments[1] == inst);
}

TEST(SongFile, OversizedCountsAreClampedWhileTheirBytesAreConsumed) {
    // 70 orders (entries up to 200) and 66 patterns, then a legacy sample after them.
    FileBytes f;
    f.songHeader(7, 0, 70, 66).u8(0);
    for (int o = 0; o < 70; ++o) f.u8(o < 64 ? (o == 1 ? 200 : o) : 99);
    for (int p = 0; p < 66; ++p) {
        f.u8(p + 1);  // first cell of channel 0
        f.zeros(PATTERN_BYTES - 1);
    }
    f.name("s").u32(1).u8(0).u8(0x33).zeros(254);
    auto song = load(f);
    EXPECT_EQ(song->orders.count, MAX_ORDERS);
    EXPECT_EQ(song->orders.entries[0], 0);
    EXPECT_EQ(song->orders.entries[1], MAX_PATTERNS - 1);
    EXPECT_EQ(song->orders.entries[63], 63);
    EXPECT_EQ(song->patterns[63].at(0, 0).note, 64);
    EXPECT_EQ(song->instrumentNames[1], "PCM: s");
    ASSERT_EQ(song->instruments[1].pcm.size, 1u);
    EXPECT_EQ(song->instruments[1].pcm.data[0], 0x33);
}

TEST(SongFile, TruncatedFilesLoadWhatIsThereAndZeroTheRest) {
    auto full = std::make_unique<Song>();
    fillEverything(*full);
    std::vector<uint8_t> bytes = serializeSong(*full);
    auto a = std::make_unique<Song>(), b = std::make_unique<Song>();
    SongLoadHooks hooks;
    // Every cut in the header and the first record, then coarser steps through the file.
    for (size_t cut = 0; cut < bytes.size(); cut += cut < 300 ? 1 : 4999) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + cut);  // exact size, so ASan sees overreads
        bool ok = loadSong(*a, part.data(), part.size(), hooks);
        ASSERT_EQ(ok, cut >= 20) << cut;
        if (!ok) continue;
        ASSERT_TRUE(loadSong(*b, part.data(), part.size(), hooks));
        ASSERT_EQ(serializeSong(*a), serializeSong(*b)) << cut;
    }
    // Cut in the middle of the last pattern: the rest of it reads as zeros.
    std::vector<uint8_t> part(bytes.begin(), bytes.end() - 600);
    ASSERT_TRUE(loadSong(*a, part.data(), part.size(), hooks));
    EXPECT_EQ(a->patterns[62].at(0, 0), full->patterns[62].at(0, 0));
    EXPECT_EQ(a->patterns[63].at(0, 0), full->patterns[63].at(0, 0));
    EXPECT_EQ(a->patterns[63].at(4, 63), PatternCell{});
}

TEST(SongFile, FailedSaveKeepsThePreviousFile) {
    namespace fs = std::filesystem;
    fs::path dir = fs::path(testing::TempDir()) / ("songsave" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string path = (dir / "song.zcm").string();
    auto song = std::make_unique<Song>();
    ASSERT_TRUE(saveSong(*song, path));
    const auto small = fs::file_size(path);

    // A file-size limit makes the write fail part way, as a full disk would.
    fillEverything(*song);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit oldLimit{};
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit limit = oldLimit;
    limit.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    bool saved = saveSong(*song, path);
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(saved);
    EXPECT_EQ(fs::file_size(path), small);

    // A target that cannot be replaced, and a folder that does not exist.
    fs::create_directories(dir / "occupied" / "x");
    EXPECT_FALSE(saveSong(*song, (dir / "occupied").string()));
    EXPECT_FALSE(saveSong(*song, (dir / "missing" / "song.zcm").string()));
    // No temporary files are left behind.
    int entries = 0;
    for (auto& e : fs::directory_iterator(dir)) entries += e.path().filename() != "occupied" ? 1 : 0;
    EXPECT_EQ(entries, 1);

    ASSERT_TRUE(saveSong(*song, path));
    EXPECT_GT(fs::file_size(path), small);
    fs::remove_all(dir);
}

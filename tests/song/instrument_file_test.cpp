#include <gtest/gtest.h>

#include <unistd.h>

#include "song/InstrumentFile.h"
#include "tests/converter/TestData.h"
#include "tests/song/FileBytes.h"

namespace {

// Loads `f` into slot 5 of a song where the slot already holds something, so that what a load
// keeps is visible; `loads` is whether the load must succeed.
std::unique_ptr<Song> loadOverSlot5(const FileBytes& f, bool loads) {
    auto song = std::make_unique<Song>();
    uint8_t pcm[3] = {1, 2, 3}, dpcm[2] = {4, 5};
    song->instruments[5].type = INST_PCM_SAW;
    song->instruments[5].pcm.assign(pcm, 3, true);
    song->instruments[5].dpcm.assign(dpcm, 2, true);
    song->instrumentNames[5] = "before";
    song->instrumentColours[5] = 9;
    SongLoadHooks hooks;
    EXPECT_EQ(loadInstrument(*song, 5, f.data(), f.size(), hooks), loads);
    return song;
}

FileBytes instrumentOfVersion(int version) {
    FileBytes f;
    f.instrumentHeader(version).name("inst").envelope(2, {15, 0}).envelope(0, {70}).envelope(0, {0, 1});
    if (version >= 1) f.envelope(0, {120});
    if (version >= 3) f.u8(INST_PCM).sample({10, 20}, false);
    if (version >= 4) f.sample({}, false).u8(3);  // trailing colour byte is never read
    return f;
}

}  // namespace

// Each version loads to the instrument in tests/data/song/instrument-version-N.json (old volume
// and duty scales, no fine-tune before version 1); into a slot that holds something, what the
// version has no place for stays, and the colour is never read.
TEST(InstrumentFile, EveryVersionLoads) {
    for (int version = 0; version <= 4; ++version) {
        FileBytes f = instrumentOfVersion(version);
        expectTestData("song/instrument-version-" + std::to_string(version) + ".json", dumpOf(f.bytes));
        auto song = loadOverSlot5(f, true);
        const Instrument& inst = song->instruments[5];
        EXPECT_EQ(song->instrumentColours[5], 9);
        EXPECT_EQ(inst.type, version >= 3 ? INST_PCM : INST_PCM_SAW) << version;
        EXPECT_EQ(inst.pcm.size == 3 && inst.pcm.loop, version < 3) << version;
        EXPECT_EQ(inst.dpcm.size, version >= 4 ? 0u : 2u) << version;
    }
}

TEST(InstrumentFile, RefusedFilesLeaveTheSlotAlone) {
    std::vector<FileBytes> bad(4);
    bad[0] = instrumentOfVersion(4);
    bad[0].bytes[16] = 5;
    bad[1].text("ZephyrcantorInst");  // 16 bytes, no version
    bad[2] = instrumentOfVersion(4);
    bad[2].bytes[15] = 'x';
    bad[3].songHeader(4, 0, 1, 0);
    for (const auto& f : bad) {
        auto song = loadOverSlot5(f, false);
        EXPECT_EQ(song->instrumentNames[5], "before");
        EXPECT_EQ(song->instruments[5].type, INST_PCM_SAW);
        // dump reads the last, a song file, as one.
        if (&f != &bad.back()) expectRefused("dump '" + writeFile(scratch() / "bad.zci", f.bytes) + "'");
    }
    // No current instrument: nothing is loaded or saved.
    auto song = std::make_unique<Song>();
    FileBytes good = instrumentOfVersion(4);
    SongLoadHooks hooks;
    EXPECT_FALSE(loadInstrument(*song, 0, good.data(), good.size(), hooks));
    EXPECT_TRUE(song->instrumentNames[0].empty());
    std::string path = testing::TempDir() + "/slot0-" + std::to_string(getpid()) + ".zci";
    std::filesystem::remove(path);
    EXPECT_FALSE(saveInstrument(*song, 0, path));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(loadInstrument(*song, 1, path, hooks));
}

TEST(InstrumentFile, SaveAndLoadRestoresAllButTheColour) {
    auto song = std::make_unique<Song>();
    Instrument& inst = song->instruments[7];
    inst.type = INST_DPCM;
    for (int k = 0; k < ENVELOPE_COUNT; ++k) {
        for (int i = 0; i < MAX_ENVELOPE_VALUES; ++i) inst.envelopes[k].values[i] = (i * (k + 3)) & 0xFF;
        inst.envelopes[k].values[MAX_ENVELOPE_VALUES] = END_MARKER;
        inst.envelopes[k].loopPoint = 17 * k;
    }
    std::vector<uint8_t> pcm(1000, 0x42), dpcm(513, 0x99);
    inst.pcm.assign(pcm.data(), uint32_t(pcm.size()), true);
    inst.dpcm.assign(dpcm.data(), uint32_t(dpcm.size()), false);
    song->instrumentNames[7] = "Saved \"quoted\" name";
    song->instrumentColours[7] = 11;

    std::string path = testing::TempDir() + "/saved" + std::to_string(getpid()) + ".zci";
    ASSERT_TRUE(saveInstrument(*song, 7, path));
    std::vector<uint8_t> bytes = serializeInstrument(*song, 7);
    EXPECT_EQ(bytes[16], 4);
    EXPECT_EQ(bytes.back(), 11);  // the record ends with the colour

    auto other = std::make_unique<Song>();
    other->instrumentColours[3] = 2;
    struct CursorHooks : SongLoadHooks {
        int cursor = -1;
        int currentInstrument() const override { return 3; }
        void setNameCursor(int position) override { cursor = position; }
    } hooks;
    ASSERT_TRUE(loadInstrument(*other, 3, path, hooks));
    EXPECT_TRUE(other->instruments[3] == inst);
    EXPECT_EQ(other->instrumentNames[3], song->instrumentNames[7]);
    EXPECT_EQ(other->instrumentColours[3], 2);
    EXPECT_EQ(hooks.cursor, int(song->instrumentNames[7].size()));
    std::filesystem::remove(path);
}

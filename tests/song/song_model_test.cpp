#include <gtest/gtest.h>

#include "song/Song.h"

TEST(SongModel, EmptinessIgnoresTheNonMusicalNibble) {
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
    EXPECT_EQ(cell.effect(), 0xF);
    EXPECT_EQ(cell.parameter(), 0xA5);
}

TEST(SongModel, LastUsedInstrumentCountsWhatTheWriterMustKeep) {
    auto song = std::make_unique<Song>();
    EXPECT_TRUE(isDefaultInstrument(song->instruments[1]));
    uint8_t bytes[4] = {1, 2, 3, 4};
    song->instruments[200].dpcm.assign(bytes, 4, true);  // sample only: not counted
    song->instruments[190].type = INST_PCM_SAW;          // type only: not counted
    song->instrumentColours[180] = 5;                    // colour only: not counted
    song->patterns[7].at(0, 0).instrument = 170;         // pattern 7 is in no order
    song->orders.entries[1] = 7;  // past the order count
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
    EXPECT_TRUE(song->instruments[200].dpcm.empty());
    EXPECT_FALSE(song->instruments[200].dpcm.loop);
    EXPECT_TRUE(song->instrumentNames[200].empty());
    EXPECT_EQ(song->instrumentColours[200], 4);
}

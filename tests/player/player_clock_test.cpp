// Row clock, order walk, requests and metronome.

#include <gtest/gtest.h>

#include "tests/player/PlayerRig.h"

namespace {

// Frames each of the first `rows` rows lasted.
std::vector<int> rowLengths(PlayerRig& rig, int rows) {
    std::vector<int> lengths;
    for (int count = 1, row = rig.player.currentRow; int(lengths.size()) < rows && count < 1000; ++count) {
        rig.frame();
        if (rig.player.currentRow != row) {
            lengths.push_back(count);
            count = 0;
            row = rig.player.currentRow;
        }
    }
    return lengths;
}

// The row each of the next `rows` rows starts on.
std::vector<int> rowStarts(PlayerRig& rig, int rows) {
    std::vector<int> out;
    for (int i = 0; i < rows * 6; ++i) {
        if (rig.player.frameInRow == 0) out.push_back(rig.player.currentRow);
        rig.frame();
    }
    return out;
}

}  // namespace

TEST(PlayerClock, FramesPerRowFollowTempoAndSpeed) {
    struct Case {
        int tempo, speedEffect, frames;
    };
    // F05 on the first row takes effect from that row's end on.
    for (const Case& c : {Case{125, -1, 6}, Case{150, -1, 5}, Case{125, 0x05, 5}}) {
        PlayerRig rig;
        rig.song.tempo = c.tempo;
        if (c.speedEffect >= 0) rig.put(0, 0, 0, 0, 0, 0xF, c.speedEffect);
        rig.play();
        EXPECT_EQ(rowLengths(rig, 8), std::vector<int>(8, c.frames)) << c.tempo;
        EXPECT_EQ(rig.player.currentOrder, 0);
        EXPECT_EQ(rig.player.currentRow, 8);
    }
    // NTSC rows keep PAL's 120 ms: measured from rendered audio in player_listen_test.
}

TEST(PlayerClock, JumpsAndBreaks) {
    struct Case {
        int effect, param, orders;
        bool patternMode;
        int order, row;
    };
    const Case cases[] = {
        {0xB, 0x10, 3, false, 2, 0},                                 // beyond the order count: the last order
        {0xB, 0x01, 3, false, 1, 0},  {0xD, 0x12, 3, false, 1, 12},  // decimal 12
        {0xD, 0x64, 3, false, 1, 0},                                 // row 64 does not exist
        {0xD, 0x12, 1, false, 0, 12},                                // wraps to order 0
        {0xD, 0x12, 3, true, 0, 12},                                 // pattern mode keeps the order
        {0xB, 0x02, 3, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.effect << " " << c.param);
        PlayerRig rig;
        rig.song.orders.count = c.orders;
        for (int i = 0; i < c.orders; ++i) rig.song.orders.entries[i] = i;
        rig.put(0, 3, 5, 0, 0, c.effect, c.param);
        rig.play(c.patternMode);
        rig.frames(6 * 6);
        EXPECT_EQ(rig.player.currentOrder, c.order);
        EXPECT_EQ(rig.player.currentRow, c.row);
        EXPECT_FALSE(rig.player.endOfSongFlag);
        // A break or jump restarts the accumulator: the next row lasts 6 frames again.
        EXPECT_EQ(rig.player.tempoAccumulator, 0);
    }
}

TEST(PlayerClock, SongEnds) {
    struct Case {
        int row, effect, param, orders, frames;
        bool ended;
        int atRow;
    };
    const Case cases[] = {
        {1, 0xF, 0x00, 1, 6, false, 1},      // speed 0 freezes the row...
        {1, 0xF, 0x00, 1, 56, true, 1},      // ...and ends the song
        {0, 0xD, 0x00, 1, 6, true, 0},       // break onto itself
        {0, 0xB, 0x00, 2, 6, true, 0},       // jump onto its own order
        {0, 0, 0, 1, 64 * 6 + 1, false, 0},  // a plain wrap of a one-order song is not an end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.effect << " " << c.frames);
        PlayerRig rig;
        rig.song.orders.count = c.orders;
        rig.put(0, 2, c.row, 0, 0, c.effect, c.param);
        rig.play();
        rig.frames(c.frames);
        EXPECT_EQ(rig.player.endOfSongFlag, c.ended);
        EXPECT_EQ(rig.player.currentRow, c.atRow);
        EXPECT_EQ(rig.player.currentOrder, 0);
        if (c.effect == 0xF && c.ended) {
            EXPECT_EQ(rig.song.speed, 0);
        }
    }
}

TEST(PlayerClock, RepeatBlockLoopsItsRowsWithinTheOrder) {
    PlayerRig rig;
    rig.song.orders.count = 2;
    rig.player.repeatBlockOn = true;
    rig.player.repeatMarkA = 8;
    rig.player.repeatMarkB = 3;
    rig.put(0, 0, 5, 0, 0, 0xB, 0x01);  // a jump inside the block changes the row only
    rig.player.currentRow = 3;
    rig.player.start(false);
    EXPECT_EQ(rowStarts(rig, 12), (std::vector<int>{3, 4, 5, 0, 1, 2, 3, 4, 5, 0, 1, 2}));
    EXPECT_EQ(rig.player.currentOrder, 0);

    rig.cell(0, 0, 5) = PatternCell{};
    rig.player.currentRow = 3;
    rig.player.frameInRow = 0;
    EXPECT_EQ(rowStarts(rig, 8), (std::vector<int>{3, 4, 5, 6, 7, 8, 3, 4}));
    EXPECT_EQ(rig.player.currentOrder, 0);
}

TEST(PlayerClock, RequestsAreServedInOrderAtTheNextScanline) {
    PlayerRig rig;
    rig.play();
    rig.frames(3);
    rig.player.channelMask = 0x1B;
    rig.player.maskChanged = rig.player.resetRequest = rig.player.stopRequest = true;
    rig.log.writes.clear();
    rig.player.scanlineTick();
    const std::vector<RegisterWrite> expected = {
        {0x4015, 0x0B},                                                  // mask
        {0x4000, 0x30}, {0x4004, 0x30}, {0x4008, 0x00}, {0x400C, 0x30},  // reset
        {0x4001, 0x0F}, {0x4005, 0x0F}, {0x4015, 0x0B}, {0x9000, 0x00},
        {0x4000, 0x30}, {0x4004, 0x30}, {0x4008, 0x00}, {0x400C, 0x30},  // stop
        {0x4015, 0x0F}, {0x9000, 0x00},
    };
    rig.log.writes.resize(std::min(rig.log.writes.size(), expected.size()));
    EXPECT_EQ(rig.log.writes, expected);
    EXPECT_FALSE(rig.player.playing);
    EXPECT_FALSE(rig.player.stopRequest || rig.player.resetRequest || rig.player.maskChanged);
    // Unmuted channels get a full period write next time; the muted one (bit 2) does not.
    EXPECT_EQ(rig.player.channels[0].lastPeriod, -1);
    EXPECT_NE(rig.player.channels[2].lastPeriod, -1);

    // Switching the TV system takes effect at the next scanline.
    rig.song.ntsc = true;
    rig.player.reconfigureRequest = true;
    rig.player.scanlineTick();
    int32_t ntscTable[PERIOD_TABLE_SIZE];
    buildPeriodTable(true, ntscTable);
    EXPECT_EQ(rig.player.periodTable[9], ntscTable[9]);

    // In capture mode nothing is served.
    rig.player.captureMode = rig.player.resetRequest = true;
    rig.player.scanlineTick();
    EXPECT_TRUE(rig.player.resetRequest);
}

TEST(PlayerClock, MetronomeClicksOnBeatsOnlyWhilePlaying) {
    for (bool ntsc : {false, true}) {
        PlayerRig rig(ntsc);
        rig.player.metronomeOn = true;
        rig.frames(30);  // stopped: the idle tick never touches the click
        EXPECT_TRUE(valuesAt(rig.log.writes, 0x9000).empty());
        rig.play();
        std::vector<int> periods;  // click period of each frame whose click starts
        std::vector<int> volumes;
        for (int f = 0; f < 7 * 17 + 2; ++f) {
            auto writes = rig.frame();
            auto v = valuesAt(writes, 0x9000);
            ASSERT_EQ(v.size(), 1u);
            volumes.push_back(v[0]);
            if (v[0] == 0x7F && (volumes.size() < 2 || volumes[volumes.size() - 2] != 0x7F))
                periods.push_back(valuesAt(writes, 0x9001)[0] | ((valuesAt(writes, 0x9002)[0] & 0x0F) << 8));
        }
        // Rows 0, 4, 8, 12, 16: the first write comes on the frame after the row starts.
        EXPECT_EQ((std::vector<int>(volumes.begin(), volumes.begin() + 8)),
                  (std::vector<int>{0x00, 0x7F, 0x7F, 0x7C, 0x79, 0x73, 0x70, 0x00}));
        const int fast = ntsc ? 113 : 105, slow = ntsc ? 226 : 210;
        EXPECT_EQ(periods, (std::vector<int>{fast, slow, slow, slow, fast}));
    }
}

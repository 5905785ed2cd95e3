// Song capture: the recorder's waits, folding and DPCM-channel filter, and the stretch loop driven
// by a scripted player.

#include <gtest/gtest.h>

#include "FakePlayer.h"
#include "export/Capture.h"

namespace {

using Cmds = CommandList;
DriverCommand C(int32_t code) { return {code, {}}; }
DriverCommand C(int32_t code, int32_t arg) { return {code, {arg}}; }

int32_t waitFrames(const CommandList& list, int channel) {
    int32_t total = 0;
    for (const DriverCommand& c : list) {
        const int32_t code = channel == CH_DPCM ? c.code - DRV_DPCM_BASE : c.code;
        const int32_t longWait = channel == CH_DPCM ? DRV_DPCM_LONG_WAIT - DRV_DPCM_BASE : DRV_LONG_WAIT;
        const int32_t shortLimit = channel == CH_DPCM ? 128 : 64;
        if (code >= 0 && code < shortLimit) total += code == 0 ? 256 : code;
        if (code == longWait) total += c.args[0] == 0 ? 256 : c.args[0];
    }
    return total;
}

}  // namespace

TEST(DriverCommandRecorder, WaitsAndFoldingOnTheToneChannels) {
    DriverCommandRecorder r;
    r.beginCapture();
    const auto advance = [&](int n) {
        for (int i = 0; i < n; ++i) r.advanceFrame();
    };
    r.recordDriverCommand(0, DRV_NOTE, 12);  // frame 0: no wait before it
    advance(65);
    r.recordDriverCommand(0, DRV_NOTE, 70);
    advance(256);
    r.recordDriverCommand(0, DRV_VOLUME, 5);
    advance(300);
    r.recordDriverCommand(0, DRV_DUTY, 2);
    advance(63);
    r.recordDriverCommand(0, DRV_SLIDE_UP, 0x20);
    r.recordDriverCommand(0, DRV_NOTE_CUT);
    EXPECT_EQ(r.pending(0), (Cmds{C(0x4C), C(0xD4, 65), C(0xD5, 70), C(0x00), C(0xC5), C(0x00), C(0x2C),
                                  C(0xD2), C(63), C(0xDB, 0x20), C(0xD6)}));
    // Channels keep their own frame counts.
    r.recordDriverCommand(1, DRV_INSTRUMENT, 7);
    EXPECT_EQ(r.pending(1), (Cmds{C(0x00), C(0x00), C(0xD4, 172), C(DRV_INSTRUMENT, 7)}));
    EXPECT_EQ(waitFrames(r.pending(1), 1), 65 + 256 + 300 + 63);
    EXPECT_EQ(r.usedFlags()[7], 1);

    // Recording switched off leaves nothing, and a channel beyond the five is ignored.
    r.setRecording(false);
    r.recordDriverCommand(2, DRV_NOTE, 1);
    r.setRecording(true);
    r.recordDriverCommand(5, DRV_NOTE, 1);
    r.recordDriverCommand(-1, DRV_NOTE, 1);
    EXPECT_TRUE(r.pending(2).empty());

    const auto lists = r.endStretch();
    EXPECT_EQ(lists[0].back(), C(DRV_END_PATTERN));
    EXPECT_EQ(lists[4], (Cmds{C(DRV_DPCM_BASE), C(DRV_DPCM_BASE), C(DRV_DPCM_LONG_WAIT, 172),
                              C(DRV_DPCM_END_PATTERN)}));
    EXPECT_EQ(waitFrames(lists[4], 4), 65 + 256 + 300 + 63);
}

TEST(DriverCommandRecorder, DpcmChannelKeepsOnlyItsOwnCommands) {
    DriverCommandRecorder r;
    r.beginCapture();
    for (int i = 0; i < 10; ++i) r.advanceFrame();
    // Software-voice and tone commands are dropped without leaving a wait behind.
    r.recordDriverCommand(4, DRV_VOLUME, 3);
    r.recordDriverCommand(4, DRV_NOTE, 40);
    r.recordDriverCommand(4, DRV_INSTRUMENT, 9);
    EXPECT_TRUE(r.pending(4).empty());
    EXPECT_EQ(r.usedFlags()[9], 1);  // instruments count as used on every channel

    r.recordDriverCommand(4, DRV_DPCM_RATE, 0x4F);
    r.recordDriverCommand(4, DRV_DPCM_PLAY, 3);
    for (int i = 0; i < 130; ++i) r.advanceFrame();
    r.recordDriverCommand(4, DRV_DPCM_RATE, 0x4F);  // unchanged: not repeated
    r.recordDriverCommand(4, DRV_DPCM_PLAY, 3);
    r.recordDriverCommand(4, DRV_DPCM_RATE, 0x05);
    r.recordDriverCommand(4, DRV_DPCM_EFFECT, 2);
    EXPECT_EQ(r.pending(4), (Cmds{C(DRV_DPCM_BASE + 10), C(DRV_DPCM_RATE, 0x4F), C(DRV_DPCM_PLAY, 3),
                                  C(DRV_DPCM_LONG_WAIT, 130), C(DRV_DPCM_PLAY, 3), C(DRV_DPCM_RATE, 0x05),
                                  C(DRV_DPCM_EFFECT, 2)}));
    // The rate is recorded again in the next stretch.
    r.endStretch();
    r.beginStretch();
    r.recordDriverCommand(4, DRV_DPCM_RATE, 0x05);
    EXPECT_EQ(r.pending(4), (Cmds{C(DRV_DPCM_RATE, 0x05)}));
}

TEST(CaptureSong, StraightThroughGivesOneStretchPerOrderAndLoopsToTheStart) {
    FakePlayer p;
    DriverCommandRecorder r;
    p.recorder = &r;
    p.orders = 3, p.rows = 4, p.framesPerRow = 2;
    int stretchStarts = 0;
    p.onTick = [&](FakePlayer& f, int order, int row, int frame) {
        if (row == 0 && frame == 0) {
            // Every stretch starts with the channel's remembered state forgotten.
            EXPECT_EQ(f.volume[0], 0);
            EXPECT_EQ(f.instrument[0], 0);
            EXPECT_EQ(f.duty[0], -1);
            f.volume[0] = 63, f.instrument[0] = 1, f.duty[0] = 2;
            ++stretchStarts;
            f.report(0, DRV_INSTRUMENT, {1});
            f.report(0, DRV_NOTE, {order + 1});
        }
        if (row == 2 && frame == 1) f.report(3, DRV_NOTE_CUT);
    };
    CapturedSong song;
    captureSong(p, r, song);

    EXPECT_EQ(stretchStarts, 3);
    EXPECT_EQ(song.loopIndex, 0);
    EXPECT_FALSE(p.playing);
    EXPECT_FALSE(p.capture);
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        ASSERT_EQ(song.channels[c].size(), 3u) << c;
        for (const CommandList& list : song.channels[c]) EXPECT_EQ(waitFrames(list, c), 8) << c;
    }
    EXPECT_EQ(song.channels[0][1], (Cmds{C(DRV_INSTRUMENT, 1), C(0x42), C(8), C(DRV_END_PATTERN)}));
    EXPECT_EQ(song.channels[3][2], (Cmds{C(5), C(DRV_NOTE_CUT), C(3), C(DRV_END_PATTERN)}));
    EXPECT_EQ(song.channels[4][0], (Cmds{C(DRV_DPCM_BASE + 8), C(DRV_DPCM_END_PATTERN)}));
}

TEST(CaptureSong, EffectsStillRunningAreSwitchedOffBeforeTheEnd) {
    FakePlayer p;
    DriverCommandRecorder r;
    p.recorder = &r;
    p.orders = 2, p.rows = 2, p.framesPerRow = 1;
    p.onTick = [&](FakePlayer& f, int order, int row, int) {
        if (order == 0 && row == 0) {
            f.report(1, DRV_VOLSLIDE_UP, {3});
            f.active[1][DRV_VOLUME_SLIDE] = true;
            f.report(2, DRV_ARPEGGIO_ON, {0x37});
            f.active[2][DRV_ARPEGGIO] = true;
            f.active[2][DRV_SLIDE] = true;
            f.active[2][DRV_DUTY_OVERRIDE] = true;
            f.active[2][DRV_TREMOLO] = true;
            f.active[2][DRV_VIBRATO] = true;
            f.active[4][DRV_VIBRATO] = true;  // no such command on the DPCM channel
        }
    };
    CapturedSong song;
    captureSong(p, r, song);
    ASSERT_EQ(song.channels[1].size(), 2u);
    EXPECT_EQ(song.channels[1][0], (Cmds{C(DRV_VOLSLIDE_UP, 3), C(2), C(DRV_VOLSLIDE_OFF), C(DRV_END_PATTERN)}));
    EXPECT_EQ(song.channels[2][0], (Cmds{C(DRV_ARPEGGIO_ON, 0x37), C(2), C(DRV_SLIDE_OFF), C(DRV_VIBRATO_OFF),
                                         C(DRV_TREMOLO_OFF), C(DRV_ARPEGGIO_OFF), C(DRV_DUTY_RELEASE),
                                         C(DRV_END_PATTERN)}));
    EXPECT_EQ(song.channels[4][0], (Cmds{C(DRV_DPCM_BASE + 2), C(DRV_DPCM_END_PATTERN)}));
    // The next stretch starts without them.
    EXPECT_EQ(song.channels[1][1], (Cmds{C(2), C(DRV_END_PATTERN)}));
    EXPECT_FALSE(p.active[1][DRV_VOLUME_SLIDE]);
}

TEST(CaptureSong, BreaksAndJumpsMakeNewStretchesByPosition) {
    FakePlayer p;
    DriverCommandRecorder r;
    p.recorder = &r;
    p.orders = 3, p.rows = 32, p.framesPerRow = 1;
    // Order 0 breaks into row 16 of order 1; order 2 jumps back to order 1 at row 0, which is a
    // position not played before; order 1 then runs into order 2 row 0 again: the loop.
    p.onTick = [&](FakePlayer& f, int order, int row, int) {
        if (order == 0 && row == 3) f.breakRow = 16;
        if (order == 2 && row == 5) f.jumpOrder = 1, f.breakRow = 0;
        if (row == 0 || (order == 1 && row == 16)) f.report(0, DRV_NOTE, {order * 10 + 1});
    };
    CapturedSong song;
    captureSong(p, r, song);
    ASSERT_EQ(song.channels[0].size(), 4u);
    EXPECT_EQ(song.loopIndex, 2);
    EXPECT_EQ(waitFrames(song.channels[0][0], 0), 4);   // rows 0-3 of order 0
    EXPECT_EQ(waitFrames(song.channels[0][1], 0), 16);  // rows 16-31 of order 1
    EXPECT_EQ(waitFrames(song.channels[0][2], 0), 6);   // rows 0-5 of order 2
    EXPECT_EQ(waitFrames(song.channels[0][3], 0), 32);  // all of order 1
    EXPECT_EQ(song.channels[0][3].front(), C(DRV_NOTE + 11));
}

TEST(CaptureSong, RowGoingBackEndsTheStretchAndAStopEndsTheCapture) {
    {
        // Speed 0 on the first row: the stop position is where the stretch began.
        FakePlayer p;
        DriverCommandRecorder r;
        p.recorder = &r;
        p.framesPerRow = 3;
        p.onTick = [](FakePlayer& f, int, int, int) { f.stopAfterRow = true; };
        CapturedSong song;
        captureSong(p, r, song);
        ASSERT_EQ(song.channels[0].size(), 1u);
        EXPECT_EQ(song.loopIndex, 0);
        EXPECT_EQ(song.channels[0][0], (Cmds{C(3), C(DRV_END_PATTERN)}));
    }
    {
        // Speed 0 on row 2: a one-frame stretch at the stop position follows and is the loop.
        FakePlayer p;
        DriverCommandRecorder r;
        p.recorder = &r;
        p.framesPerRow = 2;
        p.onTick = [](FakePlayer& f, int, int row, int) {
            if (row == 2) f.stopAfterRow = true;
        };
        CapturedSong song;
        captureSong(p, r, song);
        ASSERT_EQ(song.channels[0].size(), 2u);
        EXPECT_EQ(song.loopIndex, 1);
        EXPECT_EQ(song.channels[0][0], (Cmds{C(6), C(DRV_END_PATTERN)}));
        EXPECT_EQ(song.channels[0][1], (Cmds{C(1), C(DRV_END_PATTERN)}));
    }
    {
        // A loop back within the same order entry (repeat to row 0) ends the stretch there.
        FakePlayer p;
        DriverCommandRecorder r;
        p.recorder = &r;
        p.framesPerRow = 1;
        p.onTick = [](FakePlayer& f, int, int row, int) {
            if (row == 9) f.jumpOrder = 0, f.breakRow = 4;
        };
        CapturedSong song;
        captureSong(p, r, song);
        ASSERT_EQ(song.channels[0].size(), 2u);  // (0,0)..(0,9), then (0,4)..(0,9)
        EXPECT_EQ(song.loopIndex, 1);
        EXPECT_EQ(waitFrames(song.channels[0][1], 0), 6);
    }
}

TEST(CapturedSong, KeepsADeepCopyOfTheInstruments) {
    auto song = std::make_unique<Song>();
    const uint8_t bytes[3] = {1, 2, 3};
    song->instruments[5].type = INST_DPCM;
    song->instruments[5].dpcm.assign(bytes, 3, true);
    std::array<uint8_t, INSTRUMENT_SLOTS> used{};
    used[5] = 1;
    CapturedSong captured;
    captured.takeInstruments(*song, used);
    song->instruments[5].dpcm.release();  // the next load replaces the live table
    ASSERT_EQ(captured.instruments.size(), size_t(INSTRUMENT_SLOTS));
    ASSERT_EQ(captured.instruments[5].dpcm.size, 3u);
    EXPECT_EQ(captured.instruments[5].dpcm.data[2], 3);
    EXPECT_TRUE(captured.usedInstruments[5]);
    EXPECT_FALSE(captured.usedInstruments[4]);
}

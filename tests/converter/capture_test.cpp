// Song capture: the recorder's waits, folding and DPCM-channel filter, and stretches closing their
// effects. Breaks, jumps and stops are followed with the real Player in real_player_capture_test.

#include <gtest/gtest.h>

#include "FakePlayer.h"
#include "export/Capture.h"

namespace {

using Cmds = CommandList;
DriverCommand C(int32_t code) { return {code, {}}; }
DriverCommand C(int32_t code, int32_t arg) { return {code, {arg}}; }

CapturedSong capture(FakePlayer& p) {
    DriverCommandRecorder r;
    p.recorder = &r;
    CapturedSong song;
    captureSong(p, r, song);
    return song;
}

}  // namespace

TEST(DriverCommandRecorder, WaitsFoldingAndTheDpcmChannel) {
    DriverCommandRecorder r;
    r.beginCapture();
    const auto advance = [&](int n) {
        while (n--) r.advanceFrame();
    };
    r.recordDriverCommand(0, DRV_NOTE, 12);
    advance(65);
    r.recordDriverCommand(0, DRV_NOTE, 70);
    advance(256);
    r.recordDriverCommand(0, DRV_VOLUME, 5);
    advance(300);
    r.recordDriverCommand(0, DRV_DUTY, 2);
    r.recordDriverCommand(0, DRV_SLIDE_UP, 0x20);
    r.recordDriverCommand(1, DRV_INSTRUMENT, 7);
    EXPECT_EQ(r.pending(0), (Cmds{C(0x4C), C(0xD4, 65), C(0xD5, 70), C(0x00), C(0xC5), C(0x00), C(0x2C),
                                  C(0xD2), C(0xDB, 0x20)}));
    EXPECT_EQ(r.pending(1), (Cmds{C(0x00), C(0x00), C(0xD4, 109), C(DRV_INSTRUMENT, 7)}));
    EXPECT_EQ(r.usedFlags()[7], 1);

    // The DPCM channel drops tone commands without leaving a wait (instruments still count as
    // used), maps waits to its own codes and records a rate byte only when it changes.
    r.recordDriverCommand(4, DRV_VOLUME, 3);
    r.recordDriverCommand(4, DRV_INSTRUMENT, 9);
    EXPECT_TRUE(r.pending(4).empty());
    EXPECT_EQ(r.usedFlags()[9], 1);
    r.recordDriverCommand(4, DRV_DPCM_RATE, 0x4F);
    advance(130);
    r.recordDriverCommand(4, DRV_DPCM_RATE, 0x4F);
    r.recordDriverCommand(4, DRV_DPCM_PLAY, 3);
    advance(10);
    r.recordDriverCommand(4, DRV_DPCM_EFFECT, 2);
    // Switched off, or a channel beyond the five: nothing.
    r.setRecording(false);
    r.recordDriverCommand(2, DRV_NOTE, 1);
    r.setRecording(true);
    r.recordDriverCommand(5, DRV_NOTE, 1);
    const auto lists = r.endStretch();
    EXPECT_EQ(lists[4], (Cmds{C(DRV_DPCM_BASE), C(DRV_DPCM_BASE), C(DRV_DPCM_BASE + 109),
                              C(DRV_DPCM_RATE, 0x4F), C(DRV_DPCM_LONG_WAIT, 130), C(DRV_DPCM_PLAY, 3),
                              C(DRV_DPCM_BASE + 10), C(DRV_DPCM_EFFECT, 2), C(DRV_DPCM_END_PATTERN)}));
    EXPECT_EQ(lists[2], (Cmds{C(0), C(0), C(0xD4, 249), C(DRV_END_PATTERN)}));
    // The next stretch records the rate again.
    r.beginStretch();
    r.recordDriverCommand(4, DRV_DPCM_RATE, 0x4F);
    EXPECT_EQ(r.pending(4), (Cmds{C(DRV_DPCM_RATE, 0x4F)}));
}

// The instrument a channel enters a stretch with is stated once, before its first note there.
TEST(DriverCommandRecorder, RestatedInstrumentPrecedesTheFirstNoteOnly) {
    DriverCommandRecorder r;
    r.beginCapture();
    for (int c = 0; c < CHANNEL_COUNT; ++c) r.restateInstrument(c, 5);
    r.advanceFrame();
    r.recordDriverCommand(0, DRV_VOLUME, 3);  // not a note: nothing stated yet
    r.advanceFrame();
    r.recordDriverCommand(0, DRV_NOTE, 12);
    r.recordDriverCommand(0, DRV_NOTE, 13);
    r.recordDriverCommand(1, DRV_INSTRUMENT, 6);  // the stretch names its own
    r.recordDriverCommand(1, DRV_NOTE, 12);
    r.recordDriverCommand(4, DRV_NOTE, 12);  // the DPCM channel plays no such instrument
    EXPECT_EQ(r.pending(0), (Cmds{C(1), C(0xC3), C(1), C(DRV_INSTRUMENT, 5), C(0x4C), C(0x4D)}));
    EXPECT_EQ(r.pending(1), (Cmds{C(2), C(DRV_INSTRUMENT, 6), C(0x4C)}));
    EXPECT_TRUE(r.pending(4).empty());
    EXPECT_EQ(r.usedFlags()[5], 1);
    // A new stretch forgets what was to be restated.
    r.endStretch();
    r.beginStretch();
    r.recordDriverCommand(2, DRV_NOTE, 12);
    EXPECT_EQ(r.pending(2), (Cmds{C(0x4C)}));
}

TEST(CaptureSong, OneStretchPerOrderEntryWithEffectsClosedAtItsEnd) {
    FakePlayer p;
    p.orders = 3, p.rows = 4, p.framesPerRow = 2;
    p.onTick = [](FakePlayer& f, int order, int row, int frame) {
        if (row == 0 && frame == 0) {
            // Every stretch starts with the remembered volume and duty forgotten; the channel
            // keeps the instrument it plays with.
            EXPECT_EQ(f.volume[0] + f.duty[0], -1);
            EXPECT_EQ(f.instrument[0], order == 0 ? 0 : 1);
            f.volume[0] = 63, f.duty[0] = 2;
            // The last stretch names no instrument: the one still playing is stated for it.
            if (order < 2) f.instrument[0] = 1, f.report(0, DRV_INSTRUMENT, {1});
            f.report(0, DRV_NOTE, {order + 1});
        }
        if (order == 1 && row == 2 && frame == 1) {
            f.report(2, DRV_VOLSLIDE_UP, {3});
            for (bool& on : f.active[2]) on = true;
            f.active[4][DRV_VIBRATO] = true;  // no such command on the DPCM channel
        }
    };
    const CapturedSong song = capture(p);
    EXPECT_EQ(song.loopIndex, 0);
    EXPECT_FALSE(p.playing || p.capture);
    for (const auto& lists : song.channels) ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(song.channels[0][1], (Cmds{C(DRV_INSTRUMENT, 1), C(0x42), C(8), C(DRV_END_PATTERN)}));
    EXPECT_EQ(song.channels[2][1], (Cmds{C(5), C(DRV_VOLSLIDE_UP, 3), C(3), C(DRV_SLIDE_OFF),
                                         C(DRV_VIBRATO_OFF), C(DRV_TREMOLO_OFF), C(DRV_ARPEGGIO_OFF),
                                         C(DRV_VOLSLIDE_OFF), C(DRV_DUTY_RELEASE), C(DRV_END_PATTERN)}));
    EXPECT_EQ(song.channels[0][2], (Cmds{C(DRV_INSTRUMENT, 1), C(0x43), C(8), C(DRV_END_PATTERN)}));
    EXPECT_EQ(song.channels[2][2], (Cmds{C(8), C(DRV_END_PATTERN)}));
    EXPECT_EQ(song.channels[4][1], (Cmds{C(DRV_DPCM_BASE + 8), C(DRV_DPCM_END_PATTERN)}));
}

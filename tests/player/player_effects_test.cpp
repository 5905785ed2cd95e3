// Row processing and effect commands, observed through channel state and register writes.

#include <gtest/gtest.h>

#include "tests/player/PlayerRig.h"

namespace {

// A rig with instrument 1 held at full level and instrument 2 a copy of it.
struct EffectRig : PlayerRig {
    EffectRig() {
        volumeEnvelope(1, {0xF0}, 0);
        volumeEnvelope(2, {0xF0}, 0);
    }
    const ChannelState& ch(int c = 0) const { return player.channels[c]; }
};

}  // namespace

TEST(PlayerEffects, TonePortamentoGlidesWithoutRestart) {
    struct Case {
        int instrument, speed, volumeValue;
    };
    // Naming another instrument restarts the envelopes; 300 without an earlier speed stays put.
    for (const Case& c : {Case{0, 0x40, 0x90}, Case{2, 0x40, 0xF0}, Case{0, 0x00, 0x90}}) {
        SCOPED_TRACE(testing::Message() << c.instrument << " " << c.speed);
        EffectRig rig;
        rig.volumeEnvelope(1, {0xF0, 0xE0, 0xD0, 0xC0, 0xB0, 0xA0, 0x90, 0x80}, 7);
        rig.put(0, 0, 0, 40, 1);
        rig.put(0, 0, 1, 50, c.instrument, 0x3, c.speed);
        for (int row = 2; row < 10; ++row) rig.put(0, 0, row, 0, 0, 0x3, 0x00);  // keeps gliding
        rig.play();
        rig.frames(7);  // the portamento row's first frame
        EXPECT_EQ(rig.ch().pitch, 40 * 256);
        EXPECT_EQ(rig.ch().portaTarget, 50);
        EXPECT_EQ(rig.ch().volumeValue, c.volumeValue);
        rig.frame();
        EXPECT_EQ(rig.ch().pitch, 40 * 256 + c.speed);
        rig.frames(39);
        EXPECT_EQ(rig.ch().pitch, c.speed ? 50 * 256 : 40 * 256);
        EXPECT_EQ(rig.ch().portaTarget, c.speed ? 0 : 50);
        rig.frames(3);
        EXPECT_EQ(rig.ch().pitch, c.speed ? 50 * 256 : 40 * 256);  // snapped, stays
    }
}

TEST(PlayerEffects, InstrumentAloneRetriggersTheLastNote) {
    EffectRig rig;
    rig.volumeEnvelope(1, {0xF0, 0x00}, 1);
    rig.put(0, 0, 0, 40, 1);
    rig.put(0, 0, 1, 0, 1);
    rig.play();
    rig.frames(2);
    EXPECT_EQ(rig.ch().noteOn, 0);
    rig.frames(4);
    auto writes = rig.frame();
    EXPECT_EQ(rig.ch().noteOn, 40);
    EXPECT_EQ(rig.ch().volume, 63);
    EXPECT_EQ(valuesAt(writes, 0x4000).at(0) & 0x0F, 15);
}

TEST(PlayerEffects, VolumeAndDutyCommand) {
    struct Case {
        int param;
        int volume, level, duty;
    };
    // The instrument's own duty is 1 (value 0x40).
    const Case cases[] = {{0x0F, 63, 15, 1}, {0x3F, 63, 15, 2}, {0x00, 0, 0, 1}, {0x18, 33, 8, 0}};
    for (const Case& c : cases) {
        EffectRig rig;
        rig.song.instruments[1].envelopes[ENV_DUTY].values[0] = 0x40;
        rig.put(0, 0, 0, 40, 1);
        rig.put(0, 0, 1, 0, 0, 0xC, c.param);
        rig.play();
        rig.frames(6);
        auto writes = rig.frame();
        int reg = valuesAt(writes, 0x4000).at(0);
        EXPECT_EQ(rig.ch().volume, c.volume) << c.param;
        EXPECT_EQ(reg & 0x0F, c.level) << c.param;
        EXPECT_EQ(reg >> 6, c.duty) << c.param;
        EXPECT_EQ(rig.ch().noteOn, 40);  // C00 silences without ending the note
    }
    // On the note's own row the volume is not reset to full.
    EffectRig rig;
    rig.put(0, 0, 0, 40, 1, 0xC, 0x08);
    rig.play();
    rig.frame();
    EXPECT_EQ(rig.ch().volume, 33);
}

TEST(PlayerEffects, NoteCutAndDelay) {
    for (int frames : {0, 3}) {
        EffectRig rig;
        rig.put(0, 0, 0, 40, 1, 0xE, 0xC0 | frames);
        rig.play();
        rig.frames(frames);
        EXPECT_EQ(rig.ch().noteOn, frames ? 40 : 0);
        rig.frame();
        EXPECT_EQ(rig.ch().noteOn, 0);
        if (frames) {
            EXPECT_EQ(rig.ch().volume, 0);
        }
    }
    EffectRig rig;  // the previous row's slide goes on until the delayed note starts
    rig.put(0, 0, 0, 40, 1, 0x1, 0x10);
    rig.put(0, 0, 1, 50, 0, 0xE, 0xD2);
    rig.play();
    rig.frames(6);
    const int before = rig.ch().pitch;
    rig.frame();
    EXPECT_EQ(rig.ch().pitch, before);
    EXPECT_EQ(rig.ch().noteOn, 40);
    rig.frame();
    EXPECT_EQ(rig.ch().pitch, before + 0x10);
    rig.frame();
    EXPECT_EQ(rig.ch().noteOn, 50);
    EXPECT_EQ(rig.ch().pitch, 50 * 256);
}

TEST(PlayerEffects, SpeedAndTempoCommand) {
    const int cases[][3] = {{0x05, 5, 125}, {0x1F, 31, 125}, {0x20, 6, 32}, {0xFF, 6, 255}};
    for (const auto& c : cases) {
        EffectRig rig;
        rig.put(0, 1, 0, 0, 0, 0xF, c[0]);
        rig.play();
        rig.frame();
        EXPECT_EQ(rig.song.speed, c[1]);
        EXPECT_EQ(rig.song.tempo, c[2]);
    }
}

TEST(PlayerEffects, ContinuousEffectsRestWhileTheChannelIsOff) {
    for (int effect : {0x1, 0x2, 0x4}) {
        EffectRig rig;
        rig.put(0, 0, 0, 40, 1, effect, 0x48);
        rig.put(0, 0, 1, 0, 0, 0xE, 0xC1);  // cut after one frame; the effect memory stays
        rig.cell(0, 0, 1).fx = uint8_t(0xC0 | 0xE);
        rig.play();
        rig.frames(8);
        ASSERT_EQ(rig.ch().noteOn, 0);
        const int pitch = rig.ch().pitch, vib = rig.ch().vibPos;
        rig.frames(4);
        EXPECT_EQ(rig.ch().pitch, pitch) << effect;
        EXPECT_EQ(rig.ch().vibPos, vib) << effect;
    }
}

TEST(PlayerEffects, VibratoEndsWithItsRowTremoloWithTheNote) {
    EffectRig rig;
    rig.put(0, 0, 0, 40, 1, 0x4, 0x4F);
    rig.put(0, 1, 0, 40, 1, 0x7, 0x4F);
    rig.put(0, 1, 2, 45, 0);
    rig.play();
    rig.frames(3);
    EXPECT_NE(rig.ch(0).vibratoOffset, 0);
    EXPECT_NE(rig.ch(1).tremoloOffset, 0);
    rig.frames(4);  // row 1: no effect
    EXPECT_EQ(rig.ch(0).vibratoOffset, 0);
    EXPECT_NE(rig.ch(1).tremoloOffset, 0);
    rig.frames(6);  // row 2: a new note
    EXPECT_EQ(rig.ch(1).tremoloOffset, 0);
}

TEST(PlayerEffects, ArpeggioCyclesEveryThreeFrames) {
    EffectRig rig;
    rig.put(0, 0, 0, 40, 1, 0x0, 0x37);
    rig.play();
    std::vector<int> offsets;
    for (int f = 0; f < 7; ++f) {
        rig.frame();
        offsets.push_back(rig.ch().arpeggioOffset);
    }
    EXPECT_EQ(offsets, (std::vector<int>{0, 3, 7, 0, 3, 7, 0}));
}

TEST(PlayerEffects, SlidesAndVolumeSlides) {
    EffectRig rig;
    rig.put(0, 0, 0, 40, 1, 0x1, 0x20);
    rig.put(0, 0, 1, 0, 0, 0x2, 0x00);  // 200 reuses the remembered speed
    rig.put(0, 1, 0, 40, 1, 0xA, 0x0F);
    rig.put(0, 1, 1, 0, 0, 0xE, 0xA4);
    rig.put(0, 2, 0, 40, 1, 0xE, 0x1F);
    rig.play();
    rig.frame();
    EXPECT_EQ(rig.ch(0).pitch, 40 * 256);  // the note start overrides the row's first step
    EXPECT_EQ(rig.ch(1).volume, 63);
    EXPECT_EQ(rig.ch(2).pitch, 40 * 256);
    rig.frames(5);
    EXPECT_EQ(rig.ch(0).pitch, 40 * 256 + 5 * 0x20);
    EXPECT_EQ(rig.ch(1).volume, 0);
    rig.frame();
    EXPECT_EQ(rig.ch(0).pitch, 40 * 256 + 4 * 0x20);
    EXPECT_EQ(rig.ch(1).volume, 4);
}

TEST(PlayerEffects, DriverCommandsAreReportedOnlyInCaptureMode) {
    EffectRig rig;
    CommandLog commands;
    rig.player.commandSink = &commands;
    rig.song.instruments[3].type = INST_DPCM;
    const uint8_t bytes[32] = {};
    rig.song.instruments[3].dpcm.assign(bytes, 32, true);
    const int cells[][6] = {// channel, row, note, instrument, effect, parameter
                            {0, 0, 50, 1, 0x1, 0x10}, {0, 1, 0, 0, 0x4, 0x47},   {0, 2, 0, 0, 0xC, 0x3F},
                            {0, 3, 52, 2, 0xA, 0x03}, {0, 4, NOTE_OFF, 0, 0, 0}, {1, 0, 0, 0, 0xE, 0xE3},
                            {1, 1, 0, 0, 0xE, 0x31},  {1, 2, 30, 1, 0x0, 0x47},  {1, 3, 40, 0, 0x3, 0x20},
                            {1, 4, 0, 0, 0x7, 0x21},  {4, 0, 0x25, 3, 0, 0}};
    for (const auto& c : cells) rig.put(0, c[0], c[1], c[2], c[3], c[4], c[5]);

    rig.play();
    rig.frames(6);
    EXPECT_TRUE(commands.entries.empty());

    rig.player.loopRequested = false;
    rig.play();
    rig.player.captureMode = true;
    rig.frames(6 * 5 + 1);
    using E = CommandLog::Entry;
    // Rows 0 to 5 give 8, 3, 6, 6, 4 and 1 entries; the DPCM instrument's silent Volume envelope ends
    // channel 4's note on row 0.
    const std::vector<E> expected = {
        {0, 0xDB, 0x10}, {0, 0x80, 1},    {0, 0x40, 50},   {0, 0xC0, 15},   {4, 0x16E, 3},   {4, 0xD6, -1},
        {4, 365, 0x45},  {4, 362, 3},     {0, 0xDD, -1},   {0, 0xDF, 0x47}, {1, 0xE6, 1},    {0, 0xE0, -1},
        {0, 0xD0, 2},    {1, 0xD9, 0x47}, {1, 0x80, 1},    {1, 0x40, 30},   {1, 0xC0, 15},   {0, 0xE2, 3},
        {0, 0x80, 2},    {0, 0x40, 52},   {0, 0xE7, -1},   {1, 0xDA, -1},   {1, 0xDB, 0x20}, {0, 0xE3, -1},
        {0, 0xD6, -1},   {1, 0xDD, -1},   {1, 0xE4, 0x21}, {1, 0xE5, -1}};
    EXPECT_EQ(commands.entries, expected);
    EXPECT_TRUE(rig.player.loopRequested);
}

// Channel output: periods, write orders, envelopes, echo and hardware DPCM starts.

#include <gtest/gtest.h>

#include "tests/player/PlayerRig.h"

namespace {

// Writes of pulse 1's registers and the frame counter, in order.
std::vector<RegisterWrite> pulse1Writes(const std::vector<RegisterWrite>& writes) {
    std::vector<RegisterWrite> out;
    for (const RegisterWrite& w : writes)
        if ((w.address >= 0x4001 && w.address <= 0x4003) || w.address == 0x4017) out.push_back(w);
    return out;
}

int pitchForPeriod(const Player& player, int period) {
    for (int p = 256; p < 96 * 256; ++p)
        if (player.periodForPitch(p) == period) return p;
    return -1;
}

}  // namespace

TEST(PlayerOutput, PeriodTables) {
    int32_t pal[PERIOD_TABLE_SIZE], ntsc[PERIOD_TABLE_SIZE];
    buildPeriodTable(false, pal);
    buildPeriodTable(true, ntsc);
    // Notes too low for the 11-bit period hold the longest one. A-440 is note 46 (entry 45).
    EXPECT_EQ(std::vector<int32_t>(pal, pal + 9),
              (std::vector<int32_t>{0x7FF, 0x7FF, 0x7FF, 0x7FF, 0x7FF, 0x7FF, 0x7FF, 0x7FF, 2001}));
    EXPECT_EQ(std::vector<int32_t>(ntsc, ntsc + 10),
              (std::vector<int32_t>{0x7FF, 0x7FF, 0x7FF, 0x7FF, 0x7FF, 0x7FF, 0x7FF, 0x7FF, 0x7FF, 2033}));
    EXPECT_EQ((std::vector<int32_t>{pal[45], pal[95], ntsc[95]}), (std::vector<int32_t>{235, 12, 13}));

    int32_t vib[16][16];
    buildVibratoTable(vib);
    EXPECT_EQ(vib[15][15], 63);
    EXPECT_EQ(vib[0][15], 0);
    std::vector<int> wave;
    for (int position : {15, 16, 31, 47, 63}) wave.push_back(vibratoValue(vib, position, 15));
    EXPECT_EQ(wave, (std::vector<int>{63, 63, 0, -63, 0}));
}

TEST(PlayerOutput, PulsePeriodWritesAvoidThePhaseReset) {
    PlayerRig rig;
    Player& p = rig.player;
    ChannelState& ch = p.channels[0];
    struct Case {
        int from, to;
        std::vector<RegisterWrite> writes;
    };
    const Case cases[] = {
        {0x100,
         0x0FF,
         {{0x4017, 0x40}, {0x4002, 0x00}, {0x4001, 0x8F}, {0x4017, 0xC0}, {0x4001, 0x0F}, {0x4002, 0xFF}}},
        {0x0FF,
         0x100,
         {{0x4017, 0x40}, {0x4002, 0xFF}, {0x4001, 0x87}, {0x4017, 0xC0}, {0x4001, 0x0F}, {0x4002, 0x00}}},
        {0x1F0, 0x1A0, {{0x4002, 0xA0}}},
        {0x300, 0x0FF, {{0x4002, 0xFF}, {0x4003, 0x00}}},
        {-1, 0x1A0, {{0x4002, 0xA0}, {0x4003, 0x01}}},  // first write after a reset
    };
    for (const Case& c : cases) {
        // Put the hardware on the old period first, so the glide can be checked on the Apu too.
        if (c.from >= 0) {
            rig.apu.writeRegister(0x4002, uint8_t(c.from & 0xFF));
            rig.apu.writeRegister(0x4003, uint8_t(c.from >> 8));
            rig.apu.endScanline();
        }
        ch.lastPeriod = c.from;
        ch.pitch = pitchForPeriod(p, c.to);
        ASSERT_GT(ch.pitch, 0);
        rig.log.writes.clear();
        p.writeChannels();
        EXPECT_EQ(pulse1Writes(rig.log.writes), c.writes) << c.from << " -> " << c.to;
        EXPECT_EQ(ch.lastPeriod, c.to);
        for (int i = 0; i < 8; ++i) rig.apu.endScanline();
        EXPECT_EQ(rig.apu.pulse1.period(), c.to) << c.from << " -> " << c.to;
    }
}

TEST(PlayerOutput, VolumeEnvelopeRelease) {
    struct Case {
        std::vector<int> values;
        int loop;
        int endFrame;  // 1-based frame at which the note ends, 0 = never
        int heldLevel;
    };
    const Case cases[] = {
        {{0xF0, 0x80, 0x00}, 2, 3, 0}, {{0xF0, 0x80, 0x40}, 2, 0, 4},
        {{0xF0, 0x00, 0x40}, 2, 2, 0}, {{0xF0, 0x80, 0x00}, 0, 0, 15},  // looping from the start never ends
        {{0xF0, 0x0F}, 1, 2, 0},                                        // value 15 is level 0
    };
    for (const Case& c : cases) {
        PlayerRig rig;
        rig.volumeEnvelope(1, c.values, c.loop);
        rig.put(0, 0, 0, 50, 1);
        rig.play();
        int ended = 0;
        int level = -1;
        for (int f = 1; f <= 12; ++f) {
            auto writes = rig.frame();
            level = valuesAt(writes, 0x4000).at(0) & 0x0F;
            if (!ended && rig.player.channels[0].noteOn == 0) {
                ended = f;
                EXPECT_EQ(rig.player.channels[0].volume, 0);
            }
        }
        EXPECT_EQ(ended, c.endFrame) << c.values[2] << " loop " << c.loop;
        if (c.loop != 0) {
            EXPECT_EQ(level, c.heldLevel);
        }
    }
}

TEST(PlayerOutput, TriangleHeldValueAndControl) {
    struct Case {
        int value, volumeParam;
        bool ends;
        int control;
    };
    const Case cases[] = {
        {0x70, -1, true, 0x80},  {0x7F, -1, true, 0x80},    {0x80, -1, false, 0x81},
        {0xF0, -1, false, 0x81}, {0xF0, 0x07, false, 0x80},  // level 7 from C07: quiet but held
    };
    for (const Case& c : cases) {
        PlayerRig rig;
        rig.volumeEnvelope(1, {c.value}, 0);
        rig.put(0, 2, 0, 40, 1, c.volumeParam >= 0 ? 0xC : 0, std::max(c.volumeParam, 0));
        rig.play();
        rig.frame();
        auto writes = rig.frame();
        EXPECT_EQ(rig.player.channels[2].noteOn == 0, c.ends) << c.value;
        EXPECT_EQ(valuesAt(writes, 0x4008).at(0), c.control) << c.value;
        EXPECT_EQ(rig.player.snapshot.triangleControl, c.control);
        EXPECT_EQ(rig.player.snapshot.trianglePeriodHigh == -1, c.control == 0x80);
    }
}

TEST(PlayerOutput, PitchFromNoteAndEnvelopes) {
    struct Case {
        int note, noteEnv, fineEnv;
        int expectedPitch;  // pitch sum in 1/256 semitone
    };
    const Case cases[] = {
        {50, 0x8C, 127, 12 * 256},                                 // absolute note replaces the entered one
        {70, 0x8C, 127, 12 * 256},     {50, 0x80, 127, 50 * 256},  // absolute 0 acts as relative 0
        {50, 64 + 7, 127, 57 * 256},   {50, 64 - 12, 127, 38 * 256},
        {50, 64, 255, 50 * 256 + 128},  // half a semitone up
        {50, 64, 0, 50 * 256 - 127},
    };
    for (const Case& c : cases) {
        PlayerRig rig;
        rig.volumeEnvelope(1, {0xF0}, 0);
        rig.song.instruments[1].envelopes[ENV_NOTE].values[0] = c.noteEnv;
        rig.song.instruments[1].envelopes[ENV_FINETUNE].values[0] = c.fineEnv;
        rig.put(0, 0, 0, c.note, 1);
        rig.play();
        auto writes = rig.frame();
        const ChannelState& ch = rig.player.channels[0];
        EXPECT_EQ(rig.player.pitchSum(ch), c.expectedPitch) << c.note << " " << c.noteEnv << " " << c.fineEnv;
        EXPECT_EQ(valuesAt(writes, 0x4002).at(0) | valuesAt(writes, 0x4003).at(0) << 8,
                  rig.player.periodForPitch(c.expectedPitch));
    }
    PlayerRig rig;
    // Whole semitones read the table directly; clamped at both ends.
    EXPECT_EQ(rig.player.periodForPitch(1 * 256), rig.player.periodTable[0]);
    EXPECT_EQ(rig.player.periodForPitch(46 * 256), rig.player.periodTable[45]);
    EXPECT_EQ(rig.player.periodForPitch(-5 * 256), rig.player.periodTable[0]);
    EXPECT_EQ(rig.player.periodForPitch(120 * 256), rig.player.periodTable[95]);
    int a = rig.player.periodTable[45], b = rig.player.periodTable[46];
    EXPECT_EQ(rig.player.periodForPitch(47 * 256 - 128), a - (a - b) * 128 / 256);
}

TEST(PlayerOutput, NoisePeriodIndexAndMode) {
    const int cases[][3] = {
        {1, 0x20, 14}, {16, 0x20, 15}, {17, 0x20, 14}, {32, 0x20, 15}, {10, 0x40, 0x80 | 5}};
    for (const auto& c : cases) {
        PlayerRig rig;
        rig.volumeEnvelope(1, {0xF0}, 0);
        rig.song.instruments[1].envelopes[ENV_DUTY].values[0] = c[1];
        rig.put(0, 3, 0, c[0], 1);
        rig.play();
        auto writes = rig.frame();
        EXPECT_EQ(valuesAt(writes, 0x400E).at(0), c[2]) << "note " << c[0];
        EXPECT_EQ(valuesAt(writes, 0x400F).at(0), 0);
        EXPECT_EQ(valuesAt(writes, 0x400C).at(0), 0x3F);
    }
}

TEST(PlayerOutput, EchoReplaysEarlierFramesQuieter) {
    PlayerRig rig;
    rig.volumeEnvelope(1, {0xF0}, 0);
    rig.put(0, 0, 0, 50, 1, 0x8, 0x24);
    rig.put(0, 0, 2, NOTE_OFF);
    rig.play();
    std::vector<int> levels, lows;
    for (int f = 0; f < 12 + 18 + 4; ++f) {
        auto writes = rig.frame();
        levels.push_back(valuesAt(writes, 0x4000).at(0) & 0x0F);
        auto lo = valuesAt(writes, 0x4002);
        lows.push_back(lo.empty() ? -1 : lo.back());
    }
    EXPECT_EQ(levels, (std::vector<int>{15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 11, 11, 11, 11, 11,
                                        11, 7,  7,  7,  7,  7,  7,  3,  3,  3,  3,  3,  3,  0,  0,  0,  0}));
    // The echo replays the note's period too, not the cut channel's.
    const int notePeriod = rig.player.periodTable[49] & 0xFF;
    for (int f = 12; f < 30; ++f) EXPECT_TRUE(lows[f] == -1 || lows[f] == notePeriod) << f;
}

TEST(PlayerOutput, DpcmSampleStarts) {
    PlayerRig rig;
    std::vector<uint8_t> bytes(4096, 0xAA);
    rig.song.instruments[1].type = INST_DPCM;
    rig.song.instruments[1].dpcm.assign(bytes.data(), 4096, false);
    rig.song.instruments[2].type = INST_DPCM;
    rig.song.instruments[2].dpcm.assign(bytes.data(), 8, true);
    rig.put(0, 4, 0, 37, 1);
    rig.put(0, 4, 1, 38);     // a note alone does not retrigger
    rig.put(0, 4, 2, 53, 2);  // 16 notes up: the same rate
    rig.play();

    auto writes = rig.frame();
    const std::vector<RegisterWrite> expected = {{0x4010, 0x05}, {0x4011, 0x3F}, {0x4012, 0x00},
                                                 {0x4013, 0xFF}, {0x4015, 0x0F}, {0x4015, 0x1F}};
    auto first = std::find(writes.begin(), writes.end(), RegisterWrite{0x4010, 0x05});
    ASSERT_NE(first, writes.end());
    EXPECT_EQ(std::vector<RegisterWrite>(first, first + 6), expected);
    const auto& snap = rig.player.snapshot;  // kind, rate, value, triggered
    EXPECT_EQ((std::vector<int>{snap.dpcmKind, snap.dpcmRate, snap.dpcmValue, snap.dpcmTriggered}),
              (std::vector<int>{1, 5, 1, 1}));
    // The sample is mapped at $C000; memory around it reads as filler.
    std::vector<int> memory;
    for (int at : {0xC000, 0xC000 + 4095, 0xC000 + 4096, 0xBFFF})
        memory.push_back(Player::readSampleMemory(&rig.player, uint16_t(at)));
    EXPECT_EQ(memory, (std::vector<int>{0xAA, 0xAA, 0x55, 0x55}));
    EXPECT_EQ(rig.apu.dmc.dac, 0x3F);

    rig.frames(5);
    writes = rig.frame();  // row 1
    EXPECT_TRUE(valuesAt(writes, 0x4010).empty());
    EXPECT_EQ(rig.player.snapshot.dpcmTriggered, 0);
    rig.frames(5);
    writes = rig.frame();  // row 2
    EXPECT_EQ(valuesAt(writes, 0x4010), std::vector<int>{0x45});
    EXPECT_EQ(valuesAt(writes, 0x4013), std::vector<int>{0x00});  // 8 bytes: one byte played

    // Muted, a sample starts nothing and maps no memory.
    PlayerRig muted;
    muted.song.instruments[1].type = INST_DPCM;
    muted.song.instruments[1].dpcm.assign(bytes.data(), 64, false);
    muted.put(0, 4, 0, 37, 1);
    muted.player.channelMask = 0x0F;
    muted.play();
    EXPECT_TRUE(valuesAt(muted.frame(), 0x4010).empty());
    EXPECT_EQ(Player::readSampleMemory(&muted.player, 0xC000), 0x55);
}

TEST(PlayerOutput, CaptureModeWritesNothingButKeepsState) {
    PlayerRig rig;
    rig.volumeEnvelope(1, {0xF0}, 0);
    rig.put(0, 0, 0, 50, 1, 0xC, 0x3F);
    rig.play();
    rig.player.captureMode = true;
    rig.player.metronomeOn = true;
    rig.player.resetRequest = true;
    auto writes = rig.frame();
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(rig.player.snapshot.pulse1DutyVolume, 0x2F);  // duty 2, level 15
    EXPECT_EQ(rig.player.channels[0].lastPeriod, rig.player.periodTable[49]);
    EXPECT_EQ(rig.player.snapshot.pulse1PeriodLow, rig.player.periodTable[49] & 0xFF);
    EXPECT_EQ(rig.player.currentRow, 0);
    rig.frames(6);
    EXPECT_EQ(rig.player.currentRow, 1);
}

TEST(PlayerOutput, DamagedSongDataPlaysWithoutFault) {
    PlayerRig rig;
    Instrument& inst = rig.song.instruments[1];
    for (int32_t& v : inst.envelopes[ENV_VOLUME].values) v = 0x1F0;  // no marker, values too big
    inst.envelopes[ENV_NOTE].values[0] = END_MARKER;                 // empty envelope
    PlayerRig::setEnvelope(inst.envelopes[ENV_DUTY], {0x40, 0x80}, -7);
    PlayerRig::setEnvelope(inst.envelopes[ENV_FINETUNE], {127, 130}, 400);
    rig.song.instruments[2].type = INST_PCM;
    const uint8_t pcm[3] = {1, 2, 3};
    rig.song.instruments[2].pcm.assign(pcm, 3, true);
    rig.song.orders.count = 70;
    rig.song.orders.entries[0] = 99;
    for (int row = 0; row < 64; row += 2) {
        rig.put(0, row % 5, row, 1 + (row * 37) % 254, 1 + row % 2, row % 16, (row * 29) & 0xFF);
        rig.put(0, 4, row + 1, 200, 2);
    }
    rig.play();
    rig.player.currentRow = 70;
    rig.frames(500);
    // The empty Note envelope plays as its default (no offset); the rest stays within range.
    EXPECT_EQ(rig.player.channels[0].noteEnvOffset, 0);
    for (const ChannelState& ch : rig.player.channels) {
        EXPECT_GE(ch.volume, 0);
        EXPECT_LE(ch.volume, 63);
        EXPECT_LE(ch.volumeValue, 255);
    }
    // A sample shrunk under a playing voice is read within its new bounds.
    rig.song.instruments[2].pcm.assign(pcm, 1, true);
    rig.player.pcm.pcmInstrument = 2;
    rig.player.pcm.position = 2.5;
    rig.frames(2);
}

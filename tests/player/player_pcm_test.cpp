// The software voice of the DPCM channel.

#include <gtest/gtest.h>

#include "tests/player/PlayerRig.h"

namespace {

struct VoiceRig : PlayerRig {
    explicit VoiceRig(InstrumentType type, int duty = 128, int volumeValue = 0xF0, bool ntsc = false)
        : PlayerRig(ntsc) {
        song.instruments[1].type = type;
        volumeEnvelope(1, {volumeValue}, 0);
        song.instruments[1].envelopes[ENV_DUTY].values[0] = duty;
    }
    // Puts `note` with instrument 1 on row 0 of the DPCM channel and starts playing.
    VoiceRig& start(int note = 30) {
        put(0, 4, 0, note, 1);
        play();
        return *this;
    }
    // $4011 values written over `frames` frames.
    std::vector<int> levels(int frames) {
        std::vector<int> out;
        for (int f = 0; f < frames; ++f) {
            auto v = valuesAt(frame(), 0x4011);
            out.insert(out.end(), v.begin(), v.end());
        }
        return out;
    }
};

}  // namespace

TEST(PlayerPcm, PulseWidthFollowsTheDutyValue) {
    struct Case {
        int duty;
        double fraction;
    };
    for (const Case& c : {Case{128, 0.5}, Case{0, 0.0}, Case{255, 255.0 / 256}, Case{64, 0.25}}) {
        VoiceRig rig(INST_PCM_PULSE, c.duty);
        auto values = rig.start().levels(20);
        ASSERT_GT(values.size(), 3000u);  // every second scanline
        EXPECT_NEAR(
            double(std::count_if(values.begin(), values.end(), [](int v) { return v != 0; })) / values.size(),
            c.fraction, 0.01)
            << c.duty;
        for (int v : values) EXPECT_TRUE(v == 0 || v == 118) << v;
        EXPECT_EQ(rig.player.snapshot.dpcmKind, 2);
        EXPECT_EQ(rig.player.snapshot.pcmThreshold, c.duty);
    }
}

TEST(PlayerPcm, SawIgnoresDutyAndNormalPlaysAtAThird) {
    VoiceRig sawA(INST_PCM_SAW, 0), sawB(INST_PCM_SAW, 200);
    auto a = sawA.start().levels(10);
    EXPECT_EQ(sawB.start().levels(10), a);
    EXPECT_EQ(*std::max_element(a.begin(), a.end()), 118 * 255 / 256);
    EXPECT_EQ(sawA.player.snapshot.dpcmKind, 3);

    VoiceRig normal(INST_NORMAL, 128);
    auto n = normal.start().levels(10);
    EXPECT_EQ(*std::max_element(n.begin(), n.end()), 118 / 3);

    // Amplitude: volume x Volume-envelope value / 128.
    for (auto [value, amplitude] : {std::pair{255, 125}, std::pair{128, 63}, std::pair{0, 0}}) {
        VoiceRig rig(INST_PCM_PULSE, 128, value);
        rig.start().frame();
        EXPECT_EQ(rig.player.pcm.amplitude, amplitude) << value;
    }
}

TEST(PlayerPcm, WavePitchFollowsTheNote) {
    // One wave period lasts 65536 / step updates at 7801 updates per second.
    for (bool ntsc : {false, true}) {
        VoiceRig rig(INST_PCM_PULSE, 128, 0xF0, ntsc);
        rig.put(0, 4, 0, 46, 1);
        rig.put(0, 4, 1, 58, 0);
        rig.play();
        rig.frame();
        const int low = rig.player.pcm.step;
        rig.frames(7);
        const int high = rig.player.pcm.step;
        EXPECT_NEAR(double(high) / low, 2.0, 0.03);  // an octave up
        // Updates per second: 7801 in PAL, and the same in NTSC through the step scaling.
        const double updatesPerSecond = ntsc ? 1789773.0 / 33247.5 * 156 : 1662607.0 / 33247.5 * 156;
        const double hz = updatesPerSecond * low / 65536.0;
        EXPECT_NEAR(hz, 440.0, 440.0 * 0.02) << ntsc;  // note 46 is A
    }
}

TEST(PlayerPcm, RawSampleLastsItsLengthAndStaysAtItsLastLevel) {
    for (bool ntsc : {false, true}) {
        VoiceRig rig(INST_PCM, 128, 0xF0, ntsc);
        std::vector<uint8_t> bytes(7802);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i % 100);
        rig.song.instruments[1].pcm.assign(bytes.data(), uint32_t(bytes.size()), false);
        rig.start(40);
        int frames = 0;
        std::vector<int> values;
        while (frames < 200) {
            auto v = valuesAt(rig.frame(), 0x4011);
            values.insert(values.end(), v.begin(), v.end());
            ++frames;
            if (rig.player.pcm.pcmInstrument == 0) break;
        }
        const double seconds = frames * 33247.5 / (ntsc ? 1789773.0 : 1662607.0);
        EXPECT_NEAR(seconds, 1.0, 0.03) << ntsc;
        EXPECT_EQ(values.back(), bytes.back());
        EXPECT_TRUE(valuesAt(rig.frame(), 0x4011).empty());  // the level is left where it ended
        EXPECT_EQ(rig.player.snapshot.dpcmKind, 0);
    }
}

TEST(PlayerPcm, LoopingSampleRestartsOnTheNextFrame) {
    VoiceRig rig(INST_PCM);
    const uint8_t bytes[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    rig.song.instruments[1].pcm.assign(bytes, 20, true);
    auto first = valuesAt(rig.start(40).frame(), 0x4011);
    ASSERT_EQ(first.size(), 312u);
    EXPECT_EQ(first[0], 1);
    EXPECT_EQ(first[40], 20);
    EXPECT_EQ(first.back(), 20);  // held until the frame ends
    auto second = valuesAt(rig.frame(), 0x4011);
    EXPECT_EQ(second[0], 1);
}

TEST(PlayerPcm, MutingStopsWritesButNotTheVoice) {
    VoiceRig pulse(INST_PCM_PULSE);
    pulse.player.channelMask = 0x0F;
    EXPECT_TRUE(pulse.start().levels(3).empty());
    EXPECT_NE(pulse.player.pcm.phase, 0);

    VoiceRig raw(INST_PCM);
    std::vector<uint8_t> bytes(2000, 9);
    raw.song.instruments[1].pcm.assign(bytes.data(), 2000, false);
    raw.player.channelMask = 0x0F;
    EXPECT_TRUE(raw.start(40).levels(2).empty());
    EXPECT_NEAR(raw.player.pcm.position, 2 * 312 * 0.5000641025641026, 1.0);
}

TEST(PlayerPcm, HardwareDpcmSilencesTheWave) {
    VoiceRig rig(INST_PCM_PULSE);
    rig.song.instruments[2].type = INST_DPCM;
    std::vector<uint8_t> bytes(64, 0x55);
    rig.song.instruments[2].dpcm.assign(bytes.data(), 64, false);
    rig.put(0, 4, 1, 30, 2);
    EXPECT_FALSE(rig.start().levels(6).empty());
    auto during = valuesAt(rig.frame(), 0x4011);
    EXPECT_EQ(during, std::vector<int>{0x3F});  // only the DMC start's own level write
}

// The software voice of the DPCM channel where a frame trace is too coarse: pitch against the
// note, a raw sample's length, and muting (the wave shapes are pinned in tests/data/player/pcm_*).

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

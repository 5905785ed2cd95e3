#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "apu/ApuChannels.h"
#include "apu/BandLimitedBuffer.h"
#include "apu/BandLimitedSynth.h"

namespace {
struct Rig {
    BandLimitedBuffer buffer;
    NoiseChannel noise;

    explicit Rig(int reg2) {
        buffer.setClockRate(1662607);
        EXPECT_EQ(buffer.setSampleRate(44100, 0), nullptr);
        noise.synth.setVolumeUnit(0.003564356435643564);
        noise.output = &buffer;
        noise.regs[0] = 0x3B;  // constant volume 11
        noise.regs[2] = static_cast<std::uint8_t>(reg2);
        noise.lengthCounter = 30;
    }
    std::vector<std::uint16_t> raw() const {
        return {buffer.samples(), buffer.samples() + buffer.size() + BandLimitedBuffer::kExtra};
    }
};

const int kPeriods[16] = {4, 8, 16, 32, 64, 96, 128, 160, 202, 254, 380, 508, 762, 1016, 2034, 4068};

// The noise register clocked one timer period at a time: the output is bit 0, it changes when bit
// 1 shifts in different from it, and the feedback is bit 0 XOR bit 1 (bit 6 in short mode).
void referenceRun(Rig& r, int cycles) {
    NoiseChannel& n = r.noise;
    const int period = kPeriods[n.regs[2] & 15];
    const int tap = (n.regs[2] & 0x80) ? 6 : 1;
    const int vol = n.regs[0] & 15;
    int amp = (n.shiftRegister & 1) ? vol : 0;
    if (amp != n.lastAmplitude) n.synth.addStep(0, amp - n.lastAmplitude, r.buffer);
    int time = n.delay;
    for (; time < cycles; time += period) {
        const int bit0 = n.shiftRegister & 1, bit1 = (n.shiftRegister >> 1) & 1;
        if (bit0 != bit1) {
            amp = vol - amp;
            n.synth.addStep(time, bit0 ? -vol : vol, r.buffer);
        }
        const int feedback = (bit0 ^ ((n.shiftRegister >> tap) & 1)) << 14;
        n.shiftRegister = feedback | (n.shiftRegister >> 1);
    }
    n.lastAmplitude = amp;
    n.delay = time - cycles;
    n.dirty = false;
}
}  // namespace

// The sounding noise skips from one output change to the next instead of clocking every period.
// In both modes and at every rate, over spans shorter and far longer than a skip, it must leave
// the same buffer, register and timer as clocking period by period.
TEST(NoiseChannel, SkippingToEachChangeMatchesClockingEveryPeriod) {
    for (int mode : {0x00, 0x80}) {
        for (int rate = 0; rate < 16; ++rate) {
            Rig fast(mode | rate), slow(mode | rate);
            fast.noise.shiftRegister = slow.noise.shiftRegister = 0x4000 + rate * 77;
            int spanIndex = 0;
            for (int span : {3, 106, 107, 1, 2000, 45, 9000, 106, 40000}) {
                fast.noise.run(0, span);
                referenceRun(slow, span);
                fast.buffer.endFrame(span);
                slow.buffer.endFrame(span);
                ASSERT_EQ(fast.noise.shiftRegister, slow.noise.shiftRegister)
                    << "mode " << mode << " rate " << rate << " span " << spanIndex;
                ASSERT_EQ(fast.noise.delay, slow.noise.delay);
                ASSERT_EQ(fast.noise.lastAmplitude, slow.noise.lastAmplitude);
                ++spanIndex;
            }
            ASSERT_EQ(fast.raw(), slow.raw()) << "mode " << mode << " rate " << rate;
        }
    }
}

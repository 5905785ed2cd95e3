#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "apu/ApuChannels.h"
#include "apu/BandLimitedBuffer.h"
#include "apu/BandLimitedSynth.h"
#include "apu/NonlinearMixer.h"
#include "apu/Nonlinear_Buffer.h"

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

// The sounding noise skips from one output change to the next: in both modes, at every rate and
// over spans shorter and far longer than a skip, it must match clocking period by period.
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

// The reader integrates both buffers in one pass, applying the mixer curve on the fly (with a loop
// for equal high-pass strengths): it must match curve-then-integrate in samples and state.
TEST(Nonlinear_Buffer, FusedReadMatchesCurveThenIntegrate) {
    for (bool curve : {true, false}) {
        for (int nonlinearBass : {16, 90}) {
            Nonlinear_Buffer out;
            ASSERT_EQ(out.setSampleRate(44100, 0), nullptr);
            out.setClockRate(1662607);
            out.clear();
            out.enableNonlinear(curve);
            out.nonlinear.setBassFrequency(nonlinearBass);
            BandLimitedSynth a(12), b(8);
            a.setVolumeUnit(0.09);
            b.setVolumeUnit(0.03);
            std::uint32_t rng = 7;
            for (int step = 0; step < 400; ++step) {
                for (int k = 0; k < 6; ++k) {
                    rng = rng * 1664525u + 1013904223u;
                    const int t = static_cast<int>(rng >> 25);  // 0..127 cycles
                    const int level = static_cast<int>((rng >> 8) & 15) - 7;
                    a.addStep(t, level, out.linear);
                    b.addStep(t, level * 3, out.nonlinear);
                }
                out.endFrame(107);
            }

            // The plain form, on copies of the state.
            const long n = out.samplesAvailable();
            std::vector<std::uint16_t> lin(out.linear.samples(), out.linear.samples() + n);
            std::vector<std::uint16_t> non(out.nonlinear.samples(), out.nonlinear.samples() + n);
            NonlinearMixer mixer = out.mixer;
            if (curve) mixer.apply(non.data(), n);
            std::int32_t linAcc = out.linear.readerAccumulator, nonAcc = out.nonlinear.readerAccumulator;
            std::vector<std::int16_t> expected;
            for (long i = 0; i < n; ++i) {
                std::int32_t s = (linAcc >> 15) + (nonAcc >> 15);
                linAcc = static_cast<std::int32_t>(
                    static_cast<std::uint32_t>(linAcc - (linAcc >> out.linear.bassShift())) +
                    (static_cast<std::uint32_t>(lin[i] - 0x7F7F) << 15));
                nonAcc = static_cast<std::int32_t>(
                    static_cast<std::uint32_t>(nonAcc - (nonAcc >> out.nonlinear.bassShift())) +
                    (static_cast<std::uint32_t>(non[i] - 0x7F7F) << 15));
                if (s != static_cast<std::int16_t>(s)) s = 0x7FFF - (s >> 24);
                expected.push_back(static_cast<std::int16_t>(s));
            }

            std::vector<std::int16_t> got;
            for (long chunk : {1L, 333L, 4096L, 100000L}) {
                std::vector<std::int16_t> part(static_cast<std::size_t>(chunk));
                part.resize(static_cast<std::size_t>(out.readSamples(part.data(), chunk)));
                got.insert(got.end(), part.begin(), part.end());
            }
            ASSERT_EQ(got.size(), expected.size());
            EXPECT_EQ(got, expected) << "curve " << curve << " bass " << nonlinearBass;
            EXPECT_EQ(out.linear.readerAccumulator, linAcc);
            EXPECT_EQ(out.nonlinear.readerAccumulator, nonAcc);
            EXPECT_EQ(out.mixer.accumulator, curve ? mixer.accumulator : 0x8000);
        }
    }
}

// The muted noise counts timer clocks by a multiply with the period's reciprocal: for every
// period and every span up to and past the multiply's range, it must match the division.
TEST(NoiseChannel, ReciprocalClockCountMatchesDivision) {
    for (int rate = 0; rate < 16; ++rate) {
        const auto reg2 = static_cast<std::uint8_t>(0x80 | rate);
        for (int span = 1; span < (1 << 20) + 5000; span += span < 70000 ? 1 : 37) {
            ASSERT_EQ(NoiseChannel::clocksToReach(-span, 0, reg2),
                      ApuChannel::periodsToReach(-span, 0, kPeriods[rate]))
                << "rate " << rate << " span " << span;
        }
    }
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <sstream>
#include <vector>

#include "apu/BandLimitedBuffer.h"
#include "apu/BandLimitedSynth.h"
#include "apu/NonlinearMixer.h"
#include "apu/Nonlinear_Buffer.h"
#include "tests/ExpectedText.h"

namespace {
std::vector<std::int16_t> readAll(Nonlinear_Buffer& out) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(out.samplesAvailable()));
    s.resize(static_cast<std::size_t>(out.readSamples(s.data(), static_cast<long>(s.size()))));
    return s;
}
// One sample per clock cycle makes resampled times exact; no high-pass, so levels hold.
void setExact(Nonlinear_Buffer& out) {
    ASSERT_EQ(out.setSampleRate(44100, 0), nullptr);
    out.setClockRate(44100);
    out.setBassFrequency(0);
    out.clear();
}
}  // namespace

// Sizes for sample rate and buffer length (capped at the largest), bass shifts for corner
// frequencies (none, and all bass cut), the 16.16 resampling factor of 44100 / 1662607 and the
// samples of a 33247-cycle frame, kept in tests/data/apu/buffer_sizes.out. Triangle, noise and
// DMC (channels 2-4) go through the non-linear buffer; everything else is linear.
TEST(BandLimitedBuffer, CapacityLengthBassShiftAndRouting) {
    std::ostringstream out;
    BandLimitedBuffer b;
    for (auto [rate, ms] : {std::pair{44100L, 0}, {48000L, 100}, {44100L, 5000}}) {
        ASSERT_EQ(b.setSampleRate(rate, ms), nullptr);
        out << rate << " Hz " << ms << " ms: size " << b.size() << " length " << b.length() << " shift "
            << b.bassShift() << "\n";
    }
    for (int bass : {0, 100000}) {
        b.setBassFrequency(bass);
        out << "bass " << bass << ": shift " << b.bassShift() << "\n";
    }
    b.setClockRate(1662607);
    b.endFrame(33247);
    out << "factor " << b.factor() << ", " << b.samplesAvailable() << " samples a frame\n";
    expectTestData("apu/buffer_sizes.out", out.str());

    Nonlinear_Buffer mix;
    for (int index = -1; index <= 6; ++index) {
        BandLimitedBuffer* want = index >= 2 && index <= 4 ? &mix.nonlinear : &mix.linear;
        ChannelBuffers c = mix.buffersForChannel(index);
        EXPECT_TRUE(c.centre == want && c.left == want && c.right == want) << index;
    }
}

// Every row of the step table must add exactly one unit, at every sub-sample phase and for both
// kernel widths: otherwise repeated steps leave a DC error that the high-pass turns into drift.
TEST(BandLimitedSynth, StepsSettleExactlyAtEveryPhase) {
    for (int width : {8, 12}) {
        BandLimitedSynth synth(width);
        synth.setVolumeUnit(0.1);
        const std::int32_t unit = static_cast<std::int32_t>(std::floor(0.1 * 65536 + 0.5));
        EXPECT_EQ(synth.biasWord(), 0x10001u * static_cast<std::uint32_t>(unit));
        for (int phase = 0; phase < 64; ++phase) {
            Nonlinear_Buffer out;
            setExact(out);
            // Place the step at sample 100 + phase/32 (odd sample positions use the upper half).
            synth.addStepResampled((100u << 16) + static_cast<std::uint32_t>(phase) * 2048u, 3, out.linear);
            synth.addStepResampled((200u << 16) + static_cast<std::uint32_t>(phase) * 2048u, -1, out.linear);
            out.endFrame(400);
            auto s = readAll(out);
            ASSERT_EQ(s.size(), 400u);
            EXPECT_EQ(s[90], 0) << width << " " << phase;
            EXPECT_EQ(s[150], 3 * unit) << width << " " << phase;
            EXPECT_EQ(s[399], 2 * unit) << width << " " << phase;
        }
    }
}

TEST(BandLimitedSynth, VolumeChangeRescalesWithoutRedesign) {
    BandLimitedSynth synth(12);
    EXPECT_TRUE(synth.kernelPending());
    synth.setVolumeUnit(0.25);
    EXPECT_FALSE(synth.kernelPending());
    std::vector<std::uint16_t> raw(synth.rawKernel(), synth.rawKernel() + 17 * 12);
    synth.setVolumeUnit(0.5);
    EXPECT_EQ(std::vector<std::uint16_t>(synth.rawKernel(), synth.rawKernel() + 17 * 12), raw);
    EXPECT_EQ(synth.biasWord(), 0x10001u * 32768u);
    // The kernel is a low-pass step: the middle taps of the first row carry most of the weight.
    int middle = synth.stepTable()[5] + synth.stepTable()[6] - 2 * 32768;
    EXPECT_GT(middle, 32768 / 2);
}

TEST(Nonlinear_Buffer, OutOfRangeSumsClamp) {
    for (int sign : {1, -1}) {
        Nonlinear_Buffer out;
        setExact(out);
        BandLimitedSynth synth(8);
        synth.setVolumeUnit(0.4);
        synth.addStepResampled(10u << 16, sign, out.linear);
        synth.addStepResampled(10u << 16, sign, out.nonlinear);
        out.endFrame(100);
        auto s = readAll(out);
        ASSERT_EQ(s.size(), 100u);
        EXPECT_EQ(s[99], sign > 0 ? 32767 : -32768);
    }
}

// The curve is the identity up to entry 1024, then compressive up to its top at 1791 and flat
// past it: all 2048 entries are kept in apu/mixer_table.out.
TEST(NonlinearMixer, TablePassThroughAndTop) {
    NonlinearMixer mixer;
    EXPECT_FALSE(mixer.enabled);
    EXPECT_EQ(mixer.accumulator, 0x8000);
    std::ostringstream out;
    for (int i = 0; i < 2048; ++i) out << mixer.table[i] << (i % 16 == 15 ? "\n" : " ");
    expectTestData("apu/mixer_table.out", out.str());
}

// A reader that fell behind must not let steps or frame ends write past the array.
TEST(Nonlinear_Buffer, OverfullBufferStaysInBounds) {
    Nonlinear_Buffer out;
    ASSERT_EQ(out.setSampleRate(44100, 10), nullptr);
    out.setClockRate(1662607);
    out.clear();
    BandLimitedSynth synth(12);
    synth.setVolumeUnit(0.1);
    for (int i = 0; i < 2000; ++i) {
        synth.addStep(50, (i & 1) ? 1 : -1, out.linear);
        out.endFrame(107);
    }
    EXPECT_EQ(out.samplesAvailable(), out.linear.size());
    std::vector<std::int16_t> s(static_cast<std::size_t>(out.linear.size()));
    EXPECT_EQ(out.readSamples(s.data(), 100000), out.linear.size());
    EXPECT_EQ(out.samplesAvailable(), 0);
}

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "apu/ApuHarness.h"

namespace {
// Plays a busy stream through every channel (write bursts, a full buffer, a change of TV system,
// DMC level writes); with `eager`, everything is rendered at each write and step end.
struct Capture {
    std::vector<std::int16_t> samples;
    std::vector<int> state;
};

Capture play(bool eager) {
    ApuHarness h;
    std::vector<std::uint8_t> image(700);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 ^ i >> 2);
    h.apu.setSampleReader(readSampleMemory, &image);
    Capture c;
    std::uint32_t rng = 99;
    auto w = [&](int address, int value) {
        h.write(static_cast<std::uint16_t>(address), static_cast<std::uint8_t>(value));
        if (eager) h.apu.catchUp();
    };
    auto steps = [&](int n, bool read) {
        for (int i = 0; i < n; ++i) {
            h.endSteps(1);
            if (eager) h.apu.catchUp();
            if (read && i % 50 == 49) {
                const auto s = h.drain();
                c.samples.insert(c.samples.end(), s.begin(), s.end());
            }
        }
    };
    w(0x4015, 0x1F);
    w(0x4010, 0x4C);
    w(0x4013, 0x20);
    w(0x4015, 0x1F);
    for (int frame = 0; frame < 60; ++frame) {
        rng = rng * 1664525u + 1013904223u;
        const auto r = [&](int shift) { return static_cast<std::uint8_t>(rng >> shift); };
        w(0x4000, 0x80 | (r(28) & 0x2F));         // envelope, sometimes looping
        w(0x4001, frame % 6 == 0 ? 0xA2 : 0x08);  // sweeps now and then
        w(0x4002, r(8));
        if (frame % 5 == 0) w(0x4003, 0x08 | (r(20) & 3));
        w(0x4004, 0x30 | (frame & 15));  // volume 0 every 16th frame
        w(0x4006, r(16));
        w(0x4007, frame % 9 == 0 ? 0x00 : 0x01);  // period below 8
        w(0x4008, frame & 1 ? 0x81 : 0xFF);
        w(0x400A, r(4));
        w(0x400B, frame % 7 == 0 ? 0x00 : 0xF8);
        w(0x400C, frame % 3 == 0 ? 0x30 : 0x1A);  // muted every third
        w(0x400E, frame & 0x83);
        w(0x400F, 0xF8);
        w(0x9000, frame % 4 == 0 ? 0x3A : 0xBA);
        w(0x9002, frame % 3 == 0 ? 0x81 : 0x00);
        w(0xB000, frame % 10 < 5 ? 0x0B : 0x00);
        w(0xB001, r(12));
        w(0xB002, frame % 10 < 7 ? 0x80 : 0x00);  // stops mid-ramp
        if (frame % 10 == 3) {
            // The sample stops, or plays once and runs out, leaving the DMC idle for a while.
            w(0x4010, frame % 20 < 10 ? 0x0C : 0x4C);
            w(0x4015, frame % 30 < 10 ? 0x0F : 0x1F);
        }
        if (frame % 8 == 4) w(0x4017, frame % 16 < 8 ? 0x80 : 0x40);
        for (int i = 0; frame % 11 == 0 && i < 40; ++i) w(0x4002, i);  // carries past the step end
        if (frame == 30) {
            // Nobody reads for three seconds: the buffer runs full and drops what does not fit.
            steps(150 * 312, false);
            const auto s = h.drain();
            c.samples.insert(c.samples.end(), s.begin(), s.end());
        }
        if (frame == 45) {
            EXPECT_EQ(h.apu.configure(true, 48000), nullptr);  // TV system switch
        }
        for (int step = 0; step < 312; step += 2) {
            if (frame % 4 == 1 || frame % 10 == 4) w(0x4011, r(step % 24) & 0x7F);
            steps(2, true);
        }
    }
    const auto s = h.drain();
    c.samples.insert(c.samples.end(), s.begin(), s.end());
    h.apu.catchUp();
    const Apu& a = h.apu;
    c.state = {a.pulse1.phase,   a.pulse2.phase,        a.pulse1.delay,        a.triangle.phase,
               a.triangle.delay, a.noise.shiftRegister, a.noise.delay,         a.dmc.dac,
               a.dmc.address,    a.vrc6.oscs[0].phase,  a.vrc6.sawAccumulator, a.vrc6.oscs[2].phase};
    return c;
}
}  // namespace

// Channels put off rendering until they change or samples are read: rendering everything at every
// write and step instead must give the same samples and state.
TEST(ApuLazyRendering, MatchesRenderingEverythingAtEveryStep) {
    const Capture lazy = play(false), eager = play(true);
    ASSERT_GT(lazy.samples.size(), 60000u);
    EXPECT_GT(measurePeakToPeak(lazy.samples), 5000);
    ASSERT_EQ(lazy.samples.size(), eager.samples.size());
    for (std::size_t i = 0; i < lazy.samples.size(); ++i) ASSERT_EQ(lazy.samples[i], eager.samples[i]) << i;
    EXPECT_EQ(lazy.state, eager.state);
}

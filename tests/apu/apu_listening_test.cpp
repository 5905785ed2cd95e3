#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "apu/ApuHarness.h"

namespace {
constexpr double kPal = 1662607.0;
constexpr double kNtsc = 1789773.0;

// Pulse `channel` (0 or 1) at constant volume with the given duty select, period and volume.
void playPulse(ApuHarness& h, int channel, int duty, int period, int volume, std::uint8_t sweep = 0x08) {
    const std::uint16_t base = static_cast<std::uint16_t>(0x4000 + 4 * channel);
    h.write(0x4015, 0x0F);
    h.write(base, static_cast<std::uint8_t>(duty << 6 | 0x30 | volume));
    h.write(base + 1, sweep);  // by default off with negate: no overflow mute
    h.write(base + 2, static_cast<std::uint8_t>(period & 0xFF));
    h.write(base + 3, static_cast<std::uint8_t>(0xF8 | (period >> 8)));
}

void playTriangle(ApuHarness& h, int period) {
    h.write(0x4015, 0x0F);
    h.write(0x4008, 0xFF);  // counters halted
    h.write(0x400A, static_cast<std::uint8_t>(period & 0xFF));
    h.write(0x400B, static_cast<std::uint8_t>(0xF8 | (period >> 8)));
}

void playNoise(ApuHarness& h, int periodIndex, int volume) {
    h.write(0x4015, 0x0F);
    h.write(0x400C, static_cast<std::uint8_t>(0x30 | volume));
    h.write(0x400E, static_cast<std::uint8_t>(periodIndex));
    h.write(0x400F, 0xF8);
}

// Skips the start-up transient, then renders a steady stretch.
std::vector<std::int16_t> listen(ApuHarness& h, double seconds = 0.5) {
    h.renderSeconds(0.05);
    return h.renderSeconds(seconds);
}
}  // namespace

TEST(ApuListening, PulseAndTrianglePitchInBothTvSystems) {
    for (bool ntsc : {false, true}) {
        const double clock = ntsc ? kNtsc : kPal;
        for (int period : {0x0FD, 0x1AB, 0x06A, 0x3F8}) {
            ApuHarness h(ntsc);
            playPulse(h, period & 1, 2, period, 15);  // both pulses share the oscillator
            const double want = clock / (16.0 * (period + 1));
            const double got = measureFrequency(listen(h), h.sampleRate());
            EXPECT_NEAR(got / want, 1.0, 0.002) << "pulse ntsc=" << ntsc << " period=" << period;

            ApuHarness t(ntsc);
            playTriangle(t, period);
            const double tri = measureFrequency(listen(t), t.sampleRate());
            EXPECT_NEAR(tri / (want / 2), 1.0, 0.002) << "triangle ntsc=" << ntsc << " period=" << period;
        }
    }
}

TEST(ApuListening, PulseDutyCyclesAndLinearVolume) {
    const double expected[4] = {0.125, 0.25, 0.5, 0.75};
    for (int duty = 0; duty < 4; ++duty) {
        ApuHarness h;
        playPulse(h, 0, duty, 0x1FF, 15);  // ~203 Hz: long periods, sharp edges
        EXPECT_NEAR(measureDutyCycle(listen(h)), expected[duty], 0.02) << duty;
    }
    ApuHarness loud, soft;
    playPulse(loud, 0, 2, 0x0FD, 15);
    playPulse(soft, 0, 2, 0x0FD, 8);
    EXPECT_NEAR(measureRms(listen(loud)) / measureRms(listen(soft)), 15.0 / 8.0, 0.01);
}

// The triangle, noise and DMC share a compressive curve: together they come out quieter than
// the sum of each on its own.
TEST(ApuListening, NonlinearMixCompresses) {
    auto render = [](bool tri, bool noise) {
        ApuHarness h;
        if (tri) playTriangle(h, 0x080);
        if (noise) playNoise(h, 6, 15);
        return listen(h, 0.3);
    };
    const auto t = render(true, false), n = render(false, true), both = render(true, true);
    ASSERT_EQ(t.size(), both.size());
    std::vector<std::int16_t> sum(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) sum[i] = static_cast<std::int16_t>(t[i] + n[i]);
    EXPECT_GT(measureRms(t), 500);
    EXPECT_GT(measureRms(n), 500);
    EXPECT_LT(measureRms(both), 0.97 * measureRms(sum));
    EXPECT_GT(measureRms(both), 0.7 * measureRms(sum));
}

// The VRC6 pulse (duty 8/16, volume 15) divides its period + 1 by 16 steps, the saw (rate 32)
// by 14 clocks.
TEST(ApuListening, Vrc6PulseAndSawPitch) {
    for (auto [base, control, steps] : {std::tuple{0x9000, 0x7F, 16.0}, {0xB000, 0x20, 14.0}}) {
        ApuHarness h;
        h.write(std::uint16_t(base), std::uint8_t(control));
        h.write(std::uint16_t(base + 1), 0xFD);
        h.write(std::uint16_t(base + 2), 0x80);
        EXPECT_NEAR(measureFrequency(listen(h), h.sampleRate()) / (kPal / (steps * 0xFE)), 1.0, 0.002) << base;
    }
}

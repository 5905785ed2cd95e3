// Register behaviour of the 2A03 and VRC6 channels as traces (tests/data/apu/*.txt: the channel
// state changed by each line, the DMC's reads, rendered audio in brief); then the sound paths:
// lazy rendering, the band-limited buffers and synth, the mixer, fast paths.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <sstream>
#include <tuple>
#include <vector>

#include "apu/Apu.h"
#include "apu/ApuChannels.h"
#include "apu/ApuHarness.h"
#include "apu/BandLimitedBuffer.h"
#include "apu/BandLimitedSynth.h"
#include "apu/NonlinearMixer.h"
#include "apu/Nonlinear_Buffer.h"
#include "tests/ExpectedText.h"
#include "tests/TraceScripts.h"

namespace fs = std::filesystem;

namespace {

const fs::path kDir = fs::path(BF_SOURCE_DIR) / "tests/data/apu";

// FNV-1a of 16-bit values.
template <typename T>
std::uint64_t fnv(const std::vector<T>& values) {
    std::uint64_t hash = 1469598103934665603ull;
    for (T v : values) hash = (hash ^ std::uint16_t(v)) * 1099511628211ull;
    return hash;
}

std::vector<std::pair<std::string, int>> state(const Apu& a) {
    const PulseChannel &p1 = a.pulse1, &p2 = a.pulse2;
    const TriangleChannel& t = a.triangle;
    const NoiseChannel& n = a.noise;
    return {
        {"p1.len", p1.lengthCounter},   {"p1.phase", p1.phase},           {"p1.period", p1.period()},
        {"p2.len", p2.lengthCounter},   {"p2.phase", p2.phase},           {"p2.period", p2.period()},
        {"tri.len", t.lengthCounter},   {"tri.phase", t.phase},           {"tri.level", t.lastAmplitude},
        {"noise.len", n.lengthCounter}, {"noise.shift", n.shiftRegister}, {"dmc.level", a.dmc.dac},
        {"dmc.address", a.dmc.address}, {"dmc.len", a.dmc.lengthCounter}, {"enables", a.channelEnables()}};
}

std::string run(std::istream& script) {
    std::unique_ptr<ApuHarness> h;
    std::vector<int> reads, last;
    std::ostringstream out;
    for (std::string line; std::getline(script, line) && line != "--- trace";) {
        std::istringstream in(line);
        std::string op, a, b;
        if (!(in >> op) || op[0] == '#') continue;
        in >> a >> b;
        if (op == "apu") {
            h = std::make_unique<ApuHarness>(a == "ntsc");
            changes(state(h->apu), last);
            out << line << "\n";
            continue;
        }
        if (!h) throw std::runtime_error("no apu before: " + line);
        std::ostringstream seen;
        if (op == "w") {  // w ADDRESS VALUE, both hex
            h->write(std::uint16_t(std::stoi(a, nullptr, 16)), std::uint8_t(std::stoi(b, nullptr, 16)));
        } else if (op == "reader") {  // the DMC reads through a log; every bit it answers raises the level
            const auto logRead = [](void* log, std::uint16_t address) -> std::uint8_t {
                static_cast<std::vector<int>*>(log)->push_back(address);
                return 0xFF;
            };
            h->apu.setSampleReader(logRead, &reads);
        } else if (op == "steps" || op == "frames") {
            h->endSteps(std::stoi(a) * (op == "frames" ? ApuHarness::kStepsPerFrame : 1));
        } else if (op == "step") {  // N single steps, each traced
            for (int n = std::stoi(a); n > 0; --n) {
                h->endSteps(1);
                if (n > 1) seen << changes(state(h->apu), last);
            }
        } else if (op == "render") {  // SECONDS: sample count, measures and FNV-1a hash
            const std::vector<std::int16_t> s = h->renderSeconds(std::stod(a));
            seen << " samples=" << s.size() << " p2p=" << measurePeakToPeak(s) << " rms=" << measureRms(s)
                 << " hz=" << measureFrequency(s, h->sampleRate()) << " duty=" << measureDutyCycle(s)
                 << " hash=" << std::hex << fnv(s) << std::dec;
        } else if (op == "cycles") {
            seen << " cycles=" << h->apu.cyclesElapsed();
        } else {
            throw std::runtime_error("unknown line: " + line);
        }
        seen << changes(state(h->apu), last);
        for (int r : reads) seen << " read=" << std::hex << r << std::dec;
        reads.clear();
        out << line << " |" << seen.str() << "\n";
    }
    return out.str();
}

KEPT_TRACE_SUITE(ApuTrace, kDir, run);

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
    const auto take = [&] {
        for (std::int16_t v : h.drain()) c.samples.push_back(v);
    };
    auto w = [&](int address, int value) {
        h.write(static_cast<std::uint16_t>(address), static_cast<std::uint8_t>(value));
        if (eager) h.apu.catchUp();
    };
    int stepsRun = 0;
    auto steps = [&](int n, bool read) {
        for (int i = 0; i < n; ++i) {
            h.endSteps(1);
            if (eager) h.apu.catchUp();
            if (read && ++stepsRun % 50 == 0) take();
        }
    };
    for (const auto& [address, value] :
         {std::pair{0x4015, 0x1F}, {0x4010, 0x4C}, {0x4013, 0x20}, {0x4015, 0x1F}})
        w(address, value);
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
            take();
        }
        if (frame == 45) {
            EXPECT_EQ(h.apu.configure(true, 48000), nullptr);  // TV system switch
        }
        for (int step = 0; step < 312; step += 2) {
            if (frame % 4 == 1 || frame % 10 == 4) w(0x4011, r(step % 24) & 0x7F);
            steps(2, true);
        }
    }
    take();
    h.apu.catchUp();
    const Apu& a = h.apu;
    c.state = {a.pulse1.phase,   a.pulse2.phase,        a.pulse1.delay,        a.triangle.phase,
               a.triangle.delay, a.noise.shiftRegister, a.noise.delay,         a.dmc.dac,
               a.dmc.address,    a.vrc6.oscs[0].phase,  a.vrc6.sawAccumulator, a.vrc6.oscs[2].phase};
    return c;
}

std::vector<std::int16_t> readAll(Nonlinear_Buffer& out) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(out.samplesAvailable()));
    s.resize(static_cast<std::size_t>(out.readSamples(s.data(), static_cast<long>(s.size()))));
    return s;
}
// 44100 samples a second from `clock` cycles; at one sample a cycle resampled times are exact,
// and the high-pass is turned off so that levels hold.
void setRates(Nonlinear_Buffer& out, long clock = 44100, int ms = 0) {
    ASSERT_EQ(out.setSampleRate(44100, ms), nullptr);
    out.setClockRate(clock);
    if (clock == 44100) out.setBassFrequency(0);
    out.clear();
}

}  // namespace

TEST(Apu, SampleMemoryAnswersOpenBusOutsideTheImage) {
    std::vector<std::uint8_t> image = {1, 2, 3, 4}, empty;
    // The image starts at $C000; below it, past its end and without one the bus answers $55.
    EXPECT_EQ(readSampleMemory(nullptr, 0xC000), 0x55);
    EXPECT_EQ(readSampleMemory(&empty, 0xC000), 0x55);
    for (const auto& [address, value] :
         {std::pair{0xBFFF, 0x55}, {0x8000, 0x55}, {0xC000, 1}, {0xC003, 4}, {0xC004, 0x55}, {0xFFFF, 0x55}})
        EXPECT_EQ(readSampleMemory(&image, std::uint16_t(address)), value) << std::hex << address;
}

// Long bursts of writes carry time into the next step; unknown addresses only advance the clock;
// writes to an oscillator or register the VRC6 does not have change nothing.
TEST(Apu, WriteBurstsAndStrayWrites) {
    ApuHarness h;
    h.write(0x4015, 0x0F);
    for (int i = 0; i < 200; ++i) h.write(static_cast<std::uint16_t>(0x4000 + (i % 4)), 0xBF);
    for (std::uint32_t a = 0; a < 0x10000; a += 0x3F)
        if (a != 0x4015 && a != 0x4017) h.write(static_cast<std::uint16_t>(a), 0x5A);
    h.endSteps(400);
    EXPECT_EQ(h.render(4000).size(), 4000u);
    Vrc6Sound vrc6;
    vrc6.writeOsc(0, 3, 0, 0x7F);
    vrc6.writeOsc(0, 0, 3, 0x7F);
    EXPECT_EQ(vrc6.sawAccumulator, 0);
    for (const Vrc6Sound::Oscillator& osc : vrc6.oscs) EXPECT_EQ(osc.regs[0] | osc.regs[1] | osc.regs[2], 0);
}

// The time base moves on as samples are read; a channel nobody writes must move with it, not
// drift towards the end of the int range (reached after some twenty minutes of play).
TEST(Apu, TimesOfUnwrittenChannelsStayNearTheCurrentStep) {
    ApuHarness h;
    h.write(0x4015, 0x01);
    h.write(0x4000, 0xBF);
    h.write(0x4002, 0x80);
    for (int i = 0; i < 40; ++i) {
        h.endFrames(10);
        h.drain();
    }
    h.apu.catchUp();
    const ApuChannel* unwritten[] = {&h.apu.pulse2, &h.apu.triangle, &h.apu.noise, &h.apu.dmc};
    for (const ApuChannel* c : unwritten) EXPECT_GT(c->due, -100000);
}

// Two rising crossings are the fewest that give a frequency: one period between them.
TEST(ApuHarness, FrequencyFromTwoCrossings) {
    EXPECT_EQ(measureFrequency({0, -100, 100, -100, 100, 0}, 1000), 500.0);
    EXPECT_EQ(measureFrequency({0, -100, 100, 0}, 1000), 0.0);
}

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

// Sizes, bass shifts, the resampling factor and a frame's samples, kept in apu/buffer_sizes.out.
// Triangle, noise and DMC (channels 2-4) go through the non-linear buffer; the rest is linear.
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
// A change of volume rescales the kernel without designing it again.
TEST(BandLimitedSynth, StepsSettleExactlyAtEveryPhaseAndVolumeRescales) {
    for (int width : {8, 12}) {
        BandLimitedSynth synth(width);
        synth.setVolumeUnit(0.1);
        const std::int32_t unit = static_cast<std::int32_t>(std::floor(0.1 * 65536 + 0.5));
        EXPECT_EQ(synth.biasWord(), 0x10001u * static_cast<std::uint32_t>(unit));
        for (int phase = 0; phase < 64; ++phase) {
            Nonlinear_Buffer out;
            setRates(out);
            // Place the step at sample 100 + phase/32 (odd sample positions use the upper half).
            synth.addStepResampled((100u << 16) + static_cast<std::uint32_t>(phase) * 2048u, 3, out.linear);
            synth.addStepResampled((200u << 16) + static_cast<std::uint32_t>(phase) * 2048u, -1, out.linear);
            out.endFrame(400);
            auto s = readAll(out);
            ASSERT_EQ(s.size(), 400u);
            EXPECT_EQ(std::make_tuple(s[90], s[150], s[399]), std::make_tuple(0, 3 * unit, 2 * unit))
                << width << " " << phase;
        }
    }

    BandLimitedSynth synth(12);
    EXPECT_TRUE(synth.kernelPending());
    synth.setVolumeUnit(0.25);
    EXPECT_FALSE(synth.kernelPending());
    std::vector<std::uint16_t> raw(synth.rawKernel(), synth.rawKernel() + 17 * 12);
    synth.setVolumeUnit(0.5);
    EXPECT_EQ(std::vector<std::uint16_t>(synth.rawKernel(), synth.rawKernel() + 17 * 12), raw);
    EXPECT_EQ(synth.biasWord(), 0x10001u * 32768u);
    // The kernel is a low-pass step: the middle taps of the first row carry most of the weight.
    EXPECT_GT(synth.stepTable()[5] + synth.stepTable()[6] - 2 * 32768, 32768 / 2);
}

// A new mixer's state and its curve's 2048 entries, kept in apu/mixer_table.out.
TEST(NonlinearMixer, TablePassThroughAndTop) {
    NonlinearMixer mixer;
    std::ostringstream out;
    out << "enabled " << mixer.enabled << ", accumulator " << mixer.accumulator << "\n";
    for (int i = 0; i < 2048; ++i) out << mixer.table[i] << (i % 16 == 15 ? "\n" : " ");
    expectTestData("apu/mixer_table.out", out.str());
}

// The sounding noise skips from one output change to the next: in both modes, at every rate, over
// spans shorter and far longer than a skip, its state and steps are kept in apu/noise_skips.out.
TEST(NoiseChannel, SkippingToEachChangeAndCountingMutedClocks) {
    std::ostringstream out;
    for (int mode : {0x00, 0x80}) {
        for (int rate = 0; rate < 16; ++rate) {
            BandLimitedBuffer buffer;
            buffer.setClockRate(1662607);
            ASSERT_EQ(buffer.setSampleRate(44100, 0), nullptr);
            NoiseChannel noise;
            noise.synth.setVolumeUnit(0.003564356435643564);
            noise.output = &buffer;
            noise.regs[0] = 0x3B;  // constant volume 11
            noise.regs[2] = std::uint8_t(mode | rate);
            noise.lengthCounter = 30;
            noise.shiftRegister = 0x4000 + rate * 77;
            out << std::hex << (mode | rate) << ":" << std::dec;
            for (int span : {3, 106, 107, 1, 2000, 45, 9000, 106, 40000}) {
                noise.run(0, span);
                buffer.endFrame(span);
                out << " " << noise.shiftRegister << "/" << noise.delay << "/" << noise.lastAmplitude;
            }
            out << " steps " << std::hex
                << fnv(std::vector<std::uint16_t>(
                       buffer.samples(), buffer.samples() + buffer.size() + BandLimitedBuffer::kExtra))
                << std::dec << "\n";
        }
    }
    expectTestData("apu/noise_skips.out", out.str());
    // The muted noise counts timer clocks by a multiply with the period's reciprocal.
    for (int rate = 0; rate < 16; ++rate) {
        const auto reg2 = static_cast<std::uint8_t>(0x80 | rate);
        for (int span = 1; span < (1 << 20) + 5000; span += span < 70000 ? 1 : 37) {
            ASSERT_EQ(NoiseChannel::clocksToReach(-span, 0, reg2),
                      ApuChannel::periodsToReach(-span, 0, NoiseChannel::timerPeriodOf(reg2)))
                << "rate " << rate << " span " << span;
        }
    }
}

// The reader integrates both buffers in one pass, applying the mixer curve on the fly (a loop of
// its own for equal high-pass strengths): samples and end state kept in apu/fused_read.out.
TEST(Nonlinear_Buffer, FusedReadClampsAndStaysInBounds) {
    std::ostringstream text;
    for (bool curve : {true, false}) {
        for (int nonlinearBass : {16, 90}) {
            Nonlinear_Buffer out;
            setRates(out, 1662607);
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
            std::vector<std::int16_t> got;
            for (long chunk : {1L, 333L, 4096L, 100000L}) {
                std::vector<std::int16_t> part(static_cast<std::size_t>(chunk));
                part.resize(static_cast<std::size_t>(out.readSamples(part.data(), chunk)));
                got.insert(got.end(), part.begin(), part.end());
            }
            text << "curve " << curve << " bass " << nonlinearBass << ": " << got.size() << " samples "
                 << std::hex << fnv(got) << std::dec << ", accumulators " << out.linear.readerAccumulator
                 << " " << out.nonlinear.readerAccumulator << " " << out.mixer.accumulator << "\n";
        }
    }
    expectTestData("apu/fused_read.out", text.str());
    // Sums out of range clamp; a reader that fell behind must not let a step write past the array.
    for (int sign : {1, -1}) {
        Nonlinear_Buffer out;
        setRates(out);
        BandLimitedSynth synth(8);
        synth.setVolumeUnit(0.4);
        synth.addStepResampled(10u << 16, sign, out.linear);
        synth.addStepResampled(10u << 16, sign, out.nonlinear);
        out.endFrame(100);
        auto s = readAll(out);
        ASSERT_EQ(s.size(), 100u);
        EXPECT_EQ(s[99], sign > 0 ? 32767 : -32768);
    }
    Nonlinear_Buffer out;
    setRates(out, 1662607, 10);
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

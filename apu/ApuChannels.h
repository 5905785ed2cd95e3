#pragma once
// The five 2A03 sound channels. Each renders only amplitude changes, in whole timer periods,
// over a span [start, end) of CPU cycles relative to the start of the current scanline step (a
// span may begin in an earlier step: negative times); the frame sequencer clocks lengths,
// envelopes, the sweep and the linear counter from the Apu.
//
// Rendering a span in one piece or in several gives the same output and state, with one
// exception the Apu keeps track of: a muted noise channel turns its shift register once per
// span.

#include <array>
#include <cstdint>

#include "apu/ApuRegisters.h"
#include "apu/BandLimitedBuffer.h"
#include "apu/BandLimitedSynth.h"

// A byte source for the DMC: (context, CPU address $8000-$FFFF) -> byte.
using SampleReader = std::uint8_t (*)(void* context, std::uint16_t address);

struct ApuChannel {
    std::uint8_t regs[4] = {};
    bool regWritten[4] = {};
    BandLimitedBuffer* output = nullptr;  // null: the channel is not rendered
    int lengthCounter = 0;
    // Kept by the Apu on its own time base: the time the channel counts as run up to (writes and
    // sequencer clocks take effect no earlier; the Apu may count all channels further at once),
    // and the time it has been rendered up to, which may lag behind until the samples are read
    // or the channel changes.
    int due = 0;
    int lastRun = 0;
    int delay = 0;          // cycles from the end of the last run to the next timer event
    int lastAmplitude = 0;  // level last handed to the synthesiser
    // Set by register writes, sequencer clocks and reconfiguration: anything but the channel's
    // own timer that can change its level. A clean channel whose next timer event lies past a
    // span has nothing to render in it.
    bool dirty = true;

    // True when run(start, end) would only count down the timer; does that itself.
    bool idleThrough(int start, int end) {
        if (dirty || start + delay < end) return false;
        delay -= end - start;
        return true;
    }

    int period() const { return regs[2] | ((regs[3] & 7) << 8); }
    void reset();
    // Number of whole timer periods needed to reach `end` from `time` (time < end). Most spans
    // are one scanline step, shorter than the period: no division then.
    static int periodsToReach(int time, int end, int period) {
        const int span = end - time;
        return span <= period ? 1 : (span + period - 1) / period;
    }
    // Length counter clock of the frame sequencer; `haltMask` is the halt bit of register 0.
    void clockLength(std::uint8_t haltMask);
};

struct EnvelopeChannel : ApuChannel {
    int envelope = 0;  // 0..15
    int envelopeDelay = 0;

    // 0 while the length counter is 0.
    int volume() const {
        if (lengthCounter == 0) return 0;
        return (regs[0] & 0x10) ? (regs[0] & 0x0F) : envelope;
    }
    void clockEnvelope();
    void reset();
};

struct PulseChannel : EnvelopeChannel {
    int phase = 0;  // duty step 0..7
    int sweepDelay = 0;
    const BandLimitedSynth* synth = nullptr;  // shared by both pulses

    // `negativeAdjust` is -1 for pulse 1 (ones' complement) and 0 for pulse 2.
    void clockSweep(int negativeAdjust);
    void run(int start, int end);
    void reset();
};

struct TriangleChannel : ApuChannel {
    static constexpr int kPhaseRange = 16;
    int phase = kPhaseRange;  // 1..32
    int linearCounter = 0;
    BandLimitedSynth synth{12};

    int amplitude() const;
    void clockLinearCounter();
    void run(int start, int end);
    void reset();
};

struct NoiseChannel : EnvelopeChannel {
    int shiftRegister = 0x4000;
    BandLimitedSynth synth{8};

    // Muted, a run only turns the shift register once: how the time is cut into runs matters.
    bool muted() const { return !output || volume() == 0; }

    void run(int start, int end);
    // run(start, end) for a channel that is clean (not dirty) with volume 0: no step, only the
    // timer and the once-per-run turn of the register.
    void runQuiet(int start, int end) {
        int time = start + delay;
        if (time < end) {
            time += clocksToReach(time, end, regs[2]) * timerPeriodOf(regs[2]);
            if (!(regs[2] & NOISE_SHORT_MODE)) shiftRegister = turned(shiftRegister);
        }
        delay = time - end;
    }
    void reset();

    static int timerPeriodOf(std::uint8_t reg2) { return kPeriods[reg2 & 0x0F]; }
    // periodsToReach for the timer period of register 2 `reg2`, by a multiply with the period's
    // reciprocal rather than a division: exact for spans below 2^20 cycles, which covers every
    // span a step or a write burst makes (longer ones divide).
    static int clocksToReach(int time, int end, std::uint8_t reg2) {
        const auto span = static_cast<std::uint32_t>(end - time);
        const auto period = static_cast<std::uint32_t>(kPeriods[reg2 & 0x0F]);
        if (span <= period) return 1;
        const std::uint32_t x = span + period - 1;
        if (x < (1u << 20)) return static_cast<int>((std::uint64_t{x} * kReciprocals[reg2 & 0x0F]) >> 32);
        return static_cast<int>(x / period);
    }
    // The register one clock on in long mode.
    static int turned(int r) { return (((r << 14) ^ (r << 13)) & 0x4000) | (r >> 1); }

  private:
    // Timer periods in CPU cycles, indexed by register 2 bits 0-3.
    static constexpr int kPeriods[16] = {4, 8, 16, 32, 64, 96, 128, 160, 202, 254, 380, 508, 762, 1016, 2034, 4068};
    // floor(2^32 / period) + 1: x times it over 2^32 exceeds x / period by less than x / 2^32,
    // too little to reach the next whole number while x < 2^32 / 4068.
    static constexpr auto kReciprocals = [] {
        std::array<std::uint64_t, 16> r{};
        for (int i = 0; i < 16; ++i) r[i] = (std::uint64_t{1} << 32) / static_cast<std::uint64_t>(kPeriods[i]) + 1;
        return r;
    }();
};

class Apu;

struct DmcChannel : ApuChannel {
    static constexpr int kNoTime = 0x40000000;  // an IRQ time of "none"

    int address = 0;  // 15-bit address counter
    int buffer = 0;
    bool bufferEmpty = true;
    bool silence = true;
    int shiftRegister = 0;
    int bitsRemaining = 1;
    int dac = 0;  // output level 0..127
    int period = 398;
    bool irqEnabled = false;
    bool irqFlag = false;
    int nextIrq = kNoTime;
    bool pal = true;
    SampleReader reader = nullptr;
    void* readerContext = nullptr;
    Apu* apu = nullptr;
    BandLimitedSynth synth{8};

    void writeRegister(int reg, int value);
    // Starts the sample from register 2 and 3 (channel-enable bit 4 rising).
    void start();
    void fetch();
    void recalcIrq();
    void run(int start, int end);
    void reset();
    // Bytes remaining is the DMC's length counter.

  private:
    // Plays output bits from `time` until `end`; returns the time of the next bit.
    template <class Steps>
    int playBits(Steps steps, int time, int end);
};

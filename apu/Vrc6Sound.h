#pragma once
// The VRC6 expansion sound: two pulse oscillators with 16-step duty and a sawtooth. Times are
// CPU cycles in the current scanline step.

#include <cstdint>

#include "apu/BandLimitedBuffer.h"
#include "apu/BandLimitedSynth.h"

class Vrc6Sound {
  public:
    static constexpr int kOscCount = 3;  // 0, 1 pulses, 2 sawtooth

    struct Oscillator {
        std::uint8_t regs[3] = {};
        BandLimitedBuffer* output = nullptr;
        int delay = 0;
        int lastAmplitude = 0;
        int phase = 1;

        int period() const { return (regs[2] & 0x0F) * 0x100 + regs[1] + 1; }
    };

    Vrc6Sound();
    void reset();

    // Routes every oscillator to `buffer` (null: not rendered).
    void setOutput(BandLimitedBuffer* buffer);
    // Stores register `reg` (0-2) of oscillator `osc` (0-2), after running up to `time`.
    void writeOsc(int time, int osc, int reg, int value);
    // Runs every oscillator up to `time` (no-op when already there).
    void runUntil(int time);
    // Shifts the time base at a step end of `cycles`.
    void endFrame(int cycles) { lastTime -= cycles; }

    Oscillator oscs[kOscCount];
    int sawAccumulator = 0;
    int lastTime = 0;
    BandLimitedSynth sawSynth{8};
    BandLimitedSynth pulseSynth{12};

  private:
    void runPulse(Oscillator& osc, int end);
    void runSaw(int end);
};

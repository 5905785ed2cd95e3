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
    // Stores register `reg` (0-2) of oscillator `osc` (0-2) at `time`, or at the time the chip
    // already counts as run up to when that is later; renders up to there first.
    void writeOsc(int time, int osc, int reg, int value);
    // Counts the chip as run up to `time`, rendering at once only when the sawtooth needs it.
    void advance(int time) {
        if (time > due) due = time;
        if (eager_) runUntil(due);
    }
    // Renders everything counted as run so far.
    void catchUp() { runUntil(due); }
    // The sawtooth shows a new accumulator level only from the start of the next run, so while
    // it runs or has a level pending, its output depends on where runs are cut: the chip must
    // then render at every step end and write.
    bool rendersEagerly() const { return eager_; }
    // Renders every oscillator up to `time` (no-op when already there).
    void runUntil(int time);
    // Shifts the time base at a step end of `cycles`.
    void endFrame(int cycles) {
        lastTime -= cycles;
        due -= cycles;
    }

    // Not next to lastTime: a step end stores `due` and then shifts both, and a compiler that
    // pairs the two shifts into one wide load would wait for that store on every step.
    int due = 0;  // counted as run up to (>= lastTime)
    Oscillator oscs[kOscCount];
    int sawAccumulator = 0;
    int lastTime = 0;  // rendered up to
    BandLimitedSynth sawSynth{8};
    BandLimitedSynth pulseSynth{12};

  private:
    bool eager_ = false;
    // Recomputes eager_; after anything that changes the sawtooth's registers or levels.
    void updateEager() {
        eager_ = (oscs[2].regs[2] & 0x80) || (sawAccumulator >> 3) != oscs[2].lastAmplitude;
    }
    void runPulse(Oscillator& osc, int end);
    void runSaw(int end);
};

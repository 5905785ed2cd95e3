#include "apu/ApuChannels.h"

#include <algorithm>
#include <bit>

#include "apu/Apu.h"
#include "apu/ApuRegisters.h"

namespace {
// DMC cycles per output bit: row 0 NTSC, row 1 PAL.
constexpr int kDmcPeriods[2][16] = {
    {428, 380, 340, 320, 286, 254, 226, 214, 190, 160, 142, 128, 106, 84, 72, 54},
    {398, 353, 316, 297, 266, 236, 210, 199, 177, 149, 132, 119, 98, 78, 67, 50}};
}  // namespace

void ApuChannel::reset() {
    for (auto& r : regs) r = 0;
    for (auto& w : regWritten) w = false;
    lengthCounter = 0;
    dirty = true;
    lastRun = 0;
    due = 0;
    delay = 0;
    lastAmplitude = 0;
}

void ApuChannel::clockLength(std::uint8_t haltMask) {
    if (!(regs[0] & haltMask) && lengthCounter > 0) --lengthCounter;
}

void EnvelopeChannel::reset() {
    ApuChannel::reset();
    envelope = 0;
    envelopeDelay = 0;
}

void EnvelopeChannel::clockEnvelope() {
    const int period = regs[0] & 0x0F;
    if (regWritten[3]) {
        regWritten[3] = false;
        envelopeDelay = period;
        envelope = 15;
    } else if (--envelopeDelay < 0) {
        envelopeDelay = period;
        // The length-halt bit loops the decay; otherwise it stops at 0.
        if ((regs[0] & CONTROL_LENGTH_HALT) || envelope) envelope = (envelope - 1) & 15;
    }
}

// ---------------------------------------------------------------------------------------------
// Pulse

void PulseChannel::reset() {
    EnvelopeChannel::reset();
    phase = 0;
    sweepDelay = 0;
}

void PulseChannel::clockSweep(int negativeAdjust) {
    if (--sweepDelay < 0) {
        regWritten[1] = true;
        const int shift = regs[1] & SWEEP_SHIFT_MASK;
        const int p = period();
        if (shift && (regs[1] & SWEEP_ENABLE) && p >= 8) {
            int offset = p >> shift;
            if (regs[1] & SWEEP_NEGATE) offset = negativeAdjust - offset;
            if (p + offset < 0x800) {
                const int next = p + offset;
                regs[2] = static_cast<std::uint8_t>(next & 0xFF);
                regs[3] = static_cast<std::uint8_t>((regs[3] & ~7) | ((next >> 8) & 7));
            }
        }
    }
    if (regWritten[1]) {
        regWritten[1] = false;
        sweepDelay = (regs[1] >> 4) & 7;
    }
}

void PulseChannel::run(int start, int end) {
    if (idleThrough(start, end)) return;
    dirty = false;
    const int vol = volume();
    const int p = period();
    const int timerPeriod = (p + 1) * 2;
    // The sweep unit mutes the channel whenever its target would overflow, enabled or not.
    int offset = p >> (regs[1] & 7);
    if (regs[1] & 0x08) offset = 0;

    int time = start + delay;
    if (!output || !synth || vol == 0 || p < 8 || p + offset >= 0x800) {
        if (lastAmplitude) {
            if (output && synth) synth->addStep(start, -lastAmplitude, *output);
            lastAmplitude = 0;
        }
        // Keep the duty sequencer turning so the phase stays continuous.
        if (time < end) {
            const int count = periodsToReach(time, end, timerPeriod);
            phase = (phase + count) & 7;
            time += count * timerPeriod;
        }
    } else {
        const int select = regs[0] >> 6;
        const int duty = select == 3 ? 2 : 1 << select;  // 75 % is 25 % inverted
        int amp = phase < duty ? vol : 0;
        if (select == 3) amp = vol - amp;
        if (amp != lastAmplitude) synth->addStep(start, amp - lastAmplitude, *output);
        lastAmplitude = amp;
        if (time < end) {
            int step = amp ? -vol : vol;  // the next edge
            int ph = phase;
            synth->withCursor(*output, time, timerPeriod, [&](auto edges) {
                do {
                    ph = (ph + 1) & 7;
                    if (ph == 0 || ph == duty) {
                        edges.add(step);
                        step = -step;
                    }
                    time += timerPeriod;
                    edges.next();
                } while (time < end);
            });
            phase = ph;
            lastAmplitude = step < 0 ? vol : 0;
        }
    }
    delay = time - end;
}

// ---------------------------------------------------------------------------------------------
// Triangle

void TriangleChannel::reset() {
    ApuChannel::reset();
    phase = kPhaseRange;
    linearCounter = 0;
}

int TriangleChannel::amplitude() const {
    // Phases 16..1 rise from 0 to 15, phases 32..17 fall from 15 to 0.
    int amp = kPhaseRange - phase;
    if (amp < 0) amp = phase - (kPhaseRange + 1);
    return amp;
}

void TriangleChannel::clockLinearCounter() {
    if (regWritten[3])
        linearCounter = regs[0] & 0x7F;
    else if (linearCounter)
        --linearCounter;
    // The control bit keeps the reload pending for as long as it is set.
    if (!(regs[0] & TRIANGLE_CONTROL)) regWritten[3] = false;
}

void TriangleChannel::run(int start, int end) {
    if (idleThrough(start, end)) return;
    dirty = false;
    const int amp = amplitude();
    if (output && amp != lastAmplitude) synth.addStep(start, amp - lastAmplitude, *output);
    lastAmplitude = amp;

    const int timerPeriod = period() + 1;
    // Ultrasonic periods are stopped rather than played, holding the current level.
    if (!lengthCounter || !linearCounter || timerPeriod < 3) {
        delay = 0;
        return;
    }
    int time = start + delay;
    if (time < end) {
        if (!output) {
            const int count = periodsToReach(time, end, timerPeriod);
            time += count * timerPeriod;
            phase = ((phase - 1 - count) % 32 + 32) % 32 + 1;
        } else {
            // Fold the falling half onto 1..16 with a negative slope; the slope turns without
            // a step at both ends, where the level is held for one period.
            int ph = phase;
            int slope = 1;
            if (ph > kPhaseRange) {
                ph -= kPhaseRange;
                slope = -1;
            }
            synth.withCursor(*output, time, timerPeriod, [&](auto steps) {
                do {
                    if (--ph == 0) {
                        ph = kPhaseRange;
                        slope = -slope;
                    } else {
                        steps.add(slope);
                    }
                    time += timerPeriod;
                    steps.next();
                } while (time < end);
            });
            if (slope < 0) ph += kPhaseRange;
            phase = ph;
            lastAmplitude = amplitude();
        }
    }
    delay = time - end;
}

// ---------------------------------------------------------------------------------------------
// Noise

void NoiseChannel::reset() {
    EnvelopeChannel::reset();
    shiftRegister = 0x4000;
}

void NoiseChannel::run(int start, int end) {
    if (idleThrough(start, end)) return;
    dirty = false;
    const int timerPeriod = timerPeriodOf(regs[2]);
    const int vol = volume();
    const int amp = (shiftRegister & 1) ? vol : 0;
    if (output && amp != lastAmplitude) synth.addStep(start, amp - lastAmplitude, *output);
    lastAmplitude = amp;

    int time = start + delay;
    if (time < end) {
        if (!output || vol == 0) {
            // Muted: skip to the first period boundary past the end; the register turns once so
            // the next note does not start on the same bit pattern.
            time += periodsToReach(time, end, timerPeriod) * timerPeriod;
            if (!(regs[2] & NOISE_SHORT_MODE)) shiftRegister = turned(shiftRegister);
        } else {
            // The register holds the coming output bits: bit k is the output k clocks from now,
            // as long as k does not reach the bits fed back since. So the next change of output
            // is where bit k first differs from bit k + 1, and the register can move on by that
            // many clocks at once, its new top bits being the feedback of the bits it shifts
            // out: bit 0 XOR bit 1 (long mode, valid for up to 14 clocks at once) or bit 0 XOR
            // bit 6 (short mode, 9 clocks).
            const int tap = (regs[2] & NOISE_SHORT_MODE) ? 6 : 1;
            const int maxJump = 15 - tap;
            const unsigned cap = 1u << (maxJump - 1);
            unsigned n = static_cast<unsigned>(shiftRegister);
            int step = amp ? -vol : vol;
            int clocks = periodsToReach(time, end, timerPeriod);
            time += clocks * timerPeriod;
            synth.withCursor(*output, start + delay, timerPeriod, [&](auto edges) {
                for (;;) {
                    const unsigned differs = n ^ (n >> 1);
                    const int j = std::countr_zero(differs | cap);
                    const int jump = std::min(j + 1, clocks);
                    if (j < clocks && (differs >> j & 1)) {
                        edges.skip(j);
                        edges.add(step);
                        step = -step;
                        edges.skip(jump - j);
                    } else {
                        edges.skip(jump);
                    }
                    const unsigned feedback = (n ^ (n >> tap)) & ((1u << jump) - 1);
                    n = (n >> jump) | (feedback << (15 - jump));
                    clocks -= jump;
                    if (clocks == 0) break;
                }
            });
            shiftRegister = static_cast<int>(n);
            lastAmplitude = step < 0 ? vol : 0;
        }
    }
    delay = time - end;
}

// ---------------------------------------------------------------------------------------------
// DMC

void DmcChannel::reset() {
    ApuChannel::reset();
    address = 0;
    buffer = 0;
    bufferEmpty = true;
    silence = true;
    shiftRegister = 0;
    bitsRemaining = 1;
    dac = 0;
    irqEnabled = false;
    irqFlag = false;
    nextIrq = kNoTime;
    period = kDmcPeriods[pal ? 1 : 0][0];
}

void DmcChannel::writeRegister(int reg, int value) {
    if (reg == 0) {
        period = kDmcPeriods[pal ? 1 : 0][value & DMC_RATE_MASK];
        irqEnabled = (value & (DMC_IRQ_ENABLE | DMC_LOOP)) == DMC_IRQ_ENABLE;  // a looping sample raises none
        if (!irqEnabled) irqFlag = false;
        recalcIrq();
    } else if (reg == 1) {
        dac = value & 0x7F;  // heard from the next run on
    }
}

void DmcChannel::start() {
    address = 0x4000 + regs[2] * 0x40;
    lengthCounter = regs[3] * 0x10 + 1;
    fetch();
    recalcIrq();
}

void DmcChannel::fetch() {
    if (!bufferEmpty || !lengthCounter) return;
    buffer = reader(readerContext, static_cast<std::uint16_t>(0x8000 + (address & 0x7FFF)));
    bufferEmpty = false;
    address = (address + 1) & 0x7FFF;
    if (--lengthCounter == 0) {
        if (regs[0] & 0x40) {
            // Loop: the next fetch continues at the start, with no gap in the bit stream.
            address = 0x4000 + regs[2] * 0x40;
            lengthCounter = regs[3] * 0x10 + 1;
        } else {
            if (apu) apu->dmcFinished();
            irqFlag = irqEnabled;
            nextIrq = kNoTime;
        }
    }
}

void DmcChannel::recalcIrq() {
    int irq = kNoTime;
    if (irqEnabled && lengthCounter && apu)
        irq = lastRun + delay + ((lengthCounter - 1) * 8 + bitsRemaining - 1) * period + 1;
    nextIrq = irq;
    if (apu) apu->recalcIrq();
}

namespace {
// Stands in for a cursor when a channel is not rendered.
struct NoSteps {
    void add(int) {}
    void next() {}
};
}  // namespace

template <class Steps>
int DmcChannel::playBits(Steps steps, int time, int end) {
    // Locals: the sample reader and the buffer writes could otherwise alias every member.
    int level = dac;
    int bits = bitsRemaining;
    int shifter = shiftRegister;
    bool silent = silence;
    const int p = period;
    do {
        if (!silent) {
            // Each bit moves the level by 2, but never out of 0..127. The bits are sample data,
            // as good as random: choose the direction by arithmetic rather than by a branch the
            // processor would mispredict half the time.
            const int delta = ((shifter & 1) << 2) - 2;
            const int next = level + delta;
            if (static_cast<unsigned>(next) <= 127u) {
                level = next;
                steps.add(delta);
            }
            shifter >>= 1;
        }
        if (--bits == 0) {
            bits = 8;
            if (bufferEmpty) {
                silent = true;
            } else {
                silent = false;
                shifter = buffer;
                bufferEmpty = true;
                fetch();
            }
        }
        time += p;
        steps.next();
    } while (time < end);
    dac = level;
    bitsRemaining = bits;
    shiftRegister = shifter;
    silence = silent;
    return time;
}

void DmcChannel::run(int start, int end) {
    if (idleThrough(start, end)) return;
    dirty = false;
    if (output && dac != lastAmplitude) synth.addStep(start, dac - lastAmplitude, *output);
    lastAmplitude = dac;

    int time = start + delay;
    if (time < end) {
        if (silence && bufferEmpty) {
            const int count = periodsToReach(time, end, period);
            time += count * period;
            bitsRemaining = ((bitsRemaining - 1 + 8 - (count % 8)) % 8) + 1;
        } else {
            if (output)
                synth.withCursor(*output, time, period,
                                 [&](auto steps) { time = playBits(steps, time, end); });
            else
                time = playBits(NoSteps{}, time, end);
            lastAmplitude = dac;
        }
    }
    delay = time - end;
}

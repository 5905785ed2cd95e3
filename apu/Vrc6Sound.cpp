#include "apu/Vrc6Sound.h"

#include <algorithm>

Vrc6Sound::Vrc6Sound() { reset(); }

void Vrc6Sound::reset() {
    for (auto& osc : oscs) {
        for (auto& r : osc.regs) r = 0;
        osc.delay = 0;
        osc.lastAmplitude = 0;
        osc.phase = 1;
    }
    sawAccumulator = 0;
    lastTime = 0;
    due = 0;
    updateEager();
}

void Vrc6Sound::setOutput(BandLimitedBuffer* buffer) {
    for (auto& osc : oscs) osc.output = buffer;
}

void Vrc6Sound::writeOsc(int time, int osc, int reg, int value) {
    advance(time);
    runUntil(due);
    if (osc >= 0 && osc < kOscCount && reg >= 0 && reg < 3)
        oscs[osc].regs[reg] = static_cast<std::uint8_t>(value);
    updateEager();
}

void Vrc6Sound::runUntil(int time) {
    if (time <= lastTime) return;
    // Usually only the metronome uses this chip, a frame per beat: when all three are off and
    // silent, only the pulse timers need counting down.
    if (!((oscs[0].regs[2] | oscs[1].regs[2] | oscs[2].regs[2]) & 0x80) &&
        !(oscs[0].lastAmplitude | oscs[1].lastAmplitude | oscs[2].lastAmplitude) &&
        (sawAccumulator >> 3) == 0) {
        for (int i = 0; i < 2; ++i) oscs[i].delay = std::max(0, lastTime + oscs[i].delay - time);
        oscs[2].delay = 0;
        lastTime = time;
        return;
    }
    runPulse(oscs[0], time);
    runPulse(oscs[1], time);
    runSaw(time);
    lastTime = time;
    updateEager();
}

void Vrc6Sound::runPulse(Oscillator& osc, int end) {
    const int start = lastTime;
    if (!(osc.regs[2] & 0x80) && osc.lastAmplitude == 0) {  // disabled and already silent
        osc.delay = std::max(0, start + osc.delay - end);
        return;
    }
    const int vol = (osc.regs[2] & 0x80) ? (osc.regs[0] & 0x0F) : 0;
    const int duty = ((osc.regs[0] >> 4) & 7) + 1;
    const bool constant = osc.regs[0] & 0x80;  // mode bit: the output is the volume, no duty
    const int amp = (constant || osc.phase < duty) ? vol : 0;
    if (osc.output && amp != osc.lastAmplitude)
        pulseSynth.addStep(start, amp - osc.lastAmplitude, *osc.output);
    osc.lastAmplitude = amp;

    const int timerPeriod = osc.period();
    int time = start + osc.delay;
    if (vol && !constant && timerPeriod > 4 && osc.output) {
        if (time < end) {
            BandLimitedBuffer& out = *osc.output;
            int ph = osc.phase;
            int level = amp;
            do {
                if (++ph == 16) {
                    ph = 0;
                    if (level != vol) pulseSynth.addStep(time, vol - level, out);
                    level = vol;
                } else if (ph == duty) {
                    if (level) pulseSynth.addStep(time, -level, out);
                    level = 0;
                }
                time += timerPeriod;
            } while (time < end);
            osc.phase = ph;
            osc.lastAmplitude = level;
        }
    } else if (time < end) {
        time = end;
    }
    osc.delay = time - end;
}

void Vrc6Sound::runSaw(int end) {
    Oscillator& osc = oscs[2];
    const int start = lastTime;
    const int rate = osc.regs[0] & 0x3F;
    int amp = sawAccumulator >> 3;
    if (osc.output && amp != osc.lastAmplitude) sawSynth.addStep(start, amp - osc.lastAmplitude, *osc.output);
    osc.lastAmplitude = amp;

    if (!(osc.regs[2] & 0x80) || (rate == 0 && sawAccumulator == 0)) {
        osc.delay = 0;
        return;
    }
    const int timerPeriod = osc.period() * 2;
    int time = start + osc.delay;
    if (time < end) {
        int ph = osc.phase;
        int acc = sawAccumulator;
        do {
            // Seven accumulator steps make one ramp; the seventh resets it.
            if (--ph == 0) {
                ph = 7;
                acc = 0;
            }
            const int level = acc >> 3;
            if (level != amp) {
                if (osc.output) sawSynth.addStep(time, level - amp, *osc.output);
                amp = level;
            }
            acc = (acc + rate) & 0xFF;
            time += timerPeriod;
        } while (time < end);
        osc.phase = ph;
        sawAccumulator = acc;
        osc.lastAmplitude = amp;
    }
    osc.delay = time - end;
}

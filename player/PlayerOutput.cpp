// Envelopes, pitch to period, and the per-frame register writes of the five channels.

#include <algorithm>

#include "apu/ApuRegisters.h"
#include "player/DriverCode.h"
#include "player/Player.h"

namespace {

int historyIndex(const ChannelState& ch) {
    return ((ch.historyPos - ch.echoDelay) % HISTORY_LENGTH + HISTORY_LENGTH) % HISTORY_LENGTH;
}

bool echoing(const ChannelState& ch) { return ch.noteOn == 0 && ch.echoDelay != 0; }

}  // namespace

void Player::stepEnvelopes(int c) {
    if (c < 0 || c >= CHANNEL_COUNT) return;
    ChannelState& ch = channels[c];
    const Instrument& inst = instrumentOf(ch);
    bool volumeHeld = false;
    for (int k = 0; k < ENVELOPE_COUNT; ++k) {
        const Envelope& env = inst.envelopes[k];
        const int length = env.length();
        int value;
        if (length == 0) {
            // Only a damaged file leaves an envelope empty: play the kind's default value.
            value = DEFAULT_ENVELOPE_VALUE[k];
            ch.envPos[k] = 0;
        } else {
            int& pos = ch.envPos[k];
            if (pos >= length) pos = length - 1;
            if (pos < 0) pos = 0;
            value = std::clamp<int>(env.values[pos], 0, 255);
            ++pos;
            if (pos >= length) pos = env.loopPoint;
            if (k == ENV_VOLUME) volumeHeld = pos == length - 1 && env.loopPoint == length - 1;
        }
        switch (k) {
            case ENV_VOLUME:
                ch.volumeValue = value;
                break;
            case ENV_NOTE:
                ch.noteValue = value;
                if (value & 0x80) {
                    ch.noteEnvAbsolute = value & 0x7F;
                    ch.noteEnvOffset = 0;
                } else {
                    ch.noteEnvAbsolute = 0;
                    ch.noteEnvOffset = value - 64;
                }
                break;
            case ENV_DUTY:
                ch.dutyValue = value;
                break;
            default:
                ch.fineTune = value - 127;
                break;
        }
    }
    // A Volume envelope resting on its last value ends the note once that value is silent;
    // the triangle has no volume control, so on it anything below level 8 counts as silent.
    if (ch.noteOn != 0 && volumeHeld) {
        int level = ch.volumeValue >> 4;
        if (c == CH_TRIANGLE ? level <= 7 : level == 0) {
            ch.noteOn = 0;
            ch.volume = 0;
            recordDriverCommand(c, DRV_NOTE_CUT);
        }
    }
}

int Player::effectiveLevel(const ChannelState& ch) {
    int v = std::clamp(ch.volume + ch.tremoloOffset, 0, 63);
    return ((ch.volumeValue >> 4) * (v / 4)) / 15;
}

int32_t Player::pitchSum(const ChannelState& ch) const {
    int32_t p;
    if (ch.noteEnvAbsolute != 0)
        p = ch.noteEnvAbsolute * 256 + ch.vibratoOffset + ch.fineTune;
    else  // glissando drops the fraction; the sign of a pitch slid below zero is kept
        p = (ch.pitch & (ch.glissandoMask | ~0xFF)) + ch.vibratoOffset + ch.fineTune;
    return p + (ch.noteEnvOffset + ch.arpeggioOffset) * 256;
}

int32_t Player::periodForPitch(int32_t p) const {
    int n = p >> 8;
    int frac = p & 0xFF;
    int32_t a = periodTable[std::clamp(n - 1, 0, PERIOD_TABLE_SIZE - 1)];
    int32_t b = periodTable[std::clamp(n, 0, PERIOD_TABLE_SIZE - 1)];
    return a - ((a - b) * frac) / 256;
}

void Player::writePulsePeriod(int c, int32_t period) {
    BF_REQUIRE(c == CH_PULSE1 || c == CH_PULSE2);
    ChannelState& ch = channels[c];
    const int hiNew = period >> 8;
    const int hiOld = ch.lastPeriod >> 8;
    if (hiNew == hiOld) {
        writeApu(pulseRegister(c, PULSE_PERIOD_LOW), uint8_t(period & 0xFF));
    } else if (ch.lastPeriod != -1 && (hiNew - hiOld == 1 || hiNew - hiOld == -1)) {
        // Writing the high period byte restarts the pulse's duty cycle with an audible click.
        // Instead, set the low byte to the carry point and let one sweep clock (forced by the
        // $4017 write) carry it into the high byte, then restore the low byte.
        const bool up = hiNew - hiOld == 1;
        const uint8_t sweep = SWEEP_ENABLE | SWEEP_SHIFT_7 | (up ? 0 : SWEEP_NEGATE);
        writeApu(APU_FRAME_COUNTER, FRAME_IRQ_INHIBIT);
        writeApu(pulseRegister(c, PULSE_PERIOD_LOW), up ? 0xFF : 0x00);
        writeApu(pulseRegister(c, PULSE_SWEEP), sweep);
        writeApu(APU_FRAME_COUNTER, FRAME_FIVE_STEP | FRAME_IRQ_INHIBIT);
        writeApu(pulseRegister(c, PULSE_SWEEP), SWEEP_OFF);
        writeApu(pulseRegister(c, PULSE_PERIOD_LOW), uint8_t(period & 0xFF));
    } else {
        writeApu(pulseRegister(c, PULSE_PERIOD_LOW), uint8_t(period & 0xFF));
        writeApu(pulseRegister(c, PULSE_PERIOD_HIGH), uint8_t(period >> 8));
    }
    ch.lastPeriod = period;
}

void Player::writeChannels() {
    // Triangle: the linear counter reloads to 1 with the control flag held, or it goes quiet.
    const int triangleControl =
        effectiveLevel(channels[CH_TRIANGLE]) >= 8 ? TRIANGLE_SOUNDING : TRIANGLE_QUIET;
    writeApu(APU_TRIANGLE_LINEAR, uint8_t(triangleControl));
    snapshot.triangleControl = triangleControl;

    for (int c = CH_PULSE1; c <= CH_PULSE2; ++c) {
        ChannelState& ch = channels[c];
        int duty = ch.dutyOverride != -1 ? ch.dutyOverride : ch.dutyValue >> 6;
        int value = ((duty & 3) << 6) | effectiveLevel(ch) | CONTROL_LENGTH_HALT | CONTROL_CONSTANT_VOLUME;
        if (echoing(ch)) value = ch.registerHistory[historyIndex(ch)];
        writeApu(pulseRegister(c, PULSE_CONTROL), uint8_t(value));
        ch.registerHistory[ch.historyPos] = value;
        int& dutyVolume = c == CH_PULSE1 ? snapshot.pulse1DutyVolume : snapshot.pulse2DutyVolume;
        dutyVolume = ((value >> 2) & 0x30) | (value & 0x0F);
    }

    for (int c = CH_PULSE1; c <= CH_TRIANGLE; ++c) {
        ChannelState& ch = channels[c];
        int32_t period = periodForPitch(pitchSum(ch));
        if (c != CH_TRIANGLE && echoing(ch)) period = ch.periodHistory[historyIndex(ch)];
        ch.periodHistory[ch.historyPos] = period;
        bool audible;
        if (c == CH_TRIANGLE) {
            if ((period >> 8) != (ch.lastPeriod >> 8)) {
                writeApu(APU_TRIANGLE_PERIOD_LOW, 0xFF);
                writeApu(APU_TRIANGLE_PERIOD_HIGH, uint8_t(period >> 8));
            }
            writeApu(APU_TRIANGLE_PERIOD_LOW, uint8_t(period & 0xFF));
            ch.lastPeriod = period;
            audible = triangleControl != TRIANGLE_QUIET;
        } else {
            writePulsePeriod(c, period);
            audible = (ch.registerHistory[ch.historyPos] & 0x0F) != 0;
        }
        int& high = c == CH_PULSE1   ? snapshot.pulse1PeriodHigh
                    : c == CH_PULSE2 ? snapshot.pulse2PeriodHigh
                                     : snapshot.trianglePeriodHigh;
        int& low = c == CH_PULSE1   ? snapshot.pulse1PeriodLow
                   : c == CH_PULSE2 ? snapshot.pulse2PeriodLow
                                    : snapshot.trianglePeriodLow;
        high = audible ? period >> 8 : -1;
        low = audible ? period & 0xFF : -1;
    }

    {
        ChannelState& ch = channels[CH_NOISE];
        int value = effectiveLevel(ch) | CONTROL_LENGTH_HALT | CONTROL_CONSTANT_VOLUME;
        if (echoing(ch)) value = ch.registerHistory[historyIndex(ch)];
        writeApu(APU_NOISE_CONTROL, uint8_t(value));
        ch.registerHistory[ch.historyPos] = value;
        snapshot.noiseVolume = value & 0x0F;

        int index = (pitchSum(ch) >> 8) % 16;
        int mode = (ch.dutyValue >> 6) % 2;
        int period = (15 - index) | (mode << 7);
        if (echoing(ch)) period = ch.periodHistory[historyIndex(ch)];
        writeApu(APU_NOISE_PERIOD, uint8_t(period));
        writeApu(APU_NOISE_LENGTH, 0x00);
        ch.periodHistory[ch.historyPos] = period;
        snapshot.noisePeriod = (value & 0x0F) ? (((period >> 3) & 0x10) | (period & 0x0F)) : -1;
    }

    updatePcmParameters();

    // Echo: each pass through the history costs echoDecay volume steps.
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        ChannelState& ch = channels[c];
        int& e = ch.registerHistory[ch.historyPos];
        if (c == CH_DPCM)
            e = e > ch.echoDecay * 8 ? e - ch.echoDecay * 8 : 0;
        else
            e = (e & 0x0F) > ch.echoDecay ? e - ch.echoDecay : (e & 0xF0);
        ch.historyPos = (ch.historyPos + 1) % HISTORY_LENGTH;
    }
}

void Player::startPcmSample(int instrument) {
    pcm.position = 0.0;
    pcm.holding = false;
    pcm.pcmInstrument = instrument;
    channels[CH_DPCM].volume = 0;  // silences the wave generator
    writeApu(APU_STATUS, uint8_t(channelMask & STATUS_TONE_CHANNELS));
    releaseSampleMemory();
}

void Player::startDpcmSample(int instrument, int rate) {
    pcm.pcmInstrument = 0;
    const DpcmSample& sample = song.instruments[instrument].dpcm;
    if (sample.empty() || !(channelMask & STATUS_DMC)) return;
    sampleMemory = &sample;
    // The length register counts 16-byte blocks plus one byte.
    int length = std::clamp<int>(int(sample.size >> 4), 0, 255);
    writeApu(APU_DMC_CONTROL, uint8_t((sample.loop ? DMC_LOOP : 0x00) | (rate & DMC_RATE_MASK)));
    writeApu(APU_DMC_LEVEL, DMC_LEVEL_MIDDLE);
    writeApu(APU_DMC_ADDRESS, 0x00);
    writeApu(APU_DMC_LENGTH, uint8_t(length));
    writeApu(APU_STATUS, uint8_t(channelMask & STATUS_TONE_CHANNELS));
    writeApu(APU_STATUS, uint8_t(channelMask | STATUS_DMC));  // enabling again restarts at $C000
}

void Player::dpcmRowStep() {
    snapshot.dpcmTriggered = 0;
    const PatternCell& cell = currentCell(CH_DPCM);
    const int i = cell.instrument;
    if (i == 0) return;
    const Instrument& inst = song.instruments[i];
    if (inst.type == INST_PCM) {
        startPcmSample(i);
        snapshot.dpcmKind = 0;
        snapshot.dpcmValue = i;
        snapshot.dpcmTriggered = 1;
        snapshot.pcmAmplitude = 0;
        snapshot.sampleStarted = 1;
    } else if (inst.type == INST_DPCM) {
        const int rate = cell.note & 0x0F;
        startDpcmSample(i, rate);
        snapshot.dpcmKind = 1;
        snapshot.dpcmRate = rate;
        snapshot.dpcmValue = i;
        snapshot.dpcmTriggered = 1;
        snapshot.pcmAmplitude = 0;
        snapshot.sampleStarted = 1;
        recordDriverCommand(CH_DPCM, DRV_DPCM_RATE, rate | (inst.dpcm.loop ? DMC_LOOP : 0x00));
        recordDriverCommand(CH_DPCM, DRV_DPCM_PLAY, i);
    } else {
        pcm.pcmInstrument = 0;
        writeApu(APU_STATUS, uint8_t(channelMask & STATUS_TONE_CHANNELS));
        releaseSampleMemory();
    }
}

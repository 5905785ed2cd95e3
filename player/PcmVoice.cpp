// The software voice of the DPCM channel: PCM samples, and pulse and saw waves, played by
// rewriting the DMC output level ($4011) from the scanline tick.

#include <algorithm>
#include <cmath>

#include "apu/ApuRegisters.h"
#include "apu/CpuClock.h"
#include "player/Player.h"

namespace {

// Bytes per scanline: 7801 bytes per second at 15600 scanlines per second (312 a frame, 50
// frames a second); on NTSC the scanline steps come faster by the clock ratio.
constexpr double PCM_BYTES_PER_SCANLINE = 7801.0 / 15600.0;
// The waves' tuning: an update period of 2 (x - 1) / PCM_WAVE_TUNING for x samples of 7801 Hz
// per cycle of `frequency` plays the wave at about 7800 / 7801 x 13.32046 / 2 = 6.66 times that
// frequency, some 17 cents below a pulse at the same note. The value was set by ear, not
// derived; songs are tuned against it, so it stays as it is.
constexpr double PCM_WAVE_TUNING = 13.32046;

}  // namespace

void Player::updatePcmParameters() {
    ChannelState& ch = channels[CH_DPCM];
    const double semitones = pitchSum(ch) / 256.0;
    const double frequency = (55.0 / std::pow(2.0, 0.75)) / 8.0 * std::pow(2.0, (semitones + 2.0) / 12.0);
    const double x = std::clamp(7801.0 / frequency, 1.0, 7800.0);
    // Wave updates per cycle; an update takes two scanline steps, shorter on NTSC.
    double d = 2.0 * (x - 1.0) / PCM_WAVE_TUNING;
    if (song.ntsc) d *= NTSC_PER_PAL_CYCLE;
    int step = 32767;
    if (d > 0.0) step = int(std::min(65536.0 / d, 32767.0));

    int amplitude = std::clamp(ch.volume + ch.tremoloOffset, 0, 63) * ch.volumeValue / 128;
    const int threshold = ch.dutyValue & 0xFF;
    if (ch.instrument != 0) {
        const InstrumentType type = instrumentOf(ch).type;
        pcm.saw = type == INST_PCM_SAW;
        if (type == INST_NORMAL) amplitude /= 3;
    }
    if (ch.noteOn == 0 && ch.echoDelay != 0) {
        int i = ((ch.historyPos - ch.echoDelay) % HISTORY_LENGTH + HISTORY_LENGTH) % HISTORY_LENGTH;
        amplitude = ch.registerHistory[i];
        step = ch.periodHistory[i];
    }
    ch.registerHistory[ch.historyPos] = amplitude;
    ch.periodHistory[ch.historyPos] = step;

    pcm.amplitude = amplitude;
    pcm.step = uint16_t(step);
    pcm.threshold = threshold;
    snapshot.pcmAmplitude = amplitude;
    if (amplitude != 0) {
        snapshot.dpcmRate = step >> 8;
        snapshot.dpcmValue = step & 0xFF;
        snapshot.pcmThreshold = threshold;
        snapshot.dpcmKind = pcm.saw ? 3 : 2;
    }
}

void Player::servePcmVoice() {
    const bool audible = channelMask & STATUS_DMC;
    if (pcm.pcmInstrument > 0 && pcm.pcmInstrument < INSTRUMENT_SLOTS) {
        const PcmSample& sample = song.instruments[pcm.pcmInstrument].pcm;
        if (!sample.empty()) {
            uint32_t index = uint32_t(pcm.position);
            // The sample may have been replaced by a shorter one while it played.
            if (index >= sample.size) index = sample.size - 1;
            if (audible) writeApu(APU_DMC_LEVEL, sample.data[index]);
            if (!pcm.holding) {
                pcm.position +=
                    song.ntsc ? PCM_BYTES_PER_SCANLINE * PAL_PER_NTSC_CYCLE : PCM_BYTES_PER_SCANLINE;
                if (uint32_t(pcm.position) >= sample.size) {
                    if (sample.loop) {
                        pcm.position = sample.size - 1;
                        pcm.holding = true;
                    } else {
                        pcm.pcmInstrument = 0;  // the level stays where the sample ended
                    }
                }
            }
            return;
        }
    }
    if (sampleMemory) return;  // hardware DPCM owns the channel

    const int high = pcm.phase >> 8;
    const int value = pcm.saw ? (high * pcm.amplitude) >> 8 : (high < pcm.threshold ? pcm.amplitude : 0);
    if (pcm.toggle) {
        pcm.phase = uint16_t(pcm.phase + pcm.step);
        if (audible && pcm.amplitude != 0) writeApu(APU_DMC_LEVEL, uint8_t(value));
    }
    pcm.toggle = !pcm.toggle;
}

// Listening comparison: songs exported to NSF and played by libgme sound like our own render of
// them, window by window: the same pitch wherever a window has a clear one, and the same
// loudness envelope. Each song keeps one voice at a time where pitch matters, so that a clear
// pitch exists; together they cover every kind of sound the driver makes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "Listening.h"
#include "SongRig.h"
#include "player/OfflinePlayback.h"

namespace {

constexpr size_t WINDOW = LISTEN_RATE / 20;  // 50 ms

void setEnvelope(Instrument& inst, EnvelopeKind kind, std::initializer_list<int> values, int loop) {
    Envelope& e = inst.envelopes[kind];
    int i = 0;
    for (int v : values) e.values[i++] = v;
    e.values[i] = END_MARKER;
    e.loopPoint = loop;
}

void note(Song& song, int pattern, int channel, int row, int note, int instrument, int effect = 0,
          int parameter = 0) {
    PatternCell& c = song.patterns[pattern].at(channel, row);
    c = PatternCell{uint8_t(note), uint8_t(instrument), 0, 0};
    if (effect || parameter) c.setEffect(effect, parameter);
}

// Pulses with duty and volume envelopes, slides, portamento and vibrato, the triangle, noise in
// both modes; orders 0, 1, 0, 2 where pattern 2 jumps back to order 1 (Bxx).
void tonesSong(Song& s) {
    Instrument& lead = s.instruments[1];
    setEnvelope(lead, ENV_VOLUME, {255, 240, 220, 200, 180, 160, 140, 120}, 7);
    setEnvelope(lead, ENV_DUTY, {64, 64, 64, 64, 128, 128, 128, 128, 192, 192, 192, 192}, 0);
    Instrument& bend = s.instruments[2];
    setEnvelope(bend, ENV_VOLUME, {200}, 0);
    setEnvelope(bend, ENV_DUTY, {128}, 0);
    setEnvelope(s.instruments[3], ENV_VOLUME, {255}, 0);
    Instrument& hiss = s.instruments[4];
    setEnvelope(hiss, ENV_VOLUME, {255, 220, 180, 140, 100, 70, 40, 20, 0}, 8);
    setEnvelope(hiss, ENV_DUTY, {0}, 0);
    Instrument& buzz = s.instruments[5];
    setEnvelope(buzz, ENV_VOLUME, {255, 230, 200, 170, 140}, 4);
    setEnvelope(buzz, ENV_DUTY, {64}, 0);

    note(s, 0, CH_PULSE1, 0, 49, 1);
    note(s, 0, CH_PULSE1, 8, 53, 1);
    note(s, 0, CH_PULSE1, 16, 56, 1);
    note(s, 0, CH_PULSE1, 28, NOTE_OFF, 0);
    note(s, 0, CH_PULSE2, 32, 49, 2, 0x1, 0x20);  // slide up
    note(s, 0, CH_PULSE2, 40, 56, 2, 0x4, 0x48);  // vibrato
    note(s, 0, CH_PULSE2, 48, 44, 2);
    note(s, 0, CH_PULSE2, 52, 51, 0, 0x3, 0x30);  // portamento to the next note
    note(s, 0, CH_PULSE2, 62, NOTE_OFF, 0);

    note(s, 1, CH_TRIANGLE, 0, 37, 3);
    note(s, 1, CH_TRIANGLE, 8, 44, 3);
    note(s, 1, CH_TRIANGLE, 16, 41, 3);
    note(s, 1, CH_TRIANGLE, 28, NOTE_OFF, 0);
    for (int r = 32; r < 48; r += 4) note(s, 1, CH_NOISE, r, 40 + r / 4, 4);  // long noise
    for (int r = 48; r < 60; r += 4) note(s, 1, CH_NOISE, r, 30 + r / 4, 5);  // short noise
    note(s, 1, CH_NOISE, 60, NOTE_OFF, 0);

    note(s, 2, CH_PULSE1, 0, 61, 1);
    note(s, 2, CH_PULSE1, 4, 60, 1);
    note(s, 2, CH_PULSE1, 8, 58, 1);
    note(s, 2, CH_PULSE1, 12, NOTE_OFF, 0);
    s.patterns[2].at(CH_PULSE1, 15).setEffect(0xB, 1);  // back to order 1
    s.orders.count = 4;
    const int orders[] = {0, 1, 0, 2};
    for (int i = 0; i < 4; ++i) s.orders.entries[i] = orders[i];
}

// Hardware DPCM alone: a looping sample (a triangle wave from the DMC) and a one-shot one.
void dmcSong(Song& s) {
    std::vector<uint8_t> rising(256);  // 64 bits up, 64 down
    for (size_t i = 0; i < rising.size(); ++i) rising[i] = (i / 8) % 2 ? 0x00 : 0xFF;
    Instrument& loop = s.instruments[6];
    loop.type = INST_DPCM;
    loop.dpcm.assign(rising.data(), uint32_t(rising.size()), true);
    std::vector<uint8_t> burst(1024);
    for (size_t i = 0; i < burst.size(); ++i) burst[i] = (i / 2) % 2 ? 0x00 : 0xFF;
    Instrument& once = s.instruments[7];
    once.type = INST_DPCM;
    once.dpcm.assign(burst.data(), uint32_t(burst.size()), false);

    note(s, 0, CH_DPCM, 0, 15, 6);  // rate 15
    note(s, 0, CH_DPCM, 12, 15, 7);
    note(s, 0, CH_DPCM, 20, 15, 7);
    note(s, 0, CH_DPCM, 28, 14, 6);
    note(s, 0, CH_DPCM, 40, NOTE_OFF, 0);
}

// The DMC level written by the driver: a PCM sample, then the software pulse and saw.
void pcmSong(Song& s) {
    std::vector<uint8_t> pcm(4000);  // 18-byte periods: 433 Hz at 7801 bytes/s, fading
    for (size_t i = 0; i < pcm.size(); ++i) {
        int depth = int(40 - i / 100);
        pcm[i] = uint8_t(64 + ((i % 18) < 9 ? depth : -depth));
    }
    Instrument& sampled = s.instruments[8];
    sampled.type = INST_PCM;
    sampled.pcm.assign(pcm.data(), uint32_t(pcm.size()), false);
    Instrument& pulse = s.instruments[9];
    pulse.type = INST_PCM_PULSE;
    setEnvelope(pulse, ENV_VOLUME, {255, 230, 210, 190}, 3);
    setEnvelope(pulse, ENV_DUTY, {128}, 0);
    Instrument& saw = s.instruments[10];
    saw.type = INST_PCM_SAW;
    setEnvelope(saw, ENV_VOLUME, {255}, 0);

    note(s, 0, CH_DPCM, 0, 1, 8);
    note(s, 0, CH_DPCM, 12, 45, 9);
    note(s, 0, CH_DPCM, 18, 52, 9);
    note(s, 0, CH_DPCM, 24, 45, 10);
    note(s, 0, CH_DPCM, 30, 40, 10);
    note(s, 0, CH_DPCM, 36, NOTE_OFF, 0);
}

struct Heard {
    double envelopeCorrelation = 0;
    int clear = 0;   // windows of ours with a clear pitch
    int agreed = 0;  // of them, the windows libgme plays at the same pitch (within 3 %)
};

// `pitchRatio`: the pitch libgme should play relative to ours.
Heard compare(void (*build)(Song&), bool ntsc, double seconds, double pitchRatio) {
    SongRig rig;
    build(*rig.song);
    rig.song->ntsc = ntsc;
    const std::vector<double> theirs = gmeRender(rig.nsf(), seconds + 0.1);
    const std::vector<int16_t> rendered = renderSong(rig.play(), *rig.apu, LISTEN_RATE, seconds);
    const std::vector<double> ours(rendered.begin(), rendered.end());
    const size_t lead = size_t(std::lround(firstPlayDelaySeconds(ntsc) * LISTEN_RATE));

    Heard h;
    std::vector<double> a = rmsEnvelope(ours, WINDOW), b = rmsEnvelope(theirs, WINDOW, lead);
    h.envelopeCorrelation = correlation(a, b);
    for (size_t at = 0; at + WINDOW <= ours.size() && lead + at + WINDOW <= theirs.size(); at += WINDOW) {
        double mine = clearPitch(ours, at, WINDOW);
        if (mine <= 0) continue;
        ++h.clear;
        double other = clearPitch(theirs, lead + at, WINDOW);
        if (other > 0 && std::fabs(other / (mine * pitchRatio) - 1.0) < 0.03) ++h.agreed;
    }
    return h;
}

void expectHeardAlike(const char* name, void (*build)(Song&), double seconds, int minClear,
                      double ntscPitchRatio = 1.0) {
    for (bool ntsc : {false, true}) {
        Heard h = compare(build, ntsc, seconds, ntsc ? ntscPitchRatio : 1.0);
        std::printf(
            "[ listen   ] %s %s: loudness envelope correlation %.4f, pitch agrees in %d of %d "
            "windows\n",
            name, ntsc ? "NTSC" : "PAL", h.envelopeCorrelation, h.agreed, h.clear);
        EXPECT_GT(h.envelopeCorrelation, 0.9) << name << (ntsc ? " NTSC" : " PAL");
        EXPECT_GE(h.clear, minClear) << name;
        EXPECT_GE(h.agreed, h.clear * 9 / 10) << name << (ntsc ? " NTSC" : " PAL");
    }
}

}  // namespace

TEST(NsfListening, TonesSoundAlike) { expectHeardAlike("tones", tonesSong, 30.0, 300); }

// The editor clocks the DMC from its PAL rate row in both TV systems; an NTSC machine plays the
// same rate index from its own row, whose periods at the top rates are 8 % longer (54 against
// 50 cycles at rate 15, 72 against 67 at rate 14): the file cannot ask it for more.
TEST(NsfListening, DmcSamplesSoundAlike) { expectHeardAlike("dmc", dmcSong, 5.0, 40, 50.0 / 54.0); }

TEST(NsfListening, PcmSampleAndWavesSoundAlike) { expectHeardAlike("pcm", pcmSong, 4.5, 40); }

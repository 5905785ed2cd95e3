// make_demo DIR: writes DIR/demo.zcm, a short song in A minor that shows every channel and most
// effects: duty and volume envelopes, arpeggios, vibrato, slides, portamento, echo, noise drums,
// a DPCM kick drum computed here, and PCM Pulse and PCM Saw lines on the DPCM channel.

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "song/SongFile.h"

namespace {

enum Slot : int {
    LEAD = 1,
    ARP = 2,
    BASS = 3,
    KICK = 4,
    SNARE = 5,
    HAT = 6,
    DRUM = 7,
    PWM = 8,
    SAW = 9,
    ECHO = 10,
    PAD = 11,
};

// Note number of a pitch name: C=0 ... B=11 in octave o; A-3 is note 46 (440 Hz on a pulse).
constexpr int note(int semitone, int octave) { return octave * 12 + semitone + 1; }
constexpr int C = 0, D = 2, E = 4, F = 5, G = 7, A = 9, B = 11;

void envelope(Instrument& inst, EnvelopeKind kind, const std::vector<int>& values, int loopPoint) {
    Envelope& env = inst.envelopes[kind];
    env.reset(kind);
    env.loopPoint = loopPoint;
    for (size_t i = 0; i < values.size(); ++i) env.values[i] = values[i];
    env.values[values.size()] = END_MARKER;
    for (size_t i = values.size() + 1; i < ENVELOPE_SLOTS; ++i) env.values[i] = 0;
}

void name(Song& song, int slot, const char* text, int colour) {
    song.instrumentNames[slot] = text;
    song.instrumentColours[slot] = colour;
}

// A kick drum as DMC delta bits: a sine falling from 160 Hz to 45 Hz under a decay, at the
// fastest DMC rate (50 CPU cycles per bit). Each bit moves the output level by 2, upward for 1.
std::vector<uint8_t> kickSample() {
    const double bitRate = 1662607.0 / 50.0;
    const int bytes = 16 * 36 + 1;  // the hardware plays 16 x length + 1 bytes
    std::vector<uint8_t> out(bytes, 0);
    int level = 0x3F;  // the player sets $4011 to this before a sample starts
    double phase = 0.0;
    for (int bit = 0; bit < bytes * 8; ++bit) {
        double t = bit / bitRate;
        double frequency = 45.0 + 115.0 * std::exp(-t * 30.0);
        phase += 2.0 * M_PI * frequency / bitRate;
        double target = 0x3F + 56.0 * std::exp(-t * 14.0) * std::sin(phase);
        if (target > level) {
            out[bit / 8] |= uint8_t(1 << (bit % 8));
            if (level <= 125) level += 2;
        } else if (level >= 2) {
            level -= 2;
        }
    }
    return out;
}

void makeInstruments(Song& song) {
    Instrument* inst = song.instruments;

    envelope(inst[LEAD], ENV_VOLUME, {0xF0, 0xE0, 0xD0, 0xC0, 0xB0, 0xA0, 0xA0, 0x90}, 7);
    envelope(inst[LEAD], ENV_DUTY, {0x40, 0x40, 0x80}, 2);
    name(song, LEAD, "Lead", 1);

    envelope(inst[ARP], ENV_VOLUME, {0xB0, 0x90, 0x80, 0x70, 0x60, 0x50}, 5);
    envelope(inst[ARP], ENV_DUTY, {0x20}, 0);
    name(song, ARP, "Chord arpeggio", 2);

    envelope(inst[BASS], ENV_VOLUME, {0xF0}, 0);
    name(song, BASS, "Bass", 3);

    // Noise drums: the absolute Note values pick the noise period; a falling pitch makes the kick.
    envelope(inst[KICK], ENV_VOLUME, {0xF0, 0xD0, 0x90, 0x50, 0x20, 0x00}, 5);
    envelope(inst[KICK], ENV_NOTE, {0x80 | 6, 0x80 | 4, 0x80 | 2, 0x80 | 1}, 3);
    name(song, KICK, "Noise kick", 4);

    envelope(inst[SNARE], ENV_VOLUME, {0xF0, 0xC0, 0xA0, 0x80, 0x60, 0x40, 0x20, 0x10, 0x00}, 8);
    envelope(inst[SNARE], ENV_NOTE, {0x80 | 9, 0x80 | 8}, 1);
    name(song, SNARE, "Snare", 5);

    envelope(inst[HAT], ENV_VOLUME, {0x90, 0x60, 0x30, 0x00}, 3);
    envelope(inst[HAT], ENV_NOTE, {0x80 | 15}, 0);  // the shortest noise period
    name(song, HAT, "Hi-hat", 6);

    inst[DRUM].type = INST_DPCM;
    std::vector<uint8_t> kick = kickSample();
    inst[DRUM].dpcm.assign(kick.data(), uint32_t(kick.size()), false);
    name(song, DRUM, "DPCM kick", 7);

    // PCM Pulse: the Duty/Mode values are the pulse width, swept for a moving tone.
    inst[PWM].type = INST_PCM_PULSE;
    envelope(inst[PWM], ENV_VOLUME, {0x70}, 0);
    envelope(inst[PWM], ENV_DUTY, {128, 112, 96, 80, 64, 48, 40, 48, 64, 80, 96, 112}, 0);
    name(song, PWM, "PCM pulse sweep", 8);

    inst[SAW].type = INST_PCM_SAW;
    envelope(inst[SAW], ENV_VOLUME, {0x50, 0x70, 0x80}, 2);
    name(song, SAW, "PCM saw", 9);

    envelope(inst[ECHO], ENV_VOLUME, {0xF0, 0xC0, 0x90, 0x00}, 3);
    envelope(inst[ECHO], ENV_DUTY, {0x80}, 0);
    name(song, ECHO, "Echo pluck", 10);

    envelope(inst[PAD], ENV_VOLUME, {0x60, 0x80, 0xA0, 0xB0}, 3);
    envelope(inst[PAD], ENV_DUTY, {0xC0}, 0);
    envelope(inst[PAD], ENV_FINETUNE, {127, 129, 131, 129, 127, 125, 123, 125}, 0);
    name(song, PAD, "Detuned pad", 11);
}

struct Writer {
    Pattern& p;
    void cell(int channel, int row, int n, int instrument = 0, int effect = 0, int param = 0) {
        PatternCell& c = p.at(channel, row);
        c.note = uint8_t(n);
        c.instrument = uint8_t(instrument);
        c.setEffect(effect, param);
    }
    void effect(int channel, int row, int effect, int param) { p.at(channel, row).setEffect(effect, param); }
};

// The four chords of every pattern, 16 rows each: Am, F, C, G.
struct Chord {
    int root;  // semitone
    int octave;
    int arpeggio;  // 0xy: minor 037, major 047
};
constexpr Chord CHORDS[4] = {{A, 2, 0x37}, {F, 2, 0x47}, {C, 3, 0x47}, {G, 2, 0x47}};

void bassLine(Writer& w, bool busy) {
    for (int k = 0; k < 4; ++k) {
        const Chord& ch = CHORDS[k];
        int root = note(ch.root, ch.octave);
        int r = k * 16;
        w.cell(2, r, root, BASS);
        if (busy) {
            w.cell(2, r + 3, NOTE_OFF);
            w.cell(2, r + 4, root + 12, BASS);
            w.cell(2, r + 6, NOTE_OFF);
            w.cell(2, r + 8, root + 7, BASS);
            w.cell(2, r + 11, NOTE_OFF);
            w.cell(2, r + 12, root, BASS);
            w.cell(2, r + 14, root + 3 + (ch.arpeggio == 0x47), BASS, 0x3, 0x30);  // glide up
        } else {
            w.cell(2, r + 8, root + 7, BASS);
        }
    }
}

void arpeggios(Writer& w, int channel, int octaveUp) {
    for (int k = 0; k < 4; ++k) {
        const Chord& ch = CHORDS[k];
        for (int i = 0; i < 16; ++i) {
            int r = k * 16 + i;
            if (i % 4 == 0)
                w.cell(channel, r, note(ch.root, ch.octave + 1 + octaveUp), ARP, 0x0, ch.arpeggio);
            else
                w.effect(channel, r, 0x0, ch.arpeggio);
        }
    }
}

void drums(Writer& w, bool full, bool dpcm) {
    for (int r = 0; r < 64; ++r) {
        int beat = r % 16;
        if (full && (beat == 4 || beat == 12))
            w.cell(3, r, 1, SNARE);
        else if (full && (beat == 0 || beat == 10))
            w.cell(3, r, 1, KICK);
        else if (r % 2 == 0)
            w.cell(3, r, 1, HAT, 0xE, r % 4 == 2 ? 0xC2 : 0x00);  // off-beat hats are cut short
        if (dpcm && (beat == 0 || beat == 8 || beat == 10)) w.cell(4, r, 0x0F, DRUM);
    }
}

struct MelodyNote {
    int row, n, effect, param;
};

void melody(Writer& w, int channel, int instrument, const std::vector<MelodyNote>& notes) {
    bool first = true;
    for (const MelodyNote& m : notes) {
        w.cell(channel, m.row, m.n, first ? instrument : 0, m.effect, m.param);
        first = false;
    }
}

// Vibrato held on the rows after a long note.
void holdVibrato(Writer& w, int channel, int row, int count) {
    for (int i = 1; i <= count; ++i) w.effect(channel, row + i, 0x4, 0x00);
}

void makePatterns(Song& song) {
    // 0: intro. Bass, arpeggios fading in, hats and the DPCM kick.
    {
        Writer w{song.patterns[0]};
        bassLine(w, false);
        arpeggios(w, 1, 0);
        drums(w, false, true);
        w.cell(0, 56, note(E, 3), LEAD);
        w.cell(0, 60, note(A, 3), 0, 0x3, 0x18);  // portamento into the tune
        w.effect(0, 61, 0x3, 0x00);
        w.effect(0, 62, 0x3, 0x00);
        w.effect(0, 63, 0x3, 0x00);
        w.effect(3, 0, 0xF, 0x06);
    }
    // 1: the tune with vibrato and slides over the full band.
    {
        Writer w{song.patterns[1]};
        bassLine(w, true);
        arpeggios(w, 1, 0);
        drums(w, true, true);
        melody(w, 0, LEAD,
               {{0, note(A, 3), 0, 0},       {4, note(C, 4), 0, 0},       {6, note(E, 4), 0, 0},
                {8, note(D, 4), 0x4, 0x46},  {12, note(C, 4), 0, 0},      {16, note(C, 4), 0, 0},
                {20, note(A, 3), 0, 0},      {22, note(C, 4), 0, 0},      {24, note(F, 4), 0x4, 0x46},
                {28, note(E, 4), 0, 0},      {32, note(E, 4), 0, 0},      {36, note(G, 4), 0, 0},
                {38, note(E, 4), 0, 0},      {40, note(C, 4), 0x4, 0x56}, {44, note(D, 4), 0, 0},
                {48, note(D, 4), 0, 0},      {52, note(B, 3), 0, 0},      {54, note(D, 4), 0, 0},
                {56, note(G, 4), 0x4, 0x48}, {60, note(G, 4), 0x2, 0x20}, {63, NOTE_OFF, 0, 0}});
        holdVibrato(w, 0, 8, 3);
        holdVibrato(w, 0, 24, 3);
        holdVibrato(w, 0, 40, 3);
        holdVibrato(w, 0, 56, 3);
        for (int r = 61; r < 63; ++r) w.effect(0, r, 0x2, 0x00);
        w.effect(0, 15, 0x1, 0x08);  // a little lift into the next phrase
        w.effect(0, 31, 0xE, 0x14);
    }
    // 2: the middle: portamento lead, an echoing pluck, and the PCM Pulse line.
    {
        Writer w{song.patterns[2]};
        bassLine(w, false);
        melody(w, 0, LEAD,
               {{0, note(E, 4), 0, 0},
                {8, note(A, 4), 0x3, 0x20},
                {16, note(F, 4), 0x3, 0x20},
                {24, note(C, 4), 0x3, 0x18},
                {32, note(G, 4), 0x3, 0x20},
                {40, note(E, 4), 0x3, 0x20},
                {48, note(D, 4), 0x3, 0x18},
                {56, note(B, 3), 0x3, 0x18},
                {62, NOTE_OFF, 0, 0}});
        for (int r = 0; r < 62; ++r)
            if (r % 8 != 0 && r > 8) w.effect(0, r, 0x3, 0x00);
        // The pluck is cut after two frames; the echo replays it quieter.
        for (int k = 0; k < 4; ++k) {
            const Chord& ch = CHORDS[k];
            for (int i = 2; i < 16; i += 6) {
                int r = k * 16 + i;
                w.cell(1, r, note(ch.root, ch.octave + 2) + (i == 8 ? 7 : 0), ECHO, 0xE, 0xC2);
            }
        }
        w.cell(1, 0, note(A, 4), ECHO, 0x8, 0x22);  // echo 6 frames, 2 steps quieter each pass
        for (int k = 0; k < 4; ++k) {
            const Chord& ch = CHORDS[k];
            int r = k * 16;
            w.cell(4, r, note(ch.root, ch.octave + 1), PWM);
            w.cell(4, r + 6, note(ch.root, ch.octave + 1) + 7);
            w.cell(4, r + 10, note(ch.root, ch.octave + 2));
            w.cell(4, r + 14, note(ch.root, ch.octave + 1) + 7, 0, 0x7, 0x43);  // tremolo
        }
        for (int r = 0; r < 64; r += 4) w.cell(3, r, 1, HAT);
    }
    // 3: the tune again, over a busier accompaniment with a tremolo arpeggio and duty changes.
    {
        Writer w{song.patterns[3]};
        bassLine(w, true);
        arpeggios(w, 1, 1);
        w.effect(1, 16, 0xC, 0x2A);  // duty 1 at level 10
        drums(w, true, true);
        melody(w, 0, LEAD,
               {{0, note(A, 3), 0, 0},      {4, note(C, 4), 0, 0},       {6, note(E, 4), 0, 0},
                {8, note(A, 4), 0x4, 0x46}, {12, note(G, 4), 0, 0},      {16, note(F, 4), 0, 0},
                {20, note(E, 4), 0, 0},     {22, note(C, 4), 0, 0},      {24, note(A, 3), 0x4, 0x46},
                {28, note(C, 4), 0, 0},     {32, note(E, 4), 0xC, 0x3F}, {36, note(G, 4), 0, 0},
                {38, note(C, 5), 0, 0},     {40, note(B, 4), 0x4, 0x56}, {44, note(G, 4), 0, 0},
                {48, note(D, 4), 0, 0},     {50, note(E, 4), 0xE, 0xD3}, {52, note(D, 4), 0, 0},
                {54, note(B, 3), 0, 0},     {56, note(A, 3), 0x4, 0x48}, {60, note(A, 3), 0xA, 0x02}});
        holdVibrato(w, 0, 8, 3);
        holdVibrato(w, 0, 24, 3);
        holdVibrato(w, 0, 40, 3);
        holdVibrato(w, 0, 56, 3);
        for (int r = 61; r < 64; ++r) w.effect(0, r, 0xA, 0x00);
    }
    // 4: the close: PCM Saw pad, a detuned pulse chord fading out, and a last slide.
    {
        Writer w{song.patterns[4]};
        bassLine(w, false);
        for (int k = 0; k < 4; ++k) {
            const Chord& ch = CHORDS[k];
            w.cell(4, k * 16, note(ch.root, ch.octave + 1), SAW);
            w.cell(4, k * 16 + 8, note(ch.root, ch.octave + 1) + 12);
            w.cell(1, k * 16, note(ch.root, ch.octave + 2) + (ch.arpeggio == 0x37 ? 3 : 4), PAD);
            w.cell(0, k * 16 + 4, note(ch.root, ch.octave + 2) + 7, LEAD, 0x4, 0x34);
            holdVibrato(w, 0, k * 16 + 4, 8);
        }
        for (int r = 48; r < 64; ++r) w.effect(1, r, 0xA, 0x01);  // fade the pad
        w.cell(0, 56, note(A, 4), LEAD, 0x2, 0x10);
        for (int r = 57; r < 63; ++r) w.effect(0, r, 0x2, 0x00);
        w.cell(0, 63, NOTE_OFF);
        for (int r = 0; r < 64; r += 8) w.cell(3, r, 1, HAT);
    }
    const int orders[] = {0, 1, 2, 1, 3, 4};
    song.orders.count = 6;
    for (int i = 0; i < 6; ++i) song.orders.entries[i] = orders[i];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo DIR\n");
        return 1;
    }
    auto song = std::make_unique<Song>();
    makeInstruments(*song);
    makePatterns(*song);
    const std::string path = std::string(argv[1]) + "/demo.zcm";
    if (!saveSong(*song, path)) {
        std::fprintf(stderr, "Error: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

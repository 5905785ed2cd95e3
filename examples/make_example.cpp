// Writes the example song (example.zcm) and its lead instrument (example.zci) into the folder
// named by the first argument. The committed files in examples/ are this program's output.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "song/InstrumentFile.h"
#include "song/SongFile.h"

namespace {

// Note numbers: 1 is the lowest C, one semitone per step.
constexpr int C3 = 25, D3 = 27, E3 = 29, F3 = 30, G3 = 32, A3 = 34;
constexpr int C4 = 37, D4 = 39, E4 = 41, F4 = 42, G4 = 44, A4 = 46, B4 = 48, C5 = 49;

void setEnvelope(Envelope& env, const std::vector<int>& values, int loopPoint) {
    for (size_t i = 0; i < values.size(); ++i) env.values[i] = values[i];
    env.values[values.size()] = END_MARKER;
    env.loopPoint = loopPoint;
}

void setInstrument(Song& song, int slot, const char* name, InstrumentType type, int colour) {
    song.resetInstrument(slot);
    song.instrumentNames[slot] = name;
    song.instruments[slot].type = type;
    song.instrumentColours[slot] = colour;
}

void put(Pattern& p, int channel, int row, int note, int instrument, int effect = 0, int parameter = 0) {
    PatternCell& cell = p.at(channel, row);
    cell.note = uint8_t(note);
    cell.instrument = uint8_t(instrument);
    cell.setEffect(effect, parameter);
}

void buildInstruments(Song& song) {
    setInstrument(song, 1, "Lead", INST_NORMAL, 2);
    setEnvelope(song.instruments[1].envelopes[ENV_VOLUME], {240, 224, 208, 192, 176, 160, 144, 144, 128}, 8);
    setEnvelope(song.instruments[1].envelopes[ENV_DUTY], {128, 128, 64}, 2);

    setInstrument(song, 2, "Bass", INST_NORMAL, 5);
    setEnvelope(song.instruments[2].envelopes[ENV_VOLUME], {240}, 0);
    setEnvelope(song.instruments[2].envelopes[ENV_FINETUNE], {127, 131, 127, 123}, 0);

    setInstrument(song, 3, "Hi-hat", INST_NORMAL, 9);
    setEnvelope(song.instruments[3].envelopes[ENV_VOLUME], {160, 96, 48, 16, 0}, 4);

    setInstrument(song, 4, "Kick", INST_DPCM, 12);
    std::vector<uint8_t> kick(64);
    for (size_t i = 0; i < kick.size(); ++i) kick[i] = i < 16 ? 0xFF : i < 40 ? 0x00 : 0x55;
    song.instruments[4].dpcm.assign(kick.data(), uint32_t(kick.size()), false);

    setInstrument(song, 5, "Chord arp", INST_NORMAL, 14);
    setEnvelope(song.instruments[5].envelopes[ENV_VOLUME], {176, 160, 144, 128}, 3);
    setEnvelope(song.instruments[5].envelopes[ENV_NOTE], {64, 68, 71}, 0);
    setEnvelope(song.instruments[5].envelopes[ENV_DUTY], {64}, 0);

    setInstrument(song, 6, "Saw pad", INST_PCM_SAW, 7);
    setEnvelope(song.instruments[6].envelopes[ENV_VOLUME], {64, 128, 192, 176}, 3);

    setInstrument(song, 7, "Blip", INST_PCM, 16);
    std::vector<uint8_t> blip(256);
    for (size_t i = 0; i < blip.size(); ++i) {  // a triangle wave of 32 levels per cycle, in integers
        int phase = int(i % 32);
        blip[i] = uint8_t(24 + 5 * (phase < 16 ? phase : 32 - phase));
    }
    song.instruments[7].pcm.assign(blip.data(), uint32_t(blip.size()), true);
}

void buildPatterns(Song& song) {
    const int melody[16] = {C4, E4, G4, C5, B4, G4, E4, D4, F4, A4, C5, A4, G4, E4, D4, C4};
    const int bass[4] = {C3, A3, F3, G3};

    Pattern& intro = song.patterns[0];
    for (int i = 0; i < 16; ++i) put(intro, CH_PULSE1, i * 4, melody[i], 1);
    for (int bar = 0; bar < 4; ++bar) put(intro, CH_TRIANGLE, bar * 16, bass[bar], 2);
    for (int row = 0; row < 64; row += 4) put(intro, CH_NOISE, row + 2, 12, 3);
    for (int row = 0; row < 64; row += 16) put(intro, CH_DPCM, row, C4 + 15, 4);  // rate index 15
    put(intro, CH_PULSE1, 0, C4, 1, 0xF, 0x05);                                   // speed 5

    Pattern& verse = song.patterns[1];
    for (int i = 0; i < 16; ++i) put(verse, CH_PULSE1, i * 4, melody[15 - i], 1, i % 4 == 0 ? 0x4 : 0, 0x34);
    for (int i = 0; i < 8; ++i) put(verse, CH_PULSE2, i * 8, melody[i * 2] - 12, 5);
    for (int bar = 0; bar < 4; ++bar) put(verse, CH_TRIANGLE, bar * 16, bass[3 - bar], 2);
    put(verse, CH_TRIANGLE, 60, NOTE_OFF, 0);
    for (int row = 0; row < 64; row += 2) put(verse, CH_NOISE, row, row % 8 == 0 ? 4 : 12, 3);
    for (int row = 0; row < 64; row += 8) put(verse, CH_DPCM, row, C4 + 15, 4);

    Pattern& bridge = song.patterns[2];
    const int pad[4] = {C4, F4, G4, E4};
    for (int bar = 0; bar < 4; ++bar) {
        put(bridge, CH_DPCM, bar * 16, pad[bar], 6);
        put(bridge, CH_PULSE1, bar * 16 + 8, pad[bar] + 12, 7);
        put(bridge, CH_TRIANGLE, bar * 16, bass[bar], 2, 0x1, 0x02);  // slide up
    }
    put(bridge, CH_PULSE2, 0, D3, 5, 0xA, 0x01);   // slow fade
    put(bridge, CH_PULSE2, 32, E3, 5, 0xC, 0x2A);  // volume 10, duty 1
    put(bridge, CH_NOISE, 48, 0, 0, 0xD, 0x00);    // break to the next order
    // The last cell carries a non-musical high nibble in its fourth byte; files keep it.
    bridge.at(CH_PULSE1, 63).param = 0x70;

    song.orders.count = 4;
    const int orders[4] = {0, 1, 0, 2};
    for (int o = 0; o < 4; ++o) song.orders.entries[o] = orders[o];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_example OUTPUT_FOLDER\n");
        return 1;
    }
    const std::string folder = argv[1];
    auto song = std::make_unique<Song>();
    buildInstruments(*song);
    buildPatterns(*song);
    if (!saveSong(*song, folder + "/example.zcm") || !saveInstrument(*song, 1, folder + "/example.zci")) {
        std::fprintf(stderr, "make_example: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}

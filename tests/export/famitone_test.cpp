#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "export/FamiTone.h"
#include "tests/converter/TestData.h"

namespace {

const std::string kEmptyCell = "... .. . ...";

void setEnvelope(Envelope& envelope, const std::vector<int>& values, int loopPoint) {
    std::fill(std::begin(envelope.values), std::end(envelope.values), 0);
    for (size_t i = 0; i < values.size(); ++i) envelope.values[i] = values[i];
    envelope.values[values.size()] = END_MARKER;
    envelope.loopPoint = loopPoint;
}

PatternCell cell(int note, int instrument, int effect = 0, int parameter = 0) {
    PatternCell c;
    c.note = uint8_t(note);
    c.instrument = uint8_t(instrument);
    c.setEffect(effect, parameter);
    return c;
}

}  // namespace

// No instruments: empty sequence sections, an empty DMC table and no [Sample] section.
TEST(FamiTone, SongWithoutInstrumentsWritesEmptySections) {
    expectTestData("export/no-instruments.txt", exportFamiTone(*std::make_unique<Song>()));
}

TEST(FamiTone, CellText) {
    EXPECT_EQ(famiToneCellText(cell(0, 0)), kEmptyCell);
    EXPECT_EQ(famiToneCellText(cell(1, 1)), "C-0 00 . ...");
    EXPECT_EQ(famiToneCellText(cell(38, 11, 0xA, 0x3F)), "C#3 0a . A3F");
    EXPECT_EQ(famiToneCellText(cell(NOTE_OFF, 255, 0xF, 0x06)), "--- fe . F06");
    EXPECT_EQ(famiToneCellText(cell(96, 0, 0x4, 0xA3)), "B-7 .. . 4A3");
    EXPECT_EQ(famiToneCellText(cell(0, 0, 0, 0x05)), "... .. . 005") << "a parameter alone is an effect";
    PatternCell loose = cell(0, 0);
    loose.param = 0xF0;  // the unused high nibble of byte 3 does not make an effect
    EXPECT_EQ(famiToneCellText(loose), kEmptyCell);
}

TEST(FamiTone, SequencesConvertEachEnvelope) {
    auto song = std::make_unique<Song>();
    Instrument& a = song->instruments[1];
    setEnvelope(a.envelopes[ENV_VOLUME], {240, 192, 128, 64}, 2);
    setEnvelope(a.envelopes[ENV_NOTE], {64, 76, 0, 128, 140, 127}, 0);
    setEnvelope(a.envelopes[ENV_FINETUNE], {127, 130, 130, 120}, 3);
    setEnvelope(a.envelopes[ENV_DUTY], {32, 64, 128, 255}, 1);
    Instrument& b = song->instruments[2];
    setEnvelope(b.envelopes[ENV_VOLUME], {240, 192, 128, 64}, 3);
    b.envelopes[ENV_NOTE].values[0] = END_MARKER;  // no values at all
    song->instrumentNames[3] = "named only";       // counted, default envelopes

    // Instrument 2 loops on its last value; instrument 3 has default envelopes.
    expectTestData("export/sequences.txt", exportFamiTone(*song));
}

// Channel conversions and the DPCM sample table. Instruments 1-13 are DPCM samples; each cell
// of pattern 1 row r (r < 13) plays instrument r + 1, so the rows bring thirteen distinct pairs.
TEST(FamiTone, DpcmSampleTableAndChannelConversions) {
    auto song = std::make_unique<Song>();
    for (int slot = 1; slot <= 13; ++slot) {
        song->instruments[slot].type = INST_DPCM;
        uint8_t bytes[2] = {uint8_t(slot), 0xA0};
        song->instruments[slot].dpcm.assign(bytes, 2, slot == 2);
        song->instrumentNames[slot] = "s" + std::to_string(slot);
    }
    song->instrumentNames[3] = "s3\nSampleSize=9";  // from a damaged file: must not forge a key
    song->instruments[14].type = INST_PCM;
    song->orders.count = 3;
    song->orders.entries[0] = 0;
    song->orders.entries[1] = 1;
    song->orders.entries[2] = 0;

    Pattern& p0 = song->patterns[0];
    p0.at(CH_DPCM, 0) = cell(0x15, 1);            // rate 5
    p0.at(CH_DPCM, 1) = cell(0x27, 1, 1, 2);      // same instrument, rate 7: a second sample
    p0.at(CH_DPCM, 2) = cell(0x25, 1);            // rate 5 again: the first sample
    p0.at(CH_DPCM, 3) = cell(50, 0);              // no instrument: the note stays
    p0.at(CH_DPCM, 4) = cell(50, 14, 0xC, 0x20);  // PCM instrument: note and instrument go
    p0.at(CH_NOISE, 0) = cell(1, 0);
    p0.at(CH_NOISE, 1) = cell(NOTE_OFF, 0);
    p0.at(CH_NOISE, 2) = cell(120, 0);
    Pattern& p1 = song->patterns[1];
    for (int r = 0; r < 13; ++r) p1.at(CH_DPCM, r) = cell(0x10 + r % 16, r + 1);

    // Frame 0: instrument 1 at rates 5 and 7 becomes samples 0 and 1 (notes C-3 and C#3); a note
    // without instrument stays, a PCM instrument loses note and instrument. Frame 1: slot 1 at rate
    // 0 is a new pair, slots 2-10 take 3-11, which fills the table at row 9; rows 10-12 need a
    // thirteenth pair and lose note and instrument. Frame 2 repeats pattern 0: pairs that already
    // have a sample keep it. Twelve [Sample] sections; the first two both come from instrument 1.
    expectTestData("export/dpcm-table.txt", exportFamiTone(*song));
}

// The whole text of a small song: what a converter would read.
TEST(FamiTone, WholeFile) {
    auto song = std::make_unique<Song>();
    setEnvelope(song->instruments[1].envelopes[ENV_VOLUME], {255, 128, 16}, 1);
    setEnvelope(song->instruments[1].envelopes[ENV_DUTY], {128}, 0);
    song->instruments[2].type = INST_DPCM;
    uint8_t bytes[3] = {0x12, 0xAB, 0x00};
    song->instruments[2].dpcm.assign(bytes, 3, true);
    song->instrumentNames[2] = "kick.dmc";
    song->orders.count = 2;
    song->orders.entries[0] = 3;
    song->orders.entries[1] = 3;
    Pattern& p = song->patterns[3];
    p.at(CH_PULSE1, 0) = cell(25, 1, 0xF, 0x06);
    p.at(CH_PULSE2, 10) = cell(NOTE_OFF, 0);
    p.at(CH_TRIANGLE, 63) = cell(13, 1, 0x4, 0xA3);
    p.at(CH_NOISE, 5) = cell(3, 1);
    p.at(CH_DPCM, 0) = cell(0x1F, 2);

    expectTestData("export/whole-file.txt", exportFamiTone(*song));
}

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "export/FamiTone.h"
#include "tests/converter/TestData.h"

namespace {

const std::string kEmptyCell = "... .. . ...";

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

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

std::string lineWithKey(const std::vector<std::string>& lines, const std::string& key) {
    for (const auto& line : lines)
        if (line.rfind(key + "=", 0) == 0) return line;
    return "<no " + key + ">";
}

// Row r of frame f as the list of its five cell texts.
std::vector<std::string> rowCells(const std::vector<std::string>& lines, int frame, int row) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "[Frame" + std::to_string(frame) + "]") continue;
        std::vector<std::string> cells;
        std::string rowLine = lines.at(i + 1 + row);
        std::istringstream in(rowLine.substr(3));
        std::string text;
        while (std::getline(in, text, '|')) cells.push_back(text);
        return cells;
    }
    return {};
}

// The 96 numbers of a [DMC0] line, with entries 36.. given.
std::string dmcLine(const std::string& key, const std::vector<int>& fromEntry36) {
    std::string line = key + "=";
    for (int e = 0; e < 96; ++e) {
        int v = (e >= 36 && e - 36 < int(fromEntry36.size())) ? fromEntry36[e - 36] : 0;
        line += (e ? "," : "") + std::to_string(v);
    }
    return line;
}

}  // namespace

// No instruments: empty sequence sections, an empty DMC table and no [Sample] section.
TEST(FamiTone, SongWithoutInstrumentsWritesEmptySections) {
    auto song = std::make_unique<Song>();
    std::string text = exportFamiTone(*song);
    EXPECT_NE(text.find("InstrumentsCount=0\n"), std::string::npos);
    EXPECT_NE(text.find("\n\n[SequencesVolume]\n\n[SequencesArpeggio]\n\n[SequencesPitch]\n\n"
                        "[SequencesDuty]\n\n[Frame0]\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with("\n[DMC0]\n" + dmcLine("SamplesAssigned", {}) + "\n" +
                               dmcLine("SamplesPitch", {}) + "\n" + dmcLine("SamplesLoop", {}) + "\n\n"));
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

    auto lines = splitLines(exportFamiTone(*song));
    // Instrument 2 loops on its last value; instrument 3 has default envelopes.
    for (std::string line : {"InstrumentsCount=3", "SequenceVolume0=15,12,|8,4", "SequenceVolume1=15,12,8,4",
                             "SequenceArpeggio0=|0,12,-64,0,0,63", "SequenceArpeggio1=",
                             "SequencePitch0=0,3,0,-10", "SequenceDuty0=0,|1,2,3", "SequenceVolume2=0",
                             "SequencePitch2=0", "SequenceDuty2=0", "SequenceArpeggio2=0"})
        EXPECT_EQ(lineWithKey(lines, line.substr(0, line.find('='))), line);
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

    std::string text = exportFamiTone(*song);
    auto lines = splitLines(text);
    // Frame 0: instrument 1 at rates 5 and 7 becomes samples 0 and 1 (notes 37 C-3 and 38 C#3).
    EXPECT_EQ(rowCells(lines, 0, 0)[4], "C-3 00 . ...");
    EXPECT_EQ(rowCells(lines, 0, 1)[4], "C#3 00 . 102");
    EXPECT_EQ(rowCells(lines, 0, 2)[4], "C-3 00 . ...");
    EXPECT_EQ(rowCells(lines, 0, 3)[4], "C#4 .. . ...");
    EXPECT_EQ(rowCells(lines, 0, 4)[4], "... .. . C20");
    EXPECT_EQ(rowCells(lines, 0, 0)[3], "C#0 .. . ...");
    EXPECT_EQ(rowCells(lines, 0, 1)[3], "--- .. . ...");
    EXPECT_EQ(rowCells(lines, 0, 2)[3], "C-10 .. . ...");
    // Frame 1: slot 1 at rate 0 is a new pair (sample 2), slots 2-10 take 3-11, which fills the
    // table at row 9. Rows 10-12 need a thirteenth pair and lose note and instrument.
    EXPECT_EQ(rowCells(lines, 1, 0)[4], "D-3 00 . ...");
    EXPECT_EQ(rowCells(lines, 1, 9)[4], "B-3 00 . ...");
    for (int r = 10; r < 13; ++r) EXPECT_EQ(rowCells(lines, 1, r)[4], kEmptyCell) << r;
    // Frame 2 repeats pattern 0: with the table full, pairs that already have a sample keep it.
    EXPECT_EQ(rowCells(lines, 2, 0)[4], "C-3 00 . ...");
    EXPECT_EQ(rowCells(lines, 2, 1)[4], "C#3 00 . 102");

    EXPECT_EQ(lineWithKey(lines, "SamplesAssigned"),
              dmcLine("SamplesAssigned", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(lineWithKey(lines, "SamplesPitch"),
              dmcLine("SamplesPitch", {5, 7, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(lineWithKey(lines, "SamplesLoop"), dmcLine("SamplesLoop", {0, 0, 0, 1}));

    // Twelve [Sample] sections; the first two both come from instrument 1.
    EXPECT_EQ(text.find("[Sample13]"), std::string::npos);
    EXPECT_NE(text.find("[Sample1]\nSampleName=s1\nSampleSize=2\nSampleData=$01a0\n\n[Sample2]\n"
                        "SampleName=s1\nSampleSize=2\nSampleData=$01a0\n\n[Sample3]\nSampleName=s1\n"),
              std::string::npos);
    EXPECT_NE(text.find("[Sample5]\nSampleName=s3 SampleSize=9\nSampleSize=2\n"), std::string::npos);
    EXPECT_NE(text.find("[Sample12]\nSampleName=s10\nSampleSize=2\nSampleData=$0aa0\n\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
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

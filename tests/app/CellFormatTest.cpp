#include <gtest/gtest.h>

#include <memory>

#include "app/CellFormat.h"

namespace {

const std::string DOT1(1, char(0xFA)), DOT2(2, char(0xFA)), DOT3(3, char(0xFA));

PatternCell cell(int note, int instrument = 0, int command = 0, int parameter = 0) {
    PatternCell c;
    c.note = uint8_t(note);
    c.instrument = uint8_t(instrument);
    c.setEffect(command, parameter);
    return c;
}

void setNoteEnvelope(Song& song, int slot, std::initializer_list<int> values) {
    Envelope& env = song.instruments[slot].envelopes[ENV_NOTE];
    int i = 0;
    for (int v : values) env.values[i++] = v;
    env.values[i] = END_MARKER;
}

}  // namespace

TEST(FormatCell, NoteNamesOctavesAndTriangleShift) {
    auto song = std::make_unique<Song>();
    const struct {
        int note, channel;
        const char* text;
    } cases[] = {
        {1, CH_PULSE1, "C-0"},    {13, CH_PULSE1, "C-1"},   {2, CH_PULSE2, "C#0"},   {120, CH_PULSE1, "B-9"},
        {49, CH_DPCM, "C-4"},     {13, CH_TRIANGLE, "C-0"}, {5, CH_TRIANGLE, "C-0"}, {25, CH_TRIANGLE, "C-1"},
        {46, CH_TRIANGLE, "A-2"}, {200, CH_PULSE1, "G-16"},  // out-of-range bytes from a damaged file
    };
    for (const auto& c : cases) EXPECT_EQ(formatCell(cell(c.note), c.channel, *song).note, c.text) << c.note;
}

TEST(FormatCell, EmptyNoteOffAndEffectFields) {
    auto song = std::make_unique<Song>();
    const struct {
        PatternCell cell;
        int channel;
        std::string note, instrument, effect, parameter;
    } cases[] = {
        {cell(NOTE_OFF), CH_PULSE1, "OFF", DOT2, DOT1, DOT2},
        {PatternCell{}, CH_NOISE, DOT3, DOT2, DOT1, DOT2},
        {cell(0, 0, 0, 0x05), CH_PULSE1, DOT3, DOT2, "0", "05"},
        // A zero command whose parameter has only its high digit set is still shown.
        {cell(0, 0, 0, 0x50), CH_PULSE1, DOT3, DOT2, "0", "50"},
        {cell(37, 0x1F, 0xA, 0xC3), CH_PULSE1, "C-3", "1F", "A", "C3"},
    };
    for (const auto& c : cases) {
        const CellText t = formatCell(c.cell, c.channel, *song);
        EXPECT_EQ(std::vector<std::string>({t.note, t.instrument, t.effect, t.parameter}),
                  std::vector<std::string>({c.note, c.instrument, c.effect, c.parameter}));
    }
}

TEST(FormatCell, NoiseAbsoluteAndSampleReplacements) {
    auto song = std::make_unique<Song>();
    const std::string bar(1, char(0xC4));
    // Instrument 1: ordinary relative note envelope. 2: empty note envelope. 3: only absolute
    // notes. 4: absolute then relative. 5: PCM. 6: DPCM.
    setNoteEnvelope(*song, 2, {});
    setNoteEnvelope(*song, 3, {0x80 | 40, 0x80 | 52});
    setNoteEnvelope(*song, 4, {0x80 | 40, 64});
    song->instruments[5].type = INST_PCM;
    song->instruments[6].type = INST_DPCM;

    EXPECT_EQ(formatCell(cell(0x1B), CH_NOISE, *song).note, bar + "B" + bar);
    EXPECT_EQ(formatCell(cell(0x1B, 1), CH_NOISE, *song).note, bar + "B" + bar);
    EXPECT_EQ(formatCell(cell(NOTE_OFF, 1), CH_NOISE, *song).note, "OFF");

    for (int ch = CH_PULSE1; ch <= CH_NOISE; ++ch) {
        EXPECT_EQ(formatCell(cell(30, 2), ch, *song).note, "ABS") << ch;
        EXPECT_EQ(formatCell(cell(30, 3), ch, *song).note, "ABS") << ch;
        EXPECT_NE(formatCell(cell(30, 4), ch, *song).note, "ABS") << ch;
        EXPECT_NE(formatCell(cell(30, 1), ch, *song).note, "ABS") << ch;
        EXPECT_EQ(formatCell(cell(NOTE_OFF, 2), ch, *song).note, "OFF") << ch;
        EXPECT_EQ(formatCell(cell(0, 2), ch, *song).note, DOT3) << ch;
    }
    EXPECT_EQ(formatCell(cell(30, 2), CH_DPCM, *song).note, "F-2");  // no ABS on the DPCM channel

    EXPECT_EQ(formatCell(cell(30, 5), CH_DPCM, *song).note, "PCM");
    EXPECT_EQ(formatCell(cell(0x2E, 6), CH_DPCM, *song).note, bar + "E" + bar);
    EXPECT_EQ(formatCell(cell(30, 1), CH_DPCM, *song).note, "F-2");
    EXPECT_EQ(formatCell(cell(NOTE_OFF, 5), CH_DPCM, *song).note, "OFF");
    EXPECT_EQ(formatCell(cell(30, 5), CH_PULSE1, *song).note, "F-2");
}

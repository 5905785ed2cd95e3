#include <gtest/gtest.h>

#include "export/FamiTone.h"
#include "tests/converter/TestData.h"

namespace {

const std::string kEmptyCell = "... .. . ...";

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

// Envelopes to sequences, the DPCM sample table with the channel conversions, and a small song's
// whole text: each a script in tests/data/export with its exported text beside it.
TEST(FamiTone, ScriptedSongsExportExactly) {
    for (const char* name : {"sequences", "dpcm-table", "whole-file"}) {
        auto song = std::make_unique<Song>();
        loadSongScript(*song, std::string("export/") + name);
        expectTestData(std::string("export/") + name + ".txt", exportFamiTone(*song));
    }
}

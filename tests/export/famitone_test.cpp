#include <gtest/gtest.h>

#include "export/FamiTone.h"
#include "tests/app/Golden.h"
#include "tests/converter/TestData.h"

// No instruments: empty sequence sections, an empty DMC table and no [Sample] section.
TEST(FamiTone, SongWithoutInstrumentsWritesEmptySections) {
    expectTestData("export/no-instruments.txt", exportFamiTone(*std::make_unique<Song>()));
}

// Cells as "note instrument byte2 byte3" in hexadecimal bytes; byte 3's high nibble is no effect.
TEST(FamiTone, CellText) {
    expectTable("export/cell_text", [](const std::string& c) {
        unsigned v[4] = {};
        std::sscanf(c.c_str(), "%x %x %x %x", &v[0], &v[1], &v[2], &v[3]);
        return famiToneCellText(PatternCell{uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), uint8_t(v[3])});
    });
}

// Envelopes to sequences, the DPCM sample table with the channel conversions, and a small song's
// whole text: each a script in tests/data/export with its exported text beside it.
TEST(FamiTone, ScriptedSongsExportExactly) {
    for (const std::string name : {"sequences", "dpcm-table", "whole-file"})
        expectTestData("export/" + name + ".txt", exportFamiTone(*songScript("export/" + name)));
}

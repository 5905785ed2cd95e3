// Pattern cells as the pattern view shows them, for cells kept in tests/data/app/cell_format.txt:
// note names and octaves, the triangle's octave shift, noise notes, ABS for instruments that
// play only absolute notes, PCM and DPCM replacements, empty fields.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "app/CellFormat.h"
#include "tests/app/Golden.h"

TEST(FormatCell, FieldsAsShown) {
    auto song = std::make_unique<Song>();
    // Instrument 1: ordinary relative note envelope. 2: empty note envelope. 3: only absolute
    // notes. 4: absolute then relative. 5: PCM. 6: DPCM.
    int32_t* notes[] = {nullptr, nullptr, song->instruments[2].envelopes[ENV_NOTE].values,
                        song->instruments[3].envelopes[ENV_NOTE].values,
                        song->instruments[4].envelopes[ENV_NOTE].values};
    notes[2][0] = END_MARKER;
    notes[3][0] = 0x80 | 40, notes[3][1] = 0x80 | 52, notes[3][2] = END_MARKER;
    notes[4][0] = 0x80 | 40, notes[4][1] = 64, notes[4][2] = END_MARKER;
    song->instruments[5].type = INST_PCM;
    song->instruments[6].type = INST_DPCM;
    // "note instrument command parameter channel" -> "note|instrument|effect|parameter".
    expectTable("app/cell_format", [&](const std::string& in) {
        std::istringstream fields(in);
        int note, instrument, command, parameter, channel;
        fields >> note >> instrument >> command >> parameter >> channel;
        PatternCell c{uint8_t(note), uint8_t(instrument), 0, 0};
        c.setEffect(command, parameter);
        const CellText t = formatCell(c, channel, *song);
        return t.note + "|" + t.instrument + "|" + t.effect + "|" + t.parameter;
    });
}

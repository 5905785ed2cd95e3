// The FamiTone check against a reader of our own written to the converter's grammar: what the
// reader refuses in the exported text is exactly what the check reports as refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <tuple>

#include "FamiToneReader.h"
#include "export/FamiTone.h"
#include "export/FamiToneCheck.h"
#include "song/SongFile.h"

namespace {

PatternCell cell(int note, int instrument, int effect = 0, int parameter = 0) {
    PatternCell c;
    c.note = uint8_t(note);
    c.instrument = uint8_t(instrument);
    c.setEffect(effect, parameter);
    return c;
}

bool isRefusal(FamiToneProblem p) {
    return p != FamiToneProblem::SampleNote && p != FamiToneProblem::NoiseNoteOff &&
           p != FamiToneProblem::AbsoluteNote && p != FamiToneProblem::NotASample &&
           p != FamiToneProblem::TableFull;
}

using Place = std::tuple<FamiToneProblem, int, int, int, int>;  // problem, order, row, channel, slot

// What the reader refuses in the exported text, each cell of a pattern at its first order.
std::multiset<Place> readerRefusals(const Song& song, const FamiToneRead& read) {
    std::multiset<Place> out;
    std::set<std::tuple<int, int, int, FamiToneProblem>> seen;
    for (const FamiToneRefusal& r : read.refusals) {
        if (r.frame < 0) {
            out.insert({r.problem, -1, -1, -1, r.instrument + 1});
        } else if (seen.insert({song.orders.entries[r.frame], r.row, r.channel, r.problem}).second) {
            out.insert({r.problem, r.frame, r.row, r.channel, 0});
        }
    }
    return out;
}

std::multiset<Place> checkRefusals(const std::vector<FamiToneFinding>& findings) {
    std::multiset<Place> out;
    for (const FamiToneFinding& f : findings)
        if (isRefusal(f.problem))
            out.insert({f.problem, f.order, f.row, f.channel, f.isCell() ? 0 : f.instrument});
    return out;
}

void setEnvelope(Envelope& envelope, std::initializer_list<int> values) {
    int i = 0;
    for (int v : values) envelope.values[i++] = v;
    envelope.values[i] = END_MARKER;
    envelope.loopPoint = 0;
}

}  // namespace

// A song that hits every check once; pattern 0 plays twice and its problems are reported once.
TEST(FamiToneCheck, ReportsEachPlantedProblemOnce) {
    auto song = std::make_unique<Song>();
    setEnvelope(song->instruments[1].envelopes[ENV_NOTE], {64, 140});
    setEnvelope(song->instruments[1].envelopes[ENV_FINETUNE], {127, 200, 140});
    song->instruments[2].type = INST_PCM;
    for (int slot = 3; slot <= 15; ++slot) {
        song->instruments[slot].type = INST_DPCM;
        uint8_t byte = uint8_t(slot);
        song->instruments[slot].dpcm.assign(&byte, 1, false);
    }
    song->orders.count = 4;
    const int orders[] = {0, 1, 2, 0};
    std::copy(std::begin(orders), std::end(orders), song->orders.entries);

    Pattern& p0 = song->patterns[0];
    p0.at(CH_DPCM, 0) = cell(40, 2);            // PCM on the DPCM channel
    p0.at(CH_PULSE1, 1) = cell(12, 0);          // B-0
    p0.at(CH_DPCM, 1) = cell(50, 0);            // no instrument, not a sample note
    p0.at(CH_PULSE1, 2) = cell(76, 0);          // D#6
    p0.at(CH_DPCM, 2) = cell(40, 0);            // no instrument, a sample note
    p0.at(CH_NOISE, 3) = cell(254, 0);          // written one up: a note off
    p0.at(CH_NOISE, 4) = cell(12, 0);           // written as C-1: fine
    p0.at(CH_NOISE, 5) = cell(120, 0);          // written as C-10
    p0.at(CH_TRIANGLE, 5) = cell(75, 0);        // D-6: fine
    p0.at(CH_PULSE1, 7) = cell(13, 1, 0xB, 1);  // forward at order 0, a loop back at order 3
    p0.at(CH_PULSE1, 8) = cell(40, 70);
    p0.at(CH_PULSE1, 9) = cell(0, 0, 0x9, 0x12);
    p0.at(CH_PULSE1, 10) = cell(0, 0, 0x0, 0x37);
    p0.at(CH_PULSE2, 11) = cell(NOTE_OFF, 0, 0xD, 0x00);
    p0.at(CH_PULSE2, 12) = cell(0, 0, 0xF, 0x06);
    p0.at(CH_TRIANGLE, 13) = cell(0, 0, 0xB, 0x00);
    for (int r = 0; r < 13; ++r) song->patterns[1].at(CH_DPCM, r) = cell(0x20, r + 3);
    song->patterns[2].at(CH_PULSE2, 0x1F) = cell(0, 0, 0x4, 0xA3);
    song->patterns[2].at(CH_DPCM, 0) = cell(0x20, 3);  // an assigned pair keeps its sample

    const auto findings = checkFamiTone(*song);
    std::vector<std::string> texts;
    for (const auto& f : findings) texts.push_back(f.text());
    const std::vector<std::string> want = {
        "instrument 01: Fine-tune envelope changes by +73, outside -64..63",
        "instrument 01: absolute notes of the Note envelope are played as offset 0",
        "instrument 41: instruments 41-46 are beyond the 64 the library holds",
        "order 00 row 00 DPCM: instrument 02 (PCM) is left out: only DPCM samples play here",
        "order 00 row 01 Pulse 1: note is too low for the library",
        "order 00 row 01 DPCM: note without instrument is not one of the sample notes",
        "order 00 row 02 Pulse 1: note is too high for the library",
        "order 00 row 02 DPCM: note without instrument plays the table's sample of that note",
        "order 00 row 03 Noise: note is written as a note off",
        "order 00 row 05 Noise: note is too high for the library",
        "order 00 row 07 Pulse 1: effect B jumps forward to order 01; only loops back are played",
        "order 00 row 08 Pulse 1: instrument 46 is beyond the 64 the library holds",
        "order 00 row 09 Pulse 1: effect 9 is not played",
        "order 00 row 0A Pulse 1: effect 0 (arpeggio) is not played",
        "order 01 row 0C DPCM: sample of instrument 0F at rate 0 is left out: the table holds twelve",
        "order 02 row 1F Pulse 2: effect 4 (vibrato) is not played",
    };
    EXPECT_EQ(texts, want);
    EXPECT_EQ(famiToneCellCount(findings), 13);
    EXPECT_EQ(famiToneSummary(findings), "13 cells and 2 instruments will not play as written");

    const FamiToneRead read = readFamiTone(exportFamiTone(*song));
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(readerRefusals(*song, read), checkRefusals(findings));
}

// Songs within the limits read without a refusal; the example songs read, and what the reader
// refuses in them is what the check reports.
TEST(FamiToneCheck, CleanAndExampleSongsAgreeWithTheReader) {
    auto song = std::make_unique<Song>();
    setEnvelope(song->instruments[1].envelopes[ENV_FINETUNE], {127, 190, 127});
    setEnvelope(song->instruments[1].envelopes[ENV_NOTE], {0, 127});
    song->instruments[2].type = INST_DPCM;
    const uint8_t bytes[] = {0x00, 0x5A, 0xFF};
    song->instruments[2].dpcm.assign(bytes, 3, true);
    song->orders.count = 2;
    song->orders.entries[1] = 1;
    Pattern& p = song->patterns[0];
    p.at(CH_PULSE1, 0) = cell(13, 1, 0xF, 0x05);
    p.at(CH_PULSE2, 1) = cell(75, 1, 0xD, 0x00);
    p.at(CH_TRIANGLE, 2) = cell(NOTE_OFF, 0);
    p.at(CH_NOISE, 3) = cell(74, 1);
    p.at(CH_DPCM, 4) = cell(0x2F, 2);
    p.at(CH_DPCM, 5) = cell(NOTE_OFF, 0);
    p.at(CH_PULSE1, 6) = cell(30, 64);                            // the last instrument the library holds
    song->patterns[1].at(CH_PULSE1, 63) = cell(0, 0, 0xB, 0x01);  // loops onto its own order

    EXPECT_TRUE(checkFamiTone(*song).empty());
    const FamiToneRead clean = readFamiTone(exportFamiTone(*song));
    ASSERT_EQ(clean.error, "");
    EXPECT_TRUE(clean.refusals.empty());
    EXPECT_EQ(clean.samples.at(1), std::vector<unsigned char>(bytes, bytes + 3));
    EXPECT_EQ(std::vector<int>({clean.dmc[0][36], clean.dmc[1][36], clean.dmc[2][36]}),
              std::vector<int>({1, 15, 1}));

    for (const char* name : {"demo.zcm", "example.zcm"}) {
        std::vector<uint8_t> file;
        ASSERT_TRUE(readWholeFile(std::string(BF_SOURCE_DIR "/examples/") + name, file)) << name;
        auto example = std::make_unique<Song>();
        SongLoadHooks hooks;
        ASSERT_TRUE(loadSong(*example, file.data(), file.size(), hooks)) << name;
        const FamiToneRead read = readFamiTone(exportFamiTone(*example));
        ASSERT_EQ(read.error, "") << name;
        EXPECT_EQ(readerRefusals(*example, read), checkRefusals(checkFamiTone(*example))) << name;
    }
}

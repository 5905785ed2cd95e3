// The FamiTone check against a reader of our own written to the converter's grammar: what the
// reader refuses in the exported text is exactly what the check reports as refused.

#include <gtest/gtest.h>

#include "FamiToneReader.h"
#include "export/FamiTone.h"
#include "export/FamiToneCheck.h"
#include "song/SongFile.h"
#include "tests/converter/TestData.h"

namespace {

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

}  // namespace

// A song that hits every check once, and one within every limit: what the reader refuses in the
// exported text is what the check reports as refused, and the example songs agree too.
TEST(FamiToneCheck, ReportsEachProblemOnceAsTheReaderRefusesIt) {
    const auto song = songScript("export/famitone-problems");
    const auto findings = checkFamiTone(*song);
    std::string texts;
    for (const auto& f : findings) texts += f.text() + "\n";
    expectTestData("export/famitone-problems.txt", texts + famiToneSummary(findings) + "\n");
    EXPECT_EQ(famiToneCellCount(findings), 14);
    const FamiToneRead read = readFamiTone(exportFamiTone(*song));
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(readerRefusals(*song, read), checkRefusals(findings));

    const auto clean = songScript("export/famitone-clean");
    const uint8_t bytes[] = {0x00, 0x5A, 0xFF};
    clean->instruments[2].dpcm.assign(bytes, 3, true);
    EXPECT_TRUE(checkFamiTone(*clean).empty());
    const FamiToneRead cleanRead = readFamiTone(exportFamiTone(*clean));
    ASSERT_EQ(cleanRead.error, "");
    EXPECT_TRUE(cleanRead.refusals.empty());
    EXPECT_EQ(cleanRead.samples.at(1), std::vector<unsigned char>(bytes, bytes + 3));
    EXPECT_EQ(std::vector<int>({cleanRead.dmc[0][36], cleanRead.dmc[1][36], cleanRead.dmc[2][36]}),
              std::vector<int>({1, 15, 1}));

    for (const char* name : {"demo.zcm", "example.zcm"}) {
        auto example = std::make_unique<Song>();
        SongLoadHooks hooks;
        ASSERT_TRUE(loadSongFile(*example, std::string(BF_SOURCE_DIR "/examples/") + name, hooks)) << name;
        const FamiToneRead exampleRead = readFamiTone(exportFamiTone(*example));
        ASSERT_EQ(exampleRead.error, "") << name;
        EXPECT_EQ(readerRefusals(*example, exampleRead), checkRefusals(checkFamiTone(*example))) << name;
    }
}

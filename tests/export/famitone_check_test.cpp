// The FamiTone check and export of a song that hits every check once, of one within every limit
// and of the example songs: their findings and exported texts compared whole with
// tests/data/export, so a check that drifts from what the export writes shows in both.

#include <gtest/gtest.h>

#include <memory>

#include "export/FamiTone.h"
#include "export/FamiToneCheck.h"
#include "song/SongFile.h"
#include "tests/converter/TestData.h"

namespace {

std::string findingsText(const Song& song) {
    const auto findings = checkFamiTone(song);
    std::string texts;
    for (const auto& f : findings) texts += f.text() + "\n";
    return texts + famiToneSummary(findings) + "\n";
}

}  // namespace

TEST(FamiToneCheck, FindingsAndExportOfEachSong) {
    auto song = std::make_unique<Song>();
    loadSongScript(*song, "export/famitone-problems");
    expectTestData("export/famitone-problems.txt", findingsText(*song));
    EXPECT_EQ(famiToneCellCount(checkFamiTone(*song)), 13);
    expectTestData("export/famitone-problems-export.txt", exportFamiTone(*song));

    auto clean = std::make_unique<Song>();
    loadSongScript(*clean, "export/famitone-clean");
    const uint8_t bytes[] = {0x00, 0x5A, 0xFF};
    clean->instruments[2].dpcm.assign(bytes, 3, true);
    EXPECT_TRUE(checkFamiTone(*clean).empty());
    expectTestData("export/famitone-clean-export.txt", exportFamiTone(*clean));

    for (const std::string name : {"demo", "example"}) {
        std::vector<uint8_t> file;
        ASSERT_TRUE(readWholeFile(BF_SOURCE_DIR "/examples/" + name + ".zcm", file)) << name;
        auto example = std::make_unique<Song>();
        SongLoadHooks hooks;
        ASSERT_TRUE(loadSong(*example, file.data(), file.size(), hooks)) << name;
        expectTestData("export/" + name + "-findings.txt", findingsText(*example));
        expectTestData("export/" + name + "-export.txt", exportFamiTone(*example));
    }
}

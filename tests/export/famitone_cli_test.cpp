#include <gtest/gtest.h>

#include "export/FamiTone.h"
#include "song/SongFile.h"
#include "tests/converter/TestData.h"
#include "tests/song/FileBytes.h"

// The CLI writes exactly the library's text, replaces an older longer file whole, reports what
// will not play, and fails on a bad song or destination. The atomic writer's own failure cases are tested
// with the song saver.
TEST(FamiToneCli, ExportsASavedSongAndFailsOnBadInput) {
    const std::filesystem::path dir = scratch();
    const auto song = songScript("export/famitone-cli");
    ASSERT_TRUE(saveSong(*song, (dir / "in.zcm").string()));
    std::ofstream(dir / "out.txt") << std::string(20000, 'x');
    std::ofstream(dir / "junk.zcm") << "not a song";
    const auto run = [&](const std::string& in, const std::string& out, const std::string& option = "") {
        return runTool("famitone " + option + "'" + (dir / in).string() + "' '" + (dir / out).string() + "'");
    };
    ToolRun r = run("in.zcm", "out.txt", "--strict ");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(slurp(dir / "out.txt"), exportFamiTone(*song));
    EXPECT_EQ(r.err, "");

    // What the library will not play is reported; the file is written all the same, and only
    // --strict turns the report into a failure.
    song->patterns[0].at(CH_PULSE2, 0x1F).setEffect(0x4, 0xA3);
    ASSERT_TRUE(saveSong(*song, (dir / "vibrato.zcm").string()));
    const std::string report = "order 00 row 1F Pulse 2: effect 4 (vibrato) is not played\n";
    r = run("vibrato.zcm", "vibrato.txt");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, report + "1 cell will not play as written\n");
    EXPECT_EQ(slurp(dir / "vibrato.txt"), exportFamiTone(*song));
    std::filesystem::remove(dir / "vibrato.txt");
    r = run("vibrato.zcm", "vibrato.txt", "--strict ");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err, report + "Error: 1 cell will not play as written\n");
    EXPECT_EQ(slurp(dir / "vibrato.txt"), exportFamiTone(*song));

    EXPECT_NE(run("junk.zcm", "junk.txt").status, 0);
    EXPECT_NE(run("in.zcm", "no/out.txt").status, 0);
}

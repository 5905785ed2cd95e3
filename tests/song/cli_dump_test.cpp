// Runs the built bleepforge-cli and make_example and checks what they write.
#include <gtest/gtest.h>

#include "song/SongFile.h"
#include "tests/converter/TestData.h"
#include "tests/song/FileBytes.h"

namespace fs = std::filesystem;

TEST(ExampleSong, CommittedFilesAreWhatMakeExampleWrites) {
    fs::path dir = scratch() / "example";
    fs::create_directories(dir);
    std::string cmd = std::string("'") + BF_BINARY_DIR + "/examples/make_example' '" + dir.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const char* name : {"example.zcm", "example.zci"}) {
        std::string written = slurp(dir / name);
        EXPECT_FALSE(written.empty()) << name;
        EXPECT_EQ(written, slurp(fs::path(BF_SOURCE_DIR) / "examples" / name))
            << name << " differs from make_example's";
    }
}

// The dump of the example song and instrument, exactly: every non-empty pattern, every
// instrument that differs from a fresh slot, samples by size, loop and FNV-1a checksum. The
// instrument file holds instrument 1; its colour is never read.
TEST(CliDump, ExampleSongAndInstrument) {
    for (const char* name : {"example.zcm", "example.zci"}) {
        ToolRun r = runTool("dump '" BF_SOURCE_DIR "/examples/" + std::string(name) + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        expectTestData(std::string("song/") + name + ".json", r.out);
    }
}

TEST(CliDump, OldSongWithOddNameAndItsUpgrade) {
    // Version 1: a name with a quote, a control byte and a high byte; a legacy sample in use.
    FileBytes f;
    f.songHeader(1, 1, 1, 1)
        .name("a\"b\\c\x01\xE9")
        .envelope(0, {15})
        .envelope(0, {0})
        .envelope(0, {2})
        .u8(0);
    for (int i = 0; i < 5 * 64; ++i)
        i == 4 * 64 ? f.raw({1, 0, 0}) : i == 0 ? f.raw({25, 0xF1, 0x00}) : f.zeros(3);
    f.name("drum").u16(4).u8(1).raw({1, 2, 3, 4}).zeros(254);
    const std::string oldPath = writeFile(scratch() / "old.zcm", f.bytes),
                      newPath = (scratch() / "new.zcm").string();
    // Cells, the escaped name and the sample turned into "PCM: drum": pulse 1 row 0 plays
    // instrument 1 with F00.
    std::string before = runTool("dump '" + oldPath + "'").out;
    expectTestData("song/old-song.json", before);
    ToolRun saved = runTool("save '" + oldPath + "' '" + newPath + "'");
    ASSERT_EQ(saved.status, 0) << saved.err;
    std::string after = runTool("dump '" + newPath + "'").out;
    EXPECT_EQ(after, before.replace(before.find("\"version\":1,"), 12, "\"version\":11,"));
}

// Song and instrument files the loaders refuse are refused by dump too (see song_file_test.cpp and
// instrument_file_test.cpp).
TEST(CliDump, RefusedFilesFailWithAMessage) {
    fs::path dir = scratch();
    expectRefused("dump '" + writeFile(dir / "bad", FileBytes().text("not a bleepforge file").bytes) + "'");
    expectRefused("dump '" + (dir / "missing.zcm").string() + "'");
    expectRefused("save '" + (dir / "bad").string() + "' '" + (dir / "out.zcm").string() + "'");
    EXPECT_FALSE(fs::exists(dir / "out.zcm"));
}

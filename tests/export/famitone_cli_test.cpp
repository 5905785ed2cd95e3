#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "export/FamiTone.h"
#include "song/SongFile.h"

namespace fs = std::filesystem;

// The CLI writes exactly the library's text, replaces an older longer file whole, reports what
// will not play, and fails on a bad song or destination. The atomic writer's own failure cases are tested
// with the song saver.
TEST(FamiToneCli, ExportsASavedSongAndFailsOnBadInput) {
    fs::path dir = fs::temp_directory_path() / ("famitone_cli_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto song = std::make_unique<Song>();
    song->instruments[1].type = INST_DPCM;
    uint8_t bytes[2] = {0x5A, 0xA5};
    song->instruments[1].dpcm.assign(bytes, 2, false);
    song->instrumentNames[1] = "hat";
    song->patterns[0].at(CH_DPCM, 4).note = 0x2C;
    song->patterns[0].at(CH_DPCM, 4).instrument = 1;
    ASSERT_TRUE(saveSong(*song, (dir / "in.zcm").string()));
    std::ofstream(dir / "out.txt") << std::string(20000, 'x');
    std::ofstream(dir / "junk.zcm") << "not a song";

    auto run = [&](const std::string& in, const fs::path& out, const std::string& option = "") {
        std::string command = BF_BINARY_DIR "/cli/bleepforge-cli famitone " + option + (dir / in).string() +
                              " " + out.string() + " 2>" + (dir / "stderr").string();
        return std::system(command.c_str());
    };
    auto read = [&](const char* name) {
        std::stringstream text;
        text << std::ifstream(dir / name, std::ios::binary).rdbuf();
        return text.str();
    };
    ASSERT_EQ(run("in.zcm", dir / "out.txt", "--strict "), 0);
    EXPECT_EQ(read("out.txt"), exportFamiTone(*song));
    EXPECT_EQ(read("stderr"), "");

    // What the library will not play is reported; the file is written all the same, and only
    // --strict turns the report into a failure.
    song->patterns[0].at(CH_PULSE2, 0x1F).setEffect(0x4, 0xA3);
    ASSERT_TRUE(saveSong(*song, (dir / "vibrato.zcm").string()));
    const std::string report =
        "order 00 row 1F Pulse 2: effect 4 (vibrato) is not played\n1 cell will not play as written\n";
    EXPECT_EQ(run("vibrato.zcm", dir / "vibrato.txt"), 0);
    EXPECT_EQ(read("stderr"), report);
    EXPECT_EQ(read("vibrato.txt"), exportFamiTone(*song));
    fs::remove(dir / "vibrato.txt");
    EXPECT_NE(run("vibrato.zcm", dir / "vibrato.txt", "--strict "), 0);
    EXPECT_EQ(read("stderr"),
              "order 00 row 1F Pulse 2: effect 4 (vibrato) is not played\n"
              "Error: 1 cell will not play as written\n");
    EXPECT_EQ(read("vibrato.txt"), exportFamiTone(*song));

    EXPECT_NE(run("junk.zcm", dir / "junk.txt"), 0);
    EXPECT_NE(run("in.zcm", dir / "no" / "out.txt"), 0);
    fs::remove_all(dir);
}

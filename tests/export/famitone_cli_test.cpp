#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "export/FamiTone.h"
#include "song/SongFile.h"

namespace fs = std::filesystem;

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

    const std::string cli = BF_BINARY_DIR "/cli/bleepforge-cli";
    std::string command = cli + " famitone " + (dir / "in.zcm").string() + " " + (dir / "out.txt").string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(dir / "out.txt", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, exportFamiTone(*song));

    std::ofstream(dir / "junk.zcm") << "not a song";
    command =
        cli + " famitone " + (dir / "junk.zcm").string() + " " + (dir / "junk.txt").string() + " 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir / "junk.txt"));
    command = cli + " famitone " + (dir / "in.zcm").string() + " " + (dir / "no" / "out.txt").string() +
              " 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    fs::remove_all(dir);
}

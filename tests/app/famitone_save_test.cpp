// "save famitone" tells how many cells the FamiTone library will not play, with the details on
// standard output; a song within its limits keeps the plain saved text.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "EditorRig.h"

namespace {

}  // namespace

TEST(FileCommands, SaveFamiToneReportsWhatWillNotPlay) {
    namespace fs = std::filesystem;
    EditorRig r;
    FixedPathDialogs dialogs;
    const fs::path out =
        fs::temp_directory_path() / ("bf_famitone_save_" + std::to_string(::getpid()) + ".txt");
    dialogs.path = out.string();
    r.program->setFileDialogs(&dialogs);
    std::vector<std::string> statuses;
    r.program->statusObserver = [&](const std::string& s) { statuses.push_back(s); };
    auto save = [&] {
        testing::internal::CaptureStdout();
        r.bindings.keyboardGlobal.handlers.at("save famitone")();
        return testing::internal::GetCapturedStdout();
    };

    r.song->patterns[0].at(CH_PULSE1, 0) = {40, 0, 0x0F, 0x06};  // speed: played
    EXPECT_EQ(save(), "");
    EXPECT_EQ(statuses.back(), "File succesfully saved!");

    r.song->patterns[0].at(CH_PULSE2, 0x1F) = {40, 0, 0xA4, 0x03};  // vibrato
    r.song->patterns[0].at(CH_NOISE, 2) = {1, 0, 0, 0};             // too low
    EXPECT_EQ(save(),
              "order 00 row 02 Noise: note is too low for the library\n"
              "order 00 row 1F Pulse 2: effect 4 (vibrato) is not played\n");
    EXPECT_EQ(statuses.back(), "Saved, but 2 cells will not play as written (see standard output)");
    EXPECT_TRUE(fs::exists(out));
    EXPECT_EQ(statuses.size(), 2u);
    fs::remove(out);
}

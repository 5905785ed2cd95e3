// The info panel following commands and the opened song, through the whole program drawn on a
// recording canvas.

#include "app/MainScreen.h"
#include "song/SongFile.h"
#include "tests/app/EditorRig.h"

namespace {

constexpr int W = 8, L = 16;

std::string panelLine(const RecordingCanvas& c, int line) {
    auto ops = c.textsAt(65 * W, line * L);
    return ops.empty() ? "" : ops.back()->text;
}

}  // namespace

TEST(InfoPanel, FollowsCommandsAndTheOpenedSong) {
    EditorRig r;
    r.press("SDLK_KP_MULTIPLY");  // incr octave
    r.program->drawScreen();
    EXPECT_EQ(panelLine(r.canvas, 1), "Octave 4  Step 1");

    TempDir dir;
    const std::string path = dir.path("my song.zcm");
    ASSERT_TRUE(saveSong(*r.song, path));
    EXPECT_TRUE(r.program->openSong(path));
    r.program->drawScreen();
    EXPECT_EQ(panelLine(r.canvas, 0), " my song.zcm");
    // A failed open keeps the name of the song that stays loaded.
    EXPECT_FALSE(r.program->openSong(dir.path("missing.zcm")));
    EXPECT_EQ(r.program->songName(), "my song.zcm");
    // An edit marks it unsaved; saving under another name shows that name, unmarked.
    r.press("SDLK_ESCAPE");  // record on
    r.press("SDLK_q");
    r.program->drawScreen();
    EXPECT_EQ(panelLine(r.canvas, 0), "*my song.zcm");
    ScriptedDialogs dialogs;
    dialogs.answer = dir.path("renamed.zcm");
    r.program->setFileDialogs(&dialogs);
    r.press("SDLK_s", {"KMOD_LALT"});  // save song
    r.program->drawScreen();
    EXPECT_EQ(panelLine(r.canvas, 0), " renamed.zcm");
}

// The key list over the screen and the info panel, through the whole program drawn on a
// recording canvas.

#include <cstdio>
#include <unistd.h>

#include "app/HelpOverlay.h"
#include "app/MainScreen.h"
#include "song/SongFile.h"
#include "tests/app/EditorRig.h"

namespace {

constexpr int W = 8, L = 16;

// A user's file that moves a pattern-editor action, the key list itself and a note.
const char* const REMAPPED =
    "[pattern editor]\nmove up = SDLK_w + KMOD_LALT\n"
    "[keyboard global]\nshow help = SDLK_h + KMOD_LCTRL\n"
    "[note input]\n24 = SDLK_k\n";

bool drewTextContaining(const RecordingCanvas& c, const std::string& part) {
    for (const DrawOp& op : c.ops)
        if (op.kind == DrawOp::Text && op.text.find(part) != std::string::npos) return true;
    return false;
}

std::string panelLine(const RecordingCanvas& c, int line) {
    auto ops = c.textsAt(65 * W, line * L);
    return ops.empty() ? "" : ops.back()->text;
}

}  // namespace

TEST(HelpOverlay, ListsTheBindingsInForceAndTakesEveryKeyWhileOpen) {
    EditorRig r(EditorMode::Pattern, REMAPPED);
    r.press("SDLK_F9");  // no longer the key of the list
    EXPECT_FALSE(r.program->helpOverlay().isOpen());
    r.press("SDLK_h", {"KMOD_LCTRL"});
    ASSERT_TRUE(r.program->helpOverlay().isOpen());

    r.program->drawScreen();
    EXPECT_TRUE(drewTextContaining(r.canvas, "Pattern editor keys"));
    EXPECT_TRUE(drewTextContaining(r.canvas, "Left Ctrl+H or Esc closes"));
    // Every line of the list, scrolled or not, is kept in tests/data/app/help_lines.txt.
    std::string all;
    for (const HelpLine& line : r.program->helpOverlay().lines()) all += line.text + "\n";

    // Nothing else runs: not the cursor keys, not Escape's record toggle.
    const int row = r.edit.cursor.row;
    r.press("SDLK_DOWN");
    r.press("SDLK_PAGEDOWN");
    EXPECT_EQ(r.edit.cursor.row, row);
    r.program->drawScreen();
    EXPECT_TRUE(drewTextContaining(r.canvas, "Global keys"));
    for (int i = 0; i < 5; ++i) r.press("SDLK_PAGEDOWN");
    EXPECT_EQ(r.program->helpOverlay().scroll(), r.program->helpOverlay().maxScroll());
    // The piano at the end: Z plays the C an octave below the current one (octave 3), Q and ','
    // the current octave's C.
    r.program->drawScreen();
    EXPECT_TRUE(drewTextContaining(r.canvas, "Note keys"));
    for (const char* label : {"Z", "C-2", ",/Q", "C-3", "E-4"})
        EXPECT_TRUE(drewTextContaining(r.canvas, label)) << label;
    r.press("SDLK_PAGEUP");
    r.press("SDLK_PAGEUP");
    r.press("SDLK_PAGEUP");
    EXPECT_EQ(r.program->helpOverlay().scroll(), 0);
    r.press("SDLK_ESCAPE");
    EXPECT_FALSE(r.program->helpOverlay().isOpen());
    EXPECT_FALSE(r.edit.record);

    // The same key closes it; other editors show their own section and no piano.
    r.edit.mode = EditorMode::InstrumentEditor;
    r.press("SDLK_h", {"KMOD_LCTRL"});
    all += "==\n";
    for (const HelpLine& line : r.program->helpOverlay().lines()) all += line.text + "\n";
    expectGolden("app/help_lines", all);
    r.press("SDLK_h", {"KMOD_LCTRL"});
    EXPECT_FALSE(r.program->helpOverlay().isOpen());
    r.program->drawScreen();
    EXPECT_FALSE(drewTextContaining(r.canvas, "Global keys"));
}

TEST(InfoPanel, FollowsCommandsAndTheOpenedSong) {
    EditorRig r;
    r.press("SDLK_KP_MULTIPLY");  // incr octave
    r.program->drawScreen();
    EXPECT_EQ(panelLine(r.canvas, 1), "Octave 4  Step 1");

    char dir[] = "/tmp/bf_info_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/my song.zcm";
    ASSERT_TRUE(saveSong(*r.song, path));
    EXPECT_TRUE(r.program->openSong(path));
    r.program->drawScreen();
    EXPECT_EQ(panelLine(r.canvas, 0), " my song.zcm");
    // A failed open keeps the name of the song that stays loaded.
    EXPECT_FALSE(r.program->openSong(std::string(dir) + "/missing.zcm"));
    EXPECT_EQ(r.program->songName(), "my song.zcm");
    // An edit marks it unsaved; saving under another name shows that name, unmarked.
    r.press("SDLK_ESCAPE");  // record on
    r.press("SDLK_q");
    r.program->drawScreen();
    EXPECT_EQ(panelLine(r.canvas, 0), "*my song.zcm");
    ScriptedDialogs dialogs;
    dialogs.answer = std::string(dir) + "/renamed.zcm";
    r.program->setFileDialogs(&dialogs);
    r.press("SDLK_s", {"KMOD_LALT"});  // save song
    r.program->drawScreen();
    EXPECT_EQ(panelLine(r.canvas, 0), " renamed.zcm");
    std::remove(dialogs.answer->c_str());
    std::remove(path.c_str());
    rmdir(dir);
}

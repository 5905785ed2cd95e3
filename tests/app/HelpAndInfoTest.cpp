// The key list over the screen, the info panel and the Caps Lock hint, through the whole program
// drawn on a recording canvas.

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
    // Every line of the list, scrolled or not.
    std::string all;
    for (const HelpLine& line : r.program->helpOverlay().lines()) all += line.text + "\n";
    EXPECT_NE(all.find("  move up                   Left Alt+W\n"), std::string::npos) << all;
    EXPECT_NE(all.find("  decr octave               Keypad / or Left Alt+F1\n"), std::string::npos);
    EXPECT_NE(all.find("  note +24                  K\n"), std::string::npos);
    EXPECT_EQ(all.find("Instrument editor keys"), std::string::npos);

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
    all.clear();
    for (const HelpLine& line : r.program->helpOverlay().lines()) all += line.text + "\n";
    EXPECT_NE(all.find("Instrument editor keys\n  switch abs/rel            Enter\n"), std::string::npos);
    EXPECT_EQ(all.find("Note keys"), std::string::npos);
    r.press("SDLK_h", {"KMOD_LCTRL"});
    EXPECT_FALSE(r.program->helpOverlay().isOpen());
    r.program->drawScreen();
    EXPECT_FALSE(drewTextContaining(r.canvas, "Global keys"));
}

TEST(HelpOverlay, AHeldKeyDoesNotToggleItAgainUntilLetGo) {
    EditorRig r(EditorMode::Pattern);
    // Key repeat sends further presses with no release between them.
    KeyEvent held = r.keyDown("SDLK_F9");
    ASSERT_TRUE(r.program->helpOverlay().isOpen());
    r.keyDown("SDLK_F9");
    r.keyDown("SDLK_F9");
    EXPECT_TRUE(r.program->helpOverlay().isOpen());
    held.pressed = false;
    r.program->onKeyUp(held);
    r.press("SDLK_F9");
    EXPECT_FALSE(r.program->helpOverlay().isOpen());
    // A held Escape that closed it does not go on to the editor (Escape toggles recording there).
    r.press("SDLK_F9");
    held = r.keyDown("SDLK_ESCAPE");
    r.keyDown("SDLK_ESCAPE");
    EXPECT_FALSE(r.program->helpOverlay().isOpen());
    EXPECT_FALSE(r.edit.record);
    held.pressed = false;
    r.program->onKeyUp(held);
    r.press("SDLK_ESCAPE");
    EXPECT_TRUE(r.edit.record);
}

TEST(InfoPanel, ShowsTheEditingStateAndPlayback) {
    auto song = std::make_unique<Song>();
    initialiseSong(*song);
    song->instrumentNames[3] = "Bass";
    EditingState edit;
    edit.octave = 5;
    edit.step = 2;
    edit.currentInstrument = 3;
    edit.record = true;
    edit.blockRepeat = true;
    edit.cursorFollow = false;
    edit.metronome = true;
    PlaybackView playback;
    playback.playing = true;
    playback.order = 2;
    playback.row = 17;
    RecordingCanvas c;
    ScreenInputs in{*song, edit, playback, "dec", 1000, nullptr, {"tune.zcm", true}, nullptr};
    drawMainScreen(c, in);
    EXPECT_EQ(panelLine(c, 0), "*tune.zcm");
    EXPECT_EQ(panelLine(c, 1), "Octave 5  Step 2");
    EXPECT_EQ(panelLine(c, 2), "Instr 03: Bass");
    EXPECT_EQ(panelLine(c, 3), "Record ON");
    EXPECT_EQ(panelLine(c, 4), "Playing song  order 02 row 17");
    EXPECT_EQ(panelLine(c, 5), "Repeat on  Follow off  Metro on");
    // The indicator keeps its place.
    EXPECT_EQ(c.textsAt(59 * W, 3 * L).back()->text, " PAL");

    edit.currentInstrument = 0;
    edit.record = false;
    playback.playing = false;
    ScreenInputs idle{*song, edit, playback, "dec", 1000, nullptr, {}, nullptr};
    drawMainScreen(c, idle);
    EXPECT_EQ(panelLine(c, 0), " (new song)");
    EXPECT_EQ(panelLine(c, 2), "Instr --");
    EXPECT_EQ(panelLine(c, 3), "Record off");
    EXPECT_EQ(panelLine(c, 4), "Stopped");
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
    FixedPathDialogs dialogs;
    dialogs.path = std::string(dir) + "/renamed.zcm";
    r.program->setFileDialogs(&dialogs);
    r.press("SDLK_s", {"KMOD_LALT"});  // save song
    r.program->drawScreen();
    EXPECT_EQ(panelLine(r.canvas, 0), " renamed.zcm");
    std::remove(dialogs.path.c_str());
    std::remove(path.c_str());
    rmdir(dir);
}

TEST(CapsLock, ExplainsOncePerPressWhyKeysDoNothing) {
    EditorRig r;
    r.press("SDLK_F13", {"KMOD_CAPS"});  // bound to nothing even without Caps Lock: no hint
    EXPECT_NE(r.status(), CAPS_LOCK_MESSAGE);
    r.press("SDLK_q", {"KMOD_CAPS"});  // a note key
    EXPECT_EQ(r.status(), CAPS_LOCK_MESSAGE);
    r.program->setStatus("x");
    r.press("SDLK_F6", {"KMOD_CAPS"});  // incr step, again only missed for Caps Lock
    EXPECT_EQ(r.status(), "x");
    EXPECT_EQ(r.edit.step, 1);
    r.press("SDLK_CAPSLOCK", {"KMOD_CAPS"});
    r.press("SDLK_F6", {"KMOD_CAPS"});
    EXPECT_EQ(r.status(), CAPS_LOCK_MESSAGE);
}

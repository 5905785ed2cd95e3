#include <gtest/gtest.h>

#include <memory>

#include "tests/app/EditorRig.h"

TEST(GlobalCommands, TogglesAndCountersReportTheirNewState) {
    EditorRig r;
    const struct {
        const char* key;
        std::initializer_list<const char*> mods;
        const char* status;
    } presses[] = {
        {"SDLK_KP_MULTIPLY", {}, "Current octave: 4"},
        {"SDLK_F1", {"KMOD_LALT"}, "Current octave: 3"},
        {"SDLK_F6", {}, "Current step: 2"},
        {"SDLK_F5", {}, "Current step: 1"},
        {"SDLK_F5", {}, "Current step: 0"},
        {"SDLK_F5", {}, "Current step: 0"},  // stays at 0 and says so
        {"SDLK_KP_PERIOD", {}, "Mode: NTSC"},
        {"SDLK_F7", {"KMOD_LALT"}, "Mode: PAL"},
        {"SDLK_m", {"KMOD_LALT"}, "Metronome on"},
        {"SDLK_m", {"KMOD_LALT"}, "Metronome off"},
        {"SDLK_F11", {}, "Repeat block: on"},
        {"SDLK_F11", {}, "Repeat block: off"},
        {"SDLK_F12", {}, "Cursor follow: off"},
        {"SDLK_F12", {}, "Cursor follow: on"},
        {"SDLK_F7", {}, "TODO"},
    };
    for (const auto& p : presses) {
        r.press(p.key, p.mods);
        EXPECT_EQ(r.status(), p.status) << p.key;
    }
    EXPECT_EQ(r.edit.step, 0);

    for (int i = 0; i < 8; ++i) r.press("SDLK_KP_MULTIPLY");
    EXPECT_EQ(r.status(), "Current octave: 9");
    for (int i = 0; i < 40; ++i) r.press("SDLK_F6");
    EXPECT_EQ(r.status(), "Current step: 32");

    // The TV system change reaches the audio thread through its request; the metronome setting
    // is copied into the player.
    r.player.reconfigureRequest = false;
    r.press("SDLK_KP_PERIOD");
    EXPECT_TRUE(r.song->ntsc);
    EXPECT_TRUE(r.player.reconfigureRequest);
    r.press("SDLK_m", {"KMOD_LALT"});
    EXPECT_TRUE(r.player.metronomeOn);
    EXPECT_EQ(r.lock.depth, 0);
    EXPECT_EQ(r.lock.maxDepth, 1);
}

TEST(GlobalCommands, PlayAndStopKeepTheirRows) {
    EditorRig r;
    // Playing, pattern mode, order and row of the player.
    auto play = [&] {
        return std::vector<int>{r.player.playing, r.player.patternMode, r.player.currentOrder,
                                r.player.currentRow};
    };
    r.song->orders.count = 3;
    r.edit.currentOrder = 2;
    r.edit.cursor.row = 12;
    r.press("SDLK_RSHIFT");  // play pattern
    EXPECT_EQ(play(), (std::vector<int>{1, 1, 2, 12}));
    r.player.currentRow = 30;  // played on
    r.press("SDLK_SPACE");
    EXPECT_EQ(play(), (std::vector<int>{0, 1, 2, 12}));  // back where the pattern started
    EXPECT_TRUE(r.player.stopRequest);
    EXPECT_EQ(r.edit.playPatternStartRow, -1);
    EXPECT_FALSE(r.edit.record);
    r.press("SDLK_SPACE");  // nothing plays: record toggles
    EXPECT_TRUE(r.edit.record);

    // Play song from the repeat block's upper row when block repeat is on.
    r.edit.repeatBlock.row1 = 40;
    r.edit.repeatBlock.row2 = 8;
    r.press("SDLK_F11");
    r.press("SDLK_RCTRL");
    EXPECT_EQ(play(), (std::vector<int>{1, 0, 2, 8}));
    EXPECT_TRUE(r.player.repeatBlockOn);
    r.player.currentRow = 20;
    r.press("SDLK_SPACE");  // a stopped song stays where it was
    EXPECT_EQ(r.player.currentRow, 20);
    EXPECT_TRUE(r.edit.record);

    // Nothing starts while a name is being edited.
    r.edit.nameEditing = true;
    r.edit.mode = EditorMode::Order;
    r.press("SDLK_RCTRL");
    EXPECT_FALSE(r.player.playing);
}

TEST(GlobalCommands, EditorSwitchingAndInstrumentSelection) {
    EditorRig r;
    // The editor and the selected instrument, as one number.
    auto state = [&] { return int(r.edit.mode) * 1000 + r.edit.currentInstrument; };
    const int pattern = int(EditorMode::Pattern) * 1000, order = int(EditorMode::Order) * 1000,
              editor = int(EditorMode::InstrumentEditor) * 1000;
    r.steps(state, {{"SDLK_F3", {}, order + 1},
                    {"SDLK_KP0", {}, order},
                    {"SDLK_F4", {}, order},  // no instrument: stays
                    {"SDLK_KP_PLUS", {}, order + 1},
                    {"SDLK_KP_PLUS", {}, order + 2},
                    {"SDLK_F4", {}, editor + 2},
                    {"SDLK_F2", {}, int(EditorMode::InstrumentSelect) * 1000 + 2}});
    r.edit.nameEditing = true;
    r.press("SDLK_F2");
    EXPECT_EQ(r.edit.mode, EditorMode::InstrumentSelect);
    EXPECT_TRUE(r.edit.nameEditing);  // kept
    r.steps(
        state,
        {{"SDLK_F1", {}, pattern + 2}, {"SDLK_KP9", {}, pattern + 9}, {"SDLK_KP_MINUS", {}, pattern + 8}});
    EXPECT_FALSE(r.edit.nameEditing);

    r.press("SDLK_ESCAPE", {"KMOD_LSHIFT"});
    EXPECT_FALSE(r.program->running);
}

TEST(GlobalCommands, SampleLoopAndRemoval) {
    EditorRig r;
    r.program->instrumentList().selectInstrument(0);
    r.press("SDLK_F10");
    EXPECT_EQ(r.status(), "No instrument selected");
    r.program->instrumentList().selectInstrument(1);
    r.press("SDLK_F10");
    EXPECT_EQ(r.status(), "Instrument type is not PCM/DPCM");

    const uint8_t bytes[] = {1, 2, 3};
    Instrument& inst = r.song->instruments[1];
    inst.type = INST_DPCM;
    inst.dpcm.assign(bytes, 3, false);
    inst.pcm.assign(bytes, 3, false);
    r.song->instrumentNames[1] = "kick";
    r.press("SDLK_F8");
    EXPECT_TRUE(inst.dpcm.loop);
    EXPECT_FALSE(inst.pcm.loop);  // only the sample of the instrument's type
    r.press("SDLK_F10");
    EXPECT_TRUE(inst.dpcm.empty());
    EXPECT_FALSE(inst.dpcm.loop);
    EXPECT_FALSE(inst.pcm.empty());
    EXPECT_EQ(r.song->instrumentNames[1], "");
}

TEST(GlobalCommands, BareModifierKeysFireWhateverBitTheirOwnPressCarries) {
    EditorRig r;
    r.press("SDLK_RCTRL", {"KMOD_RCTRL"});  // play song
    EXPECT_TRUE(r.player.playing);
    r.press("SDLK_SPACE");
    r.edit.selection.marking = true;
    r.press("SDLK_LALT", {"KMOD_LALT"});  // end selection
    EXPECT_FALSE(r.edit.selection.marking);
    r.edit.cursor.row = 5;
    r.press("SDLK_RALT", {"KMOD_LCTRL", "KMOD_RALT"});  // play pattern
    EXPECT_TRUE(r.player.patternMode);
    EXPECT_EQ(r.edit.playPatternStartRow, 5);
    r.press("SDLK_SPACE");
    r.press("SDLK_RSHIFT", {"KMOD_LCTRL", "KMOD_RSHIFT"});  // other modifiers still count
    EXPECT_FALSE(r.player.playing);
    r.press("SDLK_RSHIFT", {"KMOD_RSHIFT"});
    EXPECT_TRUE(r.player.playing);
}

TEST(GlobalCommands, CursorFollowsPlaybackOnTheMainThread) {
    for (bool follow : {true, false}) {
        EditorRig r;
        r.edit.cursorFollow = follow;
        r.press("SDLK_RCTRL");  // play song
        ASSERT_TRUE(r.player.playing);
        for (int i = 0; i < 40; ++i) r.player.frameTick();  // the audio thread's work
        ASSERT_GT(r.player.currentRow, 0);
        r.program->drawScreen();  // the main loop's redraw copies the position under the lock
        EXPECT_EQ(r.edit.cursor.row, follow ? r.player.currentRow : 0) << follow;
        EXPECT_EQ(r.lock.depth, 0);
    }
}

#include <gtest/gtest.h>

#include <memory>

#include "tests/app/EditorRig.h"

namespace {

struct ListRig : EditorRig {
    explicit ListRig(EditorMode mode) : EditorRig(mode) {}
    void setOrders(std::initializer_list<int> patterns) {
        song->orders.count = int32_t(patterns.size());
        int i = 0;
        for (int p : patterns) song->orders.entries[i++] = p;
    }
    std::vector<int> orders() const {
        return std::vector<int>(song->orders.entries, song->orders.entries + song->orders.count);
    }
};

}  // namespace

TEST(OrderEditor, AddDeleteAndPatternNumbers) {
    ListRig r(EditorMode::Order);
    r.press("SDLK_INSERT");
    EXPECT_EQ(r.orders(), (std::vector<int>{0, 0}));
    EXPECT_EQ(r.edit.currentOrder, 0);

    r.setOrders({1, 2, 3, 4, 5});
    r.edit.currentOrder = 1;
    r.press("SDLK_INSERT");
    EXPECT_EQ(r.orders(), (std::vector<int>{1, 2, 2, 3, 4, 5}));
    r.press("SDLK_END");
    r.press("SDLK_DELETE");
    EXPECT_EQ(r.orders(), (std::vector<int>{1, 2, 2, 3, 4}));
    EXPECT_EQ(r.edit.currentOrder, 4);  // the new last order
    r.press("SDLK_BACKSPACE");
    EXPECT_EQ(r.orders(), (std::vector<int>{1, 2, 2, 4}));
    EXPECT_EQ(r.edit.currentOrder, 3);  // still on pattern 4
    r.press("SDLK_HOME");
    r.press("SDLK_BACKSPACE");  // nothing before order 0
    r.press("SDLK_DELETE");
    EXPECT_EQ(r.orders(), (std::vector<int>{2, 2, 4}));
    EXPECT_EQ(r.edit.currentOrder, 0);

    r.setOrders({0});
    r.press("SDLK_DELETE");
    EXPECT_EQ(r.orders(), (std::vector<int>{0}));
    r.press("SDLK_LEFT");
    EXPECT_EQ(r.orders(), (std::vector<int>{0}));
    for (int i = 0; i < 70; ++i) r.press("SDLK_RIGHT");
    EXPECT_EQ(r.orders(), (std::vector<int>{63}));

    for (int i = 0; i < 70; ++i) r.press("SDLK_INSERT");
    EXPECT_EQ(r.song->orders.count, 64);
    EXPECT_EQ(r.song->orders.entries[63], 63);

    // Moves stay within the song; single steps wait while the cursor follows playback.
    r.setOrders({1, 2, 3, 4, 5, 6});
    r.edit.currentOrder = 0;
    auto order = [&] { return r.edit.currentOrder; };
    r.steps(order, {{"SDLK_PAGEDOWN", {}, 4}, {"SDLK_PAGEDOWN", {}, 5}, {"SDLK_DOWN", {}, 5}});
    r.player.playing = true;  // playing at the cursor, which follows it
    r.player.currentOrder = 5;
    r.steps(order, {{"SDLK_UP", {}, 5}, {"SDLK_HOME", {}, 5}, {"SDLK_PAGEUP", {}, 1}});
}

TEST(OrderEditor, DeletingThePlayedLastOrderKeepsPlaybackAndCursorInTheSong) {
    // A pattern played on its own never advances the order, so nothing else brings it back.
    for (const char* key : {"SDLK_DELETE", "SDLK_BACKSPACE"}) {
        SCOPED_TRACE(key);
        ListRig r(EditorMode::Order);
        r.setOrders({1, 2, 3});
        r.player.playing = true;
        r.player.patternMode = true;
        r.player.currentOrder = 2;
        r.press(key);
        EXPECT_EQ(r.song->orders.count, 2);
        EXPECT_EQ(r.player.currentOrder, 1);
        r.press("SDLK_F5");  // any later key takes the followed position
        EXPECT_EQ(r.edit.currentOrder, 1);
        // Undone and redone with the player back on the restored last order.
        r.press("SDLK_z", {"KMOD_LCTRL"});
        r.player.currentOrder = 2;
        r.press("SDLK_y", {"KMOD_LCTRL"});
        r.press("SDLK_F5");
        EXPECT_EQ(r.song->orders.count, 2);
        EXPECT_LT(r.edit.currentOrder, 2);
    }
}

TEST(InstrumentList, SelectionScrollsAndColoursWrap) {
    ListRig r(EditorMode::InstrumentSelect);
    // The selected instrument and the first one shown, as one number.
    auto shown = [&] { return r.edit.currentInstrument * 1000 + r.edit.firstShownInstrument; };
    r.steps(shown, {{"SDLK_END", {}, 255240}, {"SDLK_DOWN", {}, 255240}, {"SDLK_HOME", {}, 0}});
    r.press("SDLK_RIGHT");  // instrument 0 has no colour
    EXPECT_EQ(r.song->instrumentColours[0], 0);
    for (int i = 0; i < 5; ++i) r.press("SDLK_PAGEDOWN");
    EXPECT_EQ(shown(), 20005);
    r.steps([&] { return r.song->instrumentColours[20]; }, {{"SDLK_LEFT", {}, 16}, {"SDLK_RIGHT", {}, 0}});

    // Selecting fits the instrument editor's cursors and puts it on a sample instrument's type.
    r.song->instruments[21].type = INST_PCM;
    r.edit.envelopeCursor[ENV_VOLUME] = 7;
    r.song->instrumentNames[21] = "snare";
    r.press("SDLK_DOWN");
    EXPECT_EQ(r.edit.envelopeCursor[ENV_VOLUME], 0);
    EXPECT_TRUE(r.edit.typeFieldSelected);
    EXPECT_EQ(r.edit.nameCursor, 5);

    // Notes are previewed, not passed on.
    r.keyDown("SDLK_q");
    EXPECT_EQ(r.program->heldNoteKeys().size(), 1u);
}

TEST(InstrumentList, NameEditing) {
    ListRig r(EditorMode::InstrumentSelect);
    std::string& name = r.song->instrumentNames[1];
    r.press("SDLK_RETURN");
    ASSERT_TRUE(r.edit.nameEditing);
    r.type("Bass q");  // note keys type, they do not sound
    EXPECT_EQ(name, "Bass q");
    KeyEvent control;  // Ctrl+A types character 1, which is no part of a name
    control.sym = 'a';
    control.mod = modifierNameTable().at("KMOD_LCTRL");
    control.unicode = 1;
    control.pressed = true;
    r.program->onKeyDown(control);
    EXPECT_EQ(name, "Bass q");
    EXPECT_TRUE(r.program->heldNoteKeys().empty());
    r.press("SDLK_HOME");
    r.press("SDLK_RIGHT");
    r.press("SDLK_DELETE");
    EXPECT_EQ(name, "Bss q");
    r.press("SDLK_BACKSPACE");
    EXPECT_EQ(name, "ss q");
    EXPECT_EQ(r.edit.nameCursor, 0);
    r.press("SDLK_BACKSPACE");  // at the start: nothing
    r.press("SDLK_END");
    r.press("SDLK_DELETE");  // at the end: nothing
    EXPECT_EQ(name, "ss q");

    name = std::string(28, 'x');
    r.press("SDLK_END");
    r.press("SDLK_TAB");
    EXPECT_EQ(name, std::string(28, 'x') + "  ");
    r.type("y");
    EXPECT_EQ(name.size(), 30u);
    EXPECT_EQ(name.back(), ' ');

    // Global bindings still reach keys the name editor leaves; "play song" waits.
    r.press("SDLK_F6");
    EXPECT_EQ(r.edit.step, 2);
    r.press("SDLK_RCTRL");
    EXPECT_FALSE(r.player.playing);

    // No instrument: typing is swallowed and nothing is erased.
    r.program->instrumentList().selectInstrument(0);
    r.type("ab");
    r.press("SDLK_TAB");
    r.press("SDLK_BACKSPACE");
    EXPECT_EQ(r.song->instrumentNames[0], "");
    r.press("SDLK_RETURN");
    EXPECT_FALSE(r.edit.nameEditing);
}

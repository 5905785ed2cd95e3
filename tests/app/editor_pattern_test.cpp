#include <gtest/gtest.h>

#include <memory>

#include "tests/app/EditorRig.h"

namespace {

struct PatternRig : EditorRig {
    PatternCell& cell(int channel, int row) { return song->patterns[0].at(channel, row); }
    PatternEditor& editor() { return program->patternEditor(); }
};

}  // namespace

TEST(PatternEditor, NoteEntryUsesOctaveStepAndTheTriangleOctave) {
    const struct {
        int octave, step, channel, row;
        const char* key;
        int note, rowAfter;
    } cases[] = {
        {3, 1, 0, 0, "SDLK_q", 37, 1},  {3, 0, 0, 5, "SDLK_q", 37, 5},  // step 0 stays
        {3, 4, 1, 62, "SDLK_w", 39, 2},                                 // wraps past row 63
        {0, 1, 0, 0, "SDLK_z", 1, 1},    // -12 in octave 0 is held at the lowest note
        {9, 1, 0, 0, "SDLK_p", 120, 1},  // 16 in octave 9 is held at 120
        {8, 1, 2, 0, "SDLK_u", 120, 1},  // triangle: 108 + 12
        {9, 1, 2, 0, "SDLK_q", 120, 1},  // triangle 109 + 12 held at 120
        {3, 1, 3, 0, "SDLK_q", 37, 1},   // noise: as entered
    };
    for (const auto& c : cases) {
        PatternRig r;
        r.edit.record = true;
        r.edit.octave = c.octave;
        r.edit.step = c.step;
        r.edit.cursor.channel = c.channel;
        r.edit.cursor.row = c.row;
        r.edit.currentInstrument = 5;
        r.press(c.key);
        EXPECT_EQ(r.cell(c.channel, c.row).note, c.note) << c.key << " octave " << c.octave;
        EXPECT_EQ(r.cell(c.channel, c.row).instrument, 5);
        EXPECT_EQ(r.edit.cursor.row, c.rowAfter);
    }

    // Record off only sounds; no instrument leaves the cell's instrument alone.
    PatternRig r;
    r.press("SDLK_q");
    EXPECT_EQ(r.cell(0, 0).note, 0);
    EXPECT_EQ(r.edit.cursor.row, 0);
    r.edit.record = true;
    r.cell(0, 0).instrument = 7;
    r.edit.currentInstrument = 0;
    r.press("SDLK_q");
    EXPECT_EQ(r.cell(0, 0).instrument, 7);
    // The note key still reaches the global bindings: "SDLK_m + KMOD_LALT" toggles the metronome
    // even in the note column.
    r.edit.cursor.row = 10;
    r.press("SDLK_m", {"KMOD_LALT"});
    EXPECT_TRUE(r.edit.metronome);
}

TEST(PatternEditor, HexDigitsFillTheDataColumns) {
    PatternRig r;
    r.edit.cursor.column = COLUMN_INSTRUMENT_HIGH;
    r.press("SDLK_a");  // record off: ignored
    EXPECT_TRUE(isEmptyCell(r.cell(0, 0)));
    EXPECT_EQ(r.edit.cursor.row, 0);

    r.edit.record = true;
    r.edit.step = 0;
    const struct {
        int column;
        const char* key;
    } digits[] = {{COLUMN_INSTRUMENT_HIGH, "SDLK_1"},
                  {COLUMN_INSTRUMENT_LOW, "SDLK_f"},
                  {COLUMN_EFFECT, "SDLK_b"},
                  {COLUMN_PARAMETER_HIGH, "SDLK_4"},
                  {COLUMN_PARAMETER_LOW, "SDLK_c"}};
    r.cell(0, 0).param = 0x50;  // a high nibble that is not musical stays
    for (const auto& d : digits) {
        r.edit.cursor.column = d.column;
        r.press(d.key);
    }
    EXPECT_EQ(r.cell(0, 0).instrument, 0x1F);
    EXPECT_EQ(r.cell(0, 0).effect(), 0xB);
    EXPECT_EQ(r.cell(0, 0).parameter(), 0x4C);
    EXPECT_EQ(r.cell(0, 0).param, 0x5C);
    EXPECT_EQ(r.cell(0, 0).note, 0);

    // A note-off cell takes no instrument.
    r.cell(0, 1).note = NOTE_OFF;
    r.edit.cursor.row = 1;
    r.edit.cursor.column = COLUMN_INSTRUMENT_LOW;
    r.press("SDLK_3");
    EXPECT_EQ(r.cell(0, 1).instrument, 0);
}

TEST(PatternEditor, CursorMovesAndFollowingPlayback) {
    PatternRig r;
    auto row = [&] { return r.edit.cursor.row; };
    auto field = [&] { return r.edit.cursor.channel * 10 + r.edit.cursor.column; };
    r.steps(row, {{"SDLK_UP", {}, 63}, {"SDLK_PAGEDOWN", {}, 63}, {"SDLK_PAGEUP", {}, 47}});
    r.edit.cursor.channel = 4;
    r.edit.cursor.column = 5;
    // Shift+Tab goes first to the note column of the same channel.
    r.steps(field, {{"SDLK_RIGHT", {}, 0},
                    {"SDLK_LEFT", {}, 45},
                    {"SDLK_TAB", {"KMOD_LSHIFT"}, 40},
                    {"SDLK_TAB", {"KMOD_LSHIFT"}, 30}});

    // Cursor follow is on from the start: playing at the cursor, rows stay, columns move.
    r.player.playing = true;
    r.player.currentRow = r.edit.cursor.row;
    r.steps(row, {{"SDLK_UP", {}, 47}, {"SDLK_HOME", {}, 47}, {"SDLK_UP", {"KMOD_LALT"}, 47}});
    EXPECT_FALSE(r.edit.selection.marking);
    r.steps(field, {{"SDLK_RIGHT", {}, 31}});
    // Entries do not move the cursor either, while it follows the song.
    r.edit.record = true;
    r.edit.cursor.column = 0;
    r.press("SDLK_q");
    EXPECT_EQ(r.cell(3, 47).note, 37);
    EXPECT_EQ(r.edit.cursor.row, 47);
}

TEST(PatternEditor, CellCommandsShiftAndClear) {
    PatternRig r;
    r.edit.record = true;
    for (int row = 0; row < 64; ++row) r.cell(1, row) = PatternCell{uint8_t(row + 1), 2, 0x31, 0x04};
    r.edit.cursor = {10, 1, COLUMN_NOTE};
    r.press("SDLK_DELETE");  // the effect stays
    EXPECT_EQ(r.cell(1, 10), (PatternCell{0, 0, 0x31, 0x04}));
    EXPECT_EQ(r.edit.cursor.row, 11);
    r.press("SDLK_BACKSPACE");
    EXPECT_EQ(r.cell(1, 10).note, 12);
    EXPECT_EQ(r.cell(1, 62).note, 64);
    EXPECT_TRUE(isEmptyCell(r.cell(1, 63)));
    EXPECT_EQ(r.edit.cursor.row, 10);
    r.press("SDLK_INSERT");
    EXPECT_TRUE(isEmptyCell(r.cell(1, 10)));
    EXPECT_EQ(r.cell(1, 11).note, 12);
    EXPECT_EQ(r.cell(1, 63).note, 64);
    r.press("SDLK_RETURN");
    EXPECT_EQ(r.cell(1, 10).note, NOTE_OFF);
    EXPECT_EQ(r.edit.cursor.row, 11);
    r.edit.cursor.row = 0;
    r.press("SDLK_BACKSPACE");  // row 0: nothing
    EXPECT_EQ(r.cell(1, 0).note, 1);
}

TEST(PatternEditor, SelectionClipboardAndTriangleOctave) {
    PatternRig r;
    // Mark channels 0-2, rows 4-5 with the keyboard.
    r.edit.cursor = {4, 0, COLUMN_NOTE};
    r.press("SDLK_DOWN", {"KMOD_LALT"});
    r.press("SDLK_RIGHT", {"KMOD_LALT"});
    r.press("SDLK_RIGHT", {"KMOD_LALT"});
    EXPECT_EQ(std::vector<int>({r.edit.selection.row1, r.edit.selection.row2, r.edit.selection.channel2}),
              std::vector<int>({4, 5, 2}));
    r.cell(0, 4).note = 90;
    r.cell(2, 4).note = 50;
    r.cell(1, 5) = PatternCell{NOTE_OFF, 0, 0x2A, 0x03};
    r.press("SDLK_c", {"KMOD_LCTRL"});
    EXPECT_EQ(r.edit.clipboard.width, 3);
    EXPECT_EQ(r.edit.clipboard.height, 2);

    // Pasted at channel 3 only the first two columns land, on every row.
    r.edit.cursor = {20, 3, COLUMN_NOTE};
    r.press("SDLK_v", {"KMOD_LCTRL"});
    EXPECT_EQ(r.cell(3, 20).note, 90);  // noise keeps notes as they are
    EXPECT_EQ(r.cell(4, 21), (PatternCell{NOTE_OFF, 0, 0x2A, 0x03}));
    EXPECT_TRUE(isEmptyCell(r.cell(0, 20)));

    // Pulse -> triangle raises an octave (held at 95), triangle -> pulse lowers it.
    r.edit.cursor = {30, 2, COLUMN_NOTE};
    r.press("SDLK_v", {"KMOD_LCTRL"});
    EXPECT_EQ(r.cell(2, 30).note, 95);
    EXPECT_EQ(r.cell(4, 30).note, 38);
    r.edit.cursor = {40, 0, COLUMN_NOTE};
    r.press("SDLK_v", {"KMOD_LCTRL"});
    EXPECT_EQ(r.cell(0, 40).note, 90);  // same channels: unchanged
    EXPECT_EQ(r.cell(2, 40).note, 50);

    PatternClipboard twoChannels = r.edit.clipboard;
    r.edit.selection = {2, 2, 4, 4, false};
    r.press("SDLK_c", {"KMOD_LCTRL"});
    r.edit.cursor = {45, 0, COLUMN_NOTE};
    r.press("SDLK_v", {"KMOD_LCTRL"});
    EXPECT_EQ(r.cell(0, 45).note, 38);
    r.edit.clipboard = twoChannels;

    // Transparent paste leaves targets of empty clipboard cells alone; effects paste only effects.
    r.cell(1, 50).note = 60;
    r.edit.cursor = {50, 0, COLUMN_NOTE};
    r.press("SDLK_v", {"KMOD_LCTRL", "KMOD_LSHIFT"});
    EXPECT_EQ(r.cell(1, 50).note, 60);
    EXPECT_EQ(r.cell(1, 51).note, NOTE_OFF);
    r.cell(1, 61) = PatternCell{44, 3, 0, 0};
    r.edit.cursor = {60, 0, COLUMN_NOTE};
    r.press("SDLK_v", {"KMOD_LCTRL", "KMOD_LALT"});
    EXPECT_EQ(r.cell(1, 61), (PatternCell{44, 3, 0x2A, 0x03}));
    EXPECT_EQ(r.cell(0, 60).note, 0);

    // Cut empties the source; transposing stays within the note range and skips note-offs.
    r.edit.selection = {0, 2, 4, 5, false};
    r.press("SDLK_x", {"KMOD_LCTRL"});
    EXPECT_TRUE(isEmptyCell(r.cell(0, 4)));
    EXPECT_EQ(r.edit.clipboard.cells[0].note, 90);
    r.edit.selection = {0, 1, 60, 61, false};
    r.cell(0, 60).note = 120;
    r.cell(1, 60).note = 1;
    r.press("SDLK_UP", {"KMOD_LSHIFT"});
    EXPECT_EQ(r.cell(0, 60).note, 120);
    EXPECT_EQ(r.cell(1, 60).note, 2);
    EXPECT_EQ(r.cell(1, 61).note, 45);
    r.press("SDLK_DOWN", {"KMOD_LSHIFT"});
    r.press("SDLK_DOWN", {"KMOD_LSHIFT"});
    EXPECT_EQ(r.cell(1, 60).note, 1);
    r.press("SDLK_d", {"KMOD_LCTRL"});
    EXPECT_TRUE(isEmptyCell(r.cell(1, 61)));
}

TEST(PatternEditor, MuteSoloAndRepeatBlock) {
    PatternRig r;
    r.edit.cursor.channel = 2;
    r.steps(
        [&] { return r.player.channelMask * int(r.player.maskChanged.exchange(false)); },
        {{"SDLK_m", {"KMOD_LCTRL"}, 31 & ~4}, {"SDLK_s", {"KMOD_LCTRL"}, 4}, {"SDLK_s", {"KMOD_LCTRL"}, 31}});

    r.song->orders.count = 2;
    r.song->orders.entries[1] = 7;
    r.edit.currentOrder = 1;
    r.edit.cursor.row = 10;
    r.press("SDLK_DOWN", {"KMOD_LCTRL"});
    r.press("SDLK_DOWN", {"KMOD_LCTRL"});
    const RepeatBlock& b = r.edit.repeatBlock;
    EXPECT_EQ(std::vector<int>({b.pattern, b.row1, b.row2, r.player.repeatMarkA, r.player.repeatMarkB}),
              std::vector<int>({7, 10, 12, 10, 12}));
    r.program->patternEditor().markRepeatBlock(1);
    EXPECT_EQ(r.player.repeatMarkB, 13);
}

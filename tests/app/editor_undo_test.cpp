// The edit history's bounds: a long random session, the byte limit (every kind of change, loads
// and the saved-state mark are in tests/data/app/sessions/).

#include <gtest/gtest.h>

#include <random>

#include "EditorRig.h"
#include "song/SongFile.h"

TEST(Undo, LongRandomSessionUndoesToTheStartAndRedoesToTheEnd) {
    EditorRig r;
    MemoryClipboard clipboard;
    r.program->setClipboard(&clipboard);
    fillEverySongPart(*r.song);
    r.program->history().clear();
    r.edit.record = true;
    const std::vector<KeyEvent> pool = comboKeys(
        "SDLK_F1 SDLK_F2 SDLK_F3 SDLK_F4 SDLK_q SDLK_w SDLK_7 SDLK_UP SDLK_DOWN SDLK_LEFT SDLK_RIGHT "
        "SDLK_TAB SDLK_INSERT SDLK_DELETE SDLK_BACKSPACE SDLK_RETURN KMOD_LSHIFT+SDLK_UP "
        "KMOD_LALT+SDLK_DOWN KMOD_LALT+SDLK_RIGHT KMOD_LCTRL+SDLK_x KMOD_LCTRL+SDLK_c KMOD_LCTRL+SDLK_v "
        "KMOD_LCTRL+KMOD_LSHIFT+SDLK_v KMOD_LCTRL+SDLK_d KMOD_LSHIFT+SDLK_RIGHT SDLK_PAGEDOWN SDLK_KP_PERIOD "
        "SDLK_F8 SDLK_KP2 SDLK_KP1 KMOD_LCTRL+SDLK_z KMOD_LCTRL+SDLK_y");
    std::mt19937 random(1234);
    const auto bytes = [&r] { return serializeSong(*r.song); };
    const auto start = bytes();
    for (int i = 0; i < 3000; ++i) {
        r.press(pool[random() % pool.size()]);
        if (r.edit.nameEditing) r.press("SDLK_RETURN");  // keep out of the name editor
    }
    const auto end = bytes();
    ASSERT_NE(start, end);
    EditHistory& h = r.program->history();
    const size_t undone = h.undoSteps();
    ASSERT_GT(undone, 300u);
    for (size_t i = 0; i < undone; ++i) ASSERT_TRUE(h.undo());
    EXPECT_FALSE(h.undo());
    EXPECT_EQ(bytes(), start);
    EXPECT_FALSE(h.modified());
    for (size_t i = 0; i < undone; ++i) ASSERT_TRUE(h.redo());
    EXPECT_FALSE(h.redo());
    EXPECT_EQ(bytes(), end);
}

TEST(Undo, ByteLimitDropsTheOldestStepsAndTenThousandCellEditsFit) {
    auto song = std::make_unique<Song>();
    EditingState edit;
    NullAudioLock lock;
    auto write = [&](EditHistory& h, int i) {
        const int row = i % ROWS_PER_PATTERN, pattern = (i / ROWS_PER_PATTERN) % MAX_PATTERNS;
        h.apply("note", EditTarget::cells(pattern, 0, 0, row, row),
                [&] { song->patterns[pattern].at(0, row).note = uint8_t(1 + i % 120); });
    };
    {
        EditHistory h(*song, edit, lock, nullptr);
        for (int i = 0; i < 10000; ++i) write(h, i);
        EXPECT_EQ(h.undoSteps(), 10000u);
        EXPECT_LT(h.bytes() / 10000, 256u);  // a cell edit costs its few bytes and its bookkeeping
    }
    song->clear();
    EditHistory h(*song, edit, lock, nullptr, 64 * 1024);
    for (int i = 0; i < 4000; ++i) write(h, i);
    EXPECT_LE(h.bytes(), h.byteLimit());
    const size_t kept = h.undoSteps();
    ASSERT_GT(kept, 10u);
    ASSERT_LT(kept, 4000u);
    for (size_t i = 0; i < kept; ++i) ASSERT_TRUE(h.undo());
    EXPECT_FALSE(h.undo());
    // The oldest steps are gone: their notes stay, the newest ones are taken back.
    auto note = [&](int i) {
        return int(song->patterns[i / ROWS_PER_PATTERN].at(0, i % ROWS_PER_PATTERN).note);
    };
    const int firstKept = int(4000 - kept);
    EXPECT_EQ(note(firstKept - 1), 1 + (firstKept - 1) % 120);
    EXPECT_EQ(note(firstKept), 0);
    // Nothing reaches back to the state before the dropped steps.
    EXPECT_TRUE(h.modified());
}

// Undo and redo of loaded samples and instruments, compared as saved song bytes (every other kind
// of change is in tests/data/app/sessions/undo.txt), and the history's bounds: long random
// sessions, the byte limit, the saved-state mark.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "EditorRig.h"
#include "song/InstrumentFile.h"
#include "song/SongFile.h"

namespace {

namespace fs = std::filesystem;

struct UndoRig : EditorRig, TempDir {
    ScriptedDialogs dialogs;
    MemoryClipboard clipboard;

    UndoRig() {
        program->setFileDialogs(&dialogs);
        program->setClipboard(&clipboard);
        fillEverySongPart(*song);
        program->history().clear();
    }
    std::vector<uint8_t> bytes() const { return serializeSong(*song); }
    std::string file(const char* name, const std::vector<uint8_t>& content) const {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
        return path;
    }
    void undo() { press("SDLK_z", {"KMOD_LCTRL"}); }
    void redo() { press("SDLK_y", {"KMOD_LCTRL"}); }
};

}  // namespace

TEST(Undo, LoadsAreUndoneAndRedoneByteForByte) {
    const struct {
        const char* what;
        std::function<void(UndoRig&)> setup;
        const char* keys;
    } cases[] = {
        {"sample load", [](UndoRig& r) { r.dialogs.answer = r.file("hit.dmc", {0x55, 0xAA, 0x0F}); },
         "KMOD_LSHIFT+SDLK_l"},
        {"instrument load",
         [](UndoRig& r) {
             r.dialogs.answer = r.file("two.zci", serializeInstrument(*r.song, 2));
             r.edit.currentInstrument = 3;
         },
         "KMOD_LALT+KMOD_LCTRL+SDLK_l"},
    };
    for (const auto& c : cases) {
        UndoRig r;
        c.setup(r);
        const EditPlace place = EditPlace::of(r.edit);
        const auto before = r.bytes();
        r.press(comboKeys(c.keys).at(0));
        const auto after = r.bytes();
        ASSERT_NE(before, after) << c.what;
        EXPECT_TRUE(r.program->history().modified()) << c.what;
        EXPECT_EQ(r.program->history().undoSteps(), 1u) << c.what;  // one command, one step
        // Somewhere else, so the undo has to bring the editor back.
        r.edit.mode = EditorMode::Order;
        r.edit.cursor = PatternCursor{33, 4, 5};
        r.edit.currentInstrument = 9;
        r.undo();
        EXPECT_EQ(r.status(), std::string("Undo: ") + c.what);
        EXPECT_EQ(r.bytes(), before) << c.what;
        EXPECT_FALSE(r.program->history().modified()) << c.what;
        EXPECT_EQ(r.edit.mode, EditorMode::Pattern) << c.what;
        EXPECT_EQ(r.edit.cursor.row, place.cursor.row) << c.what;
        EXPECT_EQ(r.edit.currentInstrument, place.currentInstrument) << c.what;
        r.redo();
        EXPECT_EQ(r.status(), std::string("Redo: ") + c.what);
        EXPECT_EQ(r.bytes(), after) << c.what;
        r.redo();
        EXPECT_EQ(r.status(), "Nothing to redo.");
    }
}

TEST(Undo, LongRandomSessionUndoesToTheStartAndRedoesToTheEnd) {
    UndoRig r;
    r.edit.record = true;
    const std::vector<KeyEvent> pool = comboKeys(
        "SDLK_F1 SDLK_F2 SDLK_F3 SDLK_F4 SDLK_q SDLK_w SDLK_7 SDLK_UP SDLK_DOWN SDLK_LEFT SDLK_RIGHT "
        "SDLK_TAB "
        "SDLK_INSERT SDLK_DELETE SDLK_BACKSPACE SDLK_RETURN KMOD_LSHIFT+SDLK_UP KMOD_LALT+SDLK_DOWN "
        "KMOD_LALT+SDLK_RIGHT KMOD_LCTRL+SDLK_x KMOD_LCTRL+SDLK_c KMOD_LCTRL+SDLK_v "
        "KMOD_LCTRL+KMOD_LSHIFT+SDLK_v KMOD_LCTRL+SDLK_d KMOD_LSHIFT+SDLK_RIGHT SDLK_PAGEDOWN SDLK_KP_PERIOD "
        "SDLK_F8 SDLK_KP2 SDLK_KP1 KMOD_LCTRL+SDLK_z KMOD_LCTRL+SDLK_y");
    std::mt19937 random(1234);
    const auto start = r.bytes();
    for (int i = 0; i < 3000; ++i) {
        r.press(pool[random() % pool.size()]);
        if (r.edit.nameEditing) r.press("SDLK_RETURN");  // keep out of the name editor
    }
    const auto end = r.bytes();
    ASSERT_NE(start, end);
    EditHistory& h = r.program->history();
    const size_t undone = h.undoSteps();
    ASSERT_GT(undone, 300u);
    for (size_t i = 0; i < undone; ++i) ASSERT_TRUE(h.undo());
    EXPECT_FALSE(h.undo());
    EXPECT_EQ(r.bytes(), start);
    EXPECT_FALSE(h.modified());
    while (h.redo()) {
    }
    EXPECT_EQ(r.bytes(), end);
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
    while (h.undo()) {
    }
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

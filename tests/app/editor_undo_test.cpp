// Undo and redo of every kind of song change, compared as saved song bytes, and the history's
// bounds: long random sessions, the byte limit, the saved-state mark.

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

struct UndoRig : EditorRig {
    ScriptedDialogs dialogs;
    MemoryClipboard clipboard;
    fs::path dir = fs::temp_directory_path() / ("bf_undo_" + std::to_string(::getpid()));

    UndoRig() {
        program->setFileDialogs(&dialogs);
        program->setClipboard(&clipboard);
        fs::create_directories(dir);
        // Something in every part of the song for the commands to change.
        Song& s = *song;
        s.orders.count = 3;
        s.orders.entries[1] = 1;
        for (int ch = 0; ch < CHANNEL_COUNT; ++ch)
            for (int row = 0; row < ROWS_PER_PATTERN; row += 3) {
                PatternCell& c = s.patterns[0].at(ch, row);
                c.note = uint8_t(30 + row % 40 + ch);
                c.instrument = 1;
                c.setEffect(row % 16, row * 3);
            }
        const uint8_t pcm[] = {1, 2, 3, 4, 5, 6};
        s.instruments[2].type = INST_PCM;
        s.instruments[2].pcm.assign(pcm, sizeof pcm, false);
        s.instrumentNames[1] = "lead";
        s.instrumentNames[2] = "drum";
        for (int e = 0; e < ENVELOPE_COUNT; ++e) {
            Envelope& env = s.instruments[1].envelopes[e];
            for (int i = 0; i < 4; ++i) env.values[i] = 32 + i * 16;
            env.values[4] = END_MARKER;
        }
        program->history().clear();
    }
    ~UndoRig() { fs::remove_all(dir); }
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

using Action = std::function<void(UndoRig&)>;

Action keys(const char* combos) {
    return [k = comboKeys(combos)](UndoRig& r) {
        for (const KeyEvent& e : k) r.press(e);
    };
}

void select(UndoRig& r, int ch1, int ch2, int row1, int row2) {
    r.edit.selection = PatternSelection{ch1, ch2, row1, row2, false};
}

}  // namespace

TEST(Undo, EveryKindOfChangeIsUndoneAndRedoneByteForByte) {
    const struct {
        const char* what;
        EditorMode mode;
        Action setup, act;
    } cases[] = {
        {"note", EditorMode::Pattern, [](UndoRig& r) { r.edit.record = true; }, keys("SDLK_q")},
        {"instrument number", EditorMode::Pattern,
         [](UndoRig& r) { r.edit.record = true, r.edit.cursor.column = COLUMN_INSTRUMENT_LOW; },
         keys("SDLK_7")},
        {"effect", EditorMode::Pattern,
         [](UndoRig& r) { r.edit.record = true, r.edit.cursor.column = COLUMN_PARAMETER_HIGH; },
         keys("SDLK_b")},
        {"note off", EditorMode::Pattern, [](UndoRig& r) { r.edit.record = true; }, keys("SDLK_RETURN")},
        {"note delete", EditorMode::Pattern, {}, keys("SDLK_DELETE")},
        {"row delete", EditorMode::Pattern, [](UndoRig& r) { r.edit.cursor.row = 4; },
         keys("SDLK_BACKSPACE")},
        {"row insert", EditorMode::Pattern, [](UndoRig& r) { r.edit.cursor.row = 2; }, keys("SDLK_INSERT")},
        {"transpose", EditorMode::Pattern, [](UndoRig& r) { select(r, 0, 4, 0, 63); },
         keys("KMOD_LSHIFT+SDLK_UP")},
        {"block cut", EditorMode::Pattern, [](UndoRig& r) { select(r, 1, 3, 2, 40); },
         keys("KMOD_LCTRL+SDLK_x")},
        {"block delete", EditorMode::Pattern, [](UndoRig& r) { select(r, 0, 0, 0, 63); },
         keys("KMOD_LCTRL+SDLK_d")},
        {"block paste", EditorMode::Pattern,
         [](UndoRig& r) {
             select(r, 0, 2, 0, 20);
             keys("KMOD_LCTRL+SDLK_c")(r);
             r.edit.cursor = PatternCursor{50, 2, 0};  // runs past the last row and channel
         },
         keys("KMOD_LCTRL+SDLK_v")},
        {"effects paste", EditorMode::Pattern,
         [](UndoRig& r) {
             select(r, 0, 0, 0, 8);
             keys("KMOD_LCTRL+SDLK_c")(r);
             r.edit.cursor.row = 1;
         },
         keys("KMOD_LCTRL+KMOD_LALT+SDLK_v")},
        {"order insert", EditorMode::Order, {}, keys("SDLK_INSERT")},
        {"order pattern", EditorMode::Order, {}, keys("SDLK_RIGHT")},
        {"order delete", EditorMode::Order, [](UndoRig& r) { r.edit.currentOrder = 2; },
         keys("SDLK_DELETE")},
        {"order delete", EditorMode::Order, [](UndoRig& r) { r.edit.currentOrder = 1; },
         keys("SDLK_BACKSPACE")},
        {"envelope", EditorMode::InstrumentEditor, {}, keys("SDLK_UP")},
        {"envelope", EditorMode::InstrumentEditor, [](UndoRig& r) { r.edit.currentEnvelope = ENV_NOTE; },
         keys("SDLK_RETURN")},
        {"envelope value add", EditorMode::InstrumentEditor, {}, keys("SDLK_INSERT")},
        {"envelope value delete", EditorMode::InstrumentEditor,
         [](UndoRig& r) { r.edit.envelopeCursor[0] = 2; }, keys("SDLK_BACKSPACE")},
        {"loop point", EditorMode::InstrumentEditor, {}, keys("KMOD_LSHIFT+SDLK_END")},
        {"instrument type", EditorMode::InstrumentEditor, [](UndoRig& r) { r.edit.typeFieldSelected = true; },
         keys("SDLK_UP")},
        {"instrument paste", EditorMode::InstrumentEditor,
         [](UndoRig& r) { r.clipboard.putText("Volume: 1 2 3 |\nNote: 64\n"); },
         keys("KMOD_LCTRL+SDLK_v")},
        {"colour", EditorMode::InstrumentSelect, {}, keys("SDLK_RIGHT")},
        {"name", EditorMode::InstrumentSelect, [](UndoRig& r) { r.edit.nameEditing = true; },
         [](UndoRig& r) { r.type("x"); }},
        {"name", EditorMode::InstrumentSelect, [](UndoRig& r) { r.edit.nameEditing = true; },
         keys("SDLK_TAB")},
        {"name", EditorMode::InstrumentSelect,
         [](UndoRig& r) { r.edit.nameEditing = true, r.edit.nameCursor = 2; }, keys("SDLK_BACKSPACE")},
        {"TV system", EditorMode::Pattern, {}, keys("SDLK_KP_PERIOD")},
        {"sample loop", EditorMode::Pattern, [](UndoRig& r) { r.edit.currentInstrument = 2; },
         keys("SDLK_F8")},
        {"remove sample", EditorMode::Pattern, [](UndoRig& r) { r.edit.currentInstrument = 2; },
         keys("SDLK_F10")},
        {"sample load", EditorMode::Pattern,
         [](UndoRig& r) {
             r.dialogs.answer = r.file("hit.dmc", {0x55, 0xAA, 0x0F});
         },
         keys("KMOD_LSHIFT+SDLK_l")},
        {"instrument load", EditorMode::Pattern,
         [](UndoRig& r) {
             r.dialogs.answer = r.file("two.zci", serializeInstrument(*r.song, 2));
             r.edit.currentInstrument = 3;
         },
         keys("KMOD_LALT+KMOD_LCTRL+SDLK_l")},
    };
    for (const auto& c : cases) {
        UndoRig r;
        r.edit.mode = c.mode;
        if (c.setup) c.setup(r);
        const EditPlace place = EditPlace::of(r.edit);
        const auto before = r.bytes();
        c.act(r);
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
        EXPECT_EQ(r.edit.mode, c.mode) << c.what;
        EXPECT_EQ(r.edit.cursor.row, place.cursor.row) << c.what;
        EXPECT_EQ(r.edit.currentInstrument, place.currentInstrument) << c.what;
        r.redo();
        EXPECT_EQ(r.status(), std::string("Redo: ") + c.what);
        EXPECT_EQ(r.bytes(), after) << c.what;
        r.redo();
        EXPECT_EQ(r.status(), "Nothing to redo.");
    }
}

TEST(Undo, NothingToUndoAndCommandsThatChangeNothingLeaveNoStep) {
    UndoRig r;
    r.undo();
    EXPECT_EQ(r.status(), "Nothing to undo.");
    r.press("SDLK_z", {"KMOD_LCTRL", "KMOD_LSHIFT"});
    EXPECT_EQ(r.status(), "Nothing to redo.");
    r.edit.mode = EditorMode::Order;
    r.press("SDLK_LEFT");  // pattern 0 is already the lowest
    r.press("SDLK_DOWN");  // a cursor move
    EXPECT_EQ(r.program->history().undoSteps(), 0u);
    EXPECT_FALSE(r.program->history().modified());
}

TEST(Undo, LongRandomSessionUndoesToTheStartAndRedoesToTheEnd) {
    UndoRig r;
    r.edit.record = true;
    const std::vector<KeyEvent> pool = comboKeys(
        "SDLK_F1 SDLK_F2 SDLK_F3 SDLK_F4 SDLK_q SDLK_w SDLK_7 SDLK_UP SDLK_DOWN SDLK_LEFT SDLK_RIGHT SDLK_TAB "
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

TEST(Undo, SavingMarksTheStateAndLoadingEndsTheHistory) {
    UndoRig r;
    EditHistory& h = r.program->history();
    r.edit.record = true;
    r.press("SDLK_q");
    r.dialogs.answer = (r.dir / "song.zcm").string();
    r.press("SDLK_s", {"KMOD_LALT"});
    ASSERT_EQ(r.status(), "File succesfully saved!");
    EXPECT_FALSE(h.modified());
    r.press("SDLK_w");
    EXPECT_TRUE(h.modified());
    r.undo();
    EXPECT_FALSE(h.modified());  // back at the saved state
    r.undo();
    EXPECT_TRUE(h.modified());
    r.press("SDLK_l", {"KMOD_LALT"});
    ASSERT_EQ(r.status(), "File succesfully opened!");
    EXPECT_FALSE(h.modified());
    r.undo();
    EXPECT_EQ(r.status(), "Nothing to undo.");
}

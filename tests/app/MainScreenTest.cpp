// The main screen drawn on a recording canvas: the plain screen of a new song is kept whole in
// tests/data/app/main_screen.txt, every other scene as what it draws differently from it.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/MainScreen.h"
#include "tests/app/Golden.h"

namespace {

struct Screen {
    std::unique_ptr<Song> song = std::make_unique<Song>();
    EditingState edit;
    PlaybackView playback;
    std::string rowNumbering = "dec";
    uint32_t ticks = 100000;
    InfoPanelView info;
    RecordingCanvas canvas;

    std::vector<std::string> draw() {
        ScreenInputs in{*song, edit, playback, rowNumbering, ticks, nullptr, info, nullptr};
        drawMainScreen(canvas, in);
        return drawnLines(canvas);
    }
};

using Scene = std::pair<std::string, std::function<void(Screen&)>>;

std::vector<Scene> scenes() {
    std::vector<Scene> out;
    // The pattern view scrolls around the cursor row, which carries the dark bar.
    for (int row : {17, 18, 46, 47, 63})
        out.push_back({"cursor row " + std::to_string(row), [row](Screen& s) { s.edit.cursor.row = row; }});
    // Row numbers are hex only for exactly "hex".
    for (const char* setting : {"hex", "HEX", "dec", ""})
        out.push_back({std::string("row numbering \"") + setting + "\" at row 30", [setting](Screen& s) {
                           s.rowNumbering = setting;
                           s.edit.cursor.row = 30;
                       }});
    // The order list scrolls and marks hidden entries; the active order bar pulses blue.
    for (auto [count, current, base] : {std::tuple{15, 14, 0}, {20, 12, 40}, {20, 3, 0}})
        out.push_back({"orders " + std::to_string(count) + " at " + std::to_string(current),
                       [count = count, current = current, base = base](Screen& s) {
                           s.song->orders.count = count;
                           for (int i = 0; i < count; ++i) s.song->orders.entries[i] = base ? base + i : 0;
                           s.edit.currentOrder = current;
                           s.edit.mode = EditorMode::Order;
                       }});
    out.push_back({"cells and their colours", [](Screen& s) {
                       s.song->instrumentColours[2] = 1;
                       Pattern& p = s.song->patterns[0];
                       p.at(1, 0) = PatternCell{25, 2, 0, 0};
                       p.at(1, 0).setEffect(0xF, 0x07);
                       p.at(0, 1).note = NOTE_OFF;
                   }});
    out.push_back({"cursor on Triangle, Triangle and PCM muted", [](Screen& s) {
                       s.edit.cursor.channel = 2;
                       s.playback.channelMask = 0x1F & ~(1u << 2) & ~(1u << 4);
                   }});
    out.push_back({"cursor on Triangle", [](Screen& s) { s.edit.cursor.channel = 2; }});
    // Selection, repeat block and played row stay within the shown rows.
    out.push_back({"selection and repeat block at row 63", [](Screen& s) {
                       s.edit.cursor.row = 63;
                       s.edit.selection = {3, 1, 70, 10, false};
                       s.edit.repeatBlock = {0, 40, 20, false};
                   }});
    out.push_back({"selection above the view", [](Screen& s) {
                       s.edit.cursor.row = 63;
                       s.edit.selection = {0, 0, 0, 5, false};
                   }});
    for (int order : {0, 1})  // the played row shows only for the cursor's order
        out.push_back({"playing order " + std::to_string(order), [order](Screen& s) {
                           s.playback = {true, order, 5, 0x1F};
                       }});
    for (int column = 0; column < 6; ++column)
        out.push_back({"instrument list, cursor column " + std::to_string(column), [column](Screen& s) {
                           s.edit.cursor = {20, 3, column};
                           s.edit.mode = EditorMode::InstrumentSelect;
                       }});
    out.push_back({"instrument editor, scrolled envelope with loop", [](Screen& s) {
                       Instrument& inst = s.song->instruments[1];
                       Envelope& vol = inst.envelopes[ENV_VOLUME];
                       for (int i = 0; i < 10; ++i) vol.values[i] = 240 - 16 * i;
                       vol.values[10] = END_MARKER;
                       vol.loopPoint = 5;
                       s.edit.envelopeCursor[ENV_VOLUME] = 5;
                       inst.envelopes[ENV_NOTE].values[0] = 0x80 | 36;
                       inst.envelopes[ENV_DUTY].values[0] = 128;
                       s.edit.mode = EditorMode::InstrumentEditor;
                   }});
    out.push_back({"instrument editor, type field selected", [](Screen& s) {
                       s.edit.mode = EditorMode::InstrumentEditor;
                       s.edit.typeFieldSelected = true;
                   }});
    std::vector<uint8_t> bytes(12345, 0x55);
    for (auto [size, loop] : {std::pair{0u, false}, {1000u, true}, {12345u, false}})
        out.push_back({"DPCM instrument of " + std::to_string(size) + " bytes",
                       [bytes, size = size, loop = loop](Screen& s) {
                           s.song->instruments[1].type = INST_DPCM;
                           if (size) s.song->instruments[1].dpcm.assign(bytes.data(), size, loop);
                       }});
    out.push_back({"no instrument", [](Screen& s) { s.edit.currentInstrument = 0; }});
    for (int age : {3600, 3755})  // a fading status, then none
        out.push_back({"names, NTSC, record, status aged " + std::to_string(age), [age](Screen& s) {
                           s.song->instrumentNames[1] = "Lead";
                           s.song->instrumentColours[0x0F] = 16;
                           s.song->instrumentNames[0x0F] = "Bass";
                           s.song->instrumentNames[0x10] = "Hidden";
                           s.edit.status.text = "Ready.";
                           s.edit.status.time = s.ticks - age;
                           s.edit.record = s.song->ntsc = age < 3700;
                       }});
    for (uint32_t t : {400100u, 400300u})  // the name cursor blinks
        out.push_back({"name cursor at " + std::to_string(t), [t](Screen& s) {
                           s.edit.mode = EditorMode::InstrumentSelect;
                           s.edit.nameEditing = true;
                           s.edit.currentInstrument = 3;
                           s.edit.nameCursor = 2;
                           s.ticks = t;
                       }});
    // The info panel: the song's name and unsaved mark, octave and step, instrument, record,
    // playback, toggles.
    out.push_back({"info panel while playing", [](Screen& s) {
                       s.song->instrumentNames[3] = "Bass";
                       s.edit.octave = 5;
                       s.edit.step = 2;
                       s.edit.currentInstrument = 3;
                       s.edit.record = s.edit.blockRepeat = s.edit.metronome = true;
                       s.edit.cursorFollow = false;
                       s.playback = {true, 2, 17, 0x1F};
                       s.info = {"tune.zcm", true};
                   }});
    out.push_back({"info panel of a saved song", [](Screen& s) { s.info = {"tune.zcm", false}; }});
    // Out-of-range state draws without reading outside the song.
    out.push_back({"out-of-range state", [](Screen& s) {
                       s.song->orders.entries[0] = 200;
                       s.song->instrumentColours[1] = 99;
                       s.song->patterns[0].at(0, 0) = PatternCell{30, 1, 0, 0};
                       s.edit.cursor = {99, 7, 12};
                       s.edit.currentOrder = 70;
                       s.edit.currentEnvelope = 9;
                       s.edit.envelopeCursor[0] = -1;
                       s.edit.firstShownInstrument = 250;
                   }});
    return out;
}

}  // namespace

TEST(MainScreen, ScenesDrawAsKept) {
    const std::vector<std::string> base = Screen().draw();
    std::string out;
    for (const std::string& l : base) out += l + "\n";
    for (const auto& [name, set] : scenes()) {
        Screen s;
        set(s);
        out += "== " + name + "\n" + drawnDifference(base, s.draw());
    }
    expectTestData("app/main_screen.txt", out);
}

TEST(MainScreen, PulseStaysWithinItsRange) {
    int lo = 1000, hi = 0;
    for (uint32_t t = 0; t < 1000; ++t) lo = std::min(lo, pulseValue(t)), hi = std::max(hi, pulseValue(t));
    EXPECT_EQ(lo, 127);
    EXPECT_TRUE(hi == 254 || hi == 255) << hi;
    EXPECT_EQ(pulseValue(0), 191);
    EXPECT_EQ(pulseValue(500), 191);
}

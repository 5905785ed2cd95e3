#include <gtest/gtest.h>

#include <memory>

#include "app/MainScreen.h"
#include "app/RecordingCanvas.h"

namespace {

constexpr int W = 8, L = 16;

struct Screen {
    std::unique_ptr<Song> song = std::make_unique<Song>();
    EditingState edit;
    PlaybackView playback;
    std::string rowNumbering = "dec";
    uint32_t ticks = 100000;
    InfoPanelView info;
    const HelpOverlay* help = nullptr;
    RecordingCanvas canvas;

    void draw() {
        ScreenInputs in{*song, edit, playback, rowNumbering, ticks, nullptr, info, help};
        drawMainScreen(canvas, in);
    }
    // Row-number texts of the pattern view, top to bottom.
    std::vector<std::string> rowNumbers() const {
        std::vector<std::string> out;
        for (int line = 1; line <= 35; ++line)
            for (const DrawOp* op : canvas.textsAt(0, line * L))
                if (op->text.size() == 2) out.push_back(op->text);
        return out;
    }
    std::string textAt(int x, int y) const {
        auto ops = canvas.textsAt(x, y);
        return ops.empty() ? "" : ops.back()->text;
    }
    uint32_t colourAt(int x, int y) const {
        auto ops = canvas.textsAt(x, y);
        return ops.empty() ? 0xDEAD : ops.back()->colour;
    }
    const DrawOp* fillAt(int x, int y, uint32_t colour) const {
        for (const DrawOp* op : canvas.ofKind(DrawOp::Fill))
            if (op->x == x && op->y == y && op->colour == colour) return op;
        return nullptr;
    }
};

}  // namespace

TEST(MainScreen, PatternViewScrollsAroundTheCursorRow) {
    const struct { int cursor, first; } cases[] = {{0, 0}, {17, 0}, {18, 1}, {46, 29}, {47, 29}, {63, 29}};
    for (const auto& c : cases) {
        Screen s;
        s.edit.cursor.row = c.cursor;
        s.draw();
        auto rows = s.rowNumbers();
        ASSERT_EQ(rows.size(), 35u) << c.cursor;
        char expect[16];
        std::snprintf(expect, sizeof expect, "%02d", c.first);
        EXPECT_EQ(rows.front(), expect) << c.cursor;
        std::snprintf(expect, sizeof expect, "%02d", c.first + 34);
        EXPECT_EQ(rows.back(), expect) << c.cursor;
        // The cursor row's dark bar stands on the cursor's line.
        EXPECT_NE(s.fillAt(0, (c.cursor - c.first + 1) * L, 0x111111), nullptr) << c.cursor;
    }
}

TEST(MainScreen, RowNumbersAreHexOnlyForExactlyLowerCaseHex) {
    for (const char* setting : {"hex", "HEX", "dec", ""}) {
        Screen s;
        s.rowNumbering = setting;
        s.edit.cursor.row = 30;  // rows 13-47 shown
        s.draw();
        const bool hex = std::string(setting) == "hex";
        EXPECT_EQ(s.rowNumbers()[0], hex ? "0D" : "13") << setting;
        EXPECT_EQ(s.rowNumbers()[3], hex ? "10" : "16") << setting;
        // Multiples of 4 in white, others in row grey.
        EXPECT_EQ(s.colourAt(0, 1 * L), 0xC8C8C8u);  // row 13
        EXPECT_EQ(s.colourAt(0, 4 * L), 0xFFFFFFu);  // row 16
    }
}

TEST(MainScreen, OrderListScrollsAndMarksHiddenEntries) {
    const int x = 91 * W;
    // Texts on the lines just above, at the top, at the bottom and just below the list.
    const struct {
        int count, current, base;
        const char *above, *top, *bottom, *below;
    } cases[] = {
        {15, 14, 0, "", "00: 00", "14: 00", ""},
        {20, 12, 40, "   ...", "05: 45", "19: 59", ""},
        {20, 3, 0, "", "00: 00", "14: 00", "   ..."},
    };
    for (const auto& c : cases) {
        Screen s;
        s.song->orders.count = c.count;
        for (int i = 0; i < c.count; ++i) s.song->orders.entries[i] = c.base ? c.base + i : 0;
        s.edit.currentOrder = c.current;
        s.edit.mode = EditorMode::Order;
        s.draw();
        SCOPED_TRACE(c.current);
        EXPECT_EQ(s.textAt(x, 8 * L), c.above);
        EXPECT_EQ(s.textAt(x, 9 * L), c.top);
        EXPECT_EQ(s.textAt(x, 23 * L), c.bottom);
        EXPECT_EQ(s.textAt(x, 24 * L), c.below);
        if (c.current != 12) continue;
        // Active order bar on the current order's line, pulsing blue.
        const DrawOp* bar = s.fillAt(x, (9 + 12 - 5) * L, uint32_t(pulseValue(s.ticks)) << 16);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->width, 6 * W);
        EXPECT_EQ(bar->opacity, 128);
    }
}

TEST(MainScreen, CellTextsStandInTheirColumnsAndColours) {
    Screen s;
    s.song->instrumentColours[2] = 1;  // 0x736BE7
    Pattern& p = s.song->patterns[0];
    p.at(1, 0).note = 25;
    p.at(1, 0).instrument = 2;
    p.at(1, 0).setEffect(0xF, 0x07);
    p.at(0, 1).note = NOTE_OFF;
    s.draw();
    const int y = 1 * L, c = 13;
    // Cell without instrument (row 2): white note, label green instrument dots.
    const struct {
        int x, y;
        const char* text;
        uint32_t colour;
    } fields[] = {
        {c * W, y, "C-2", 0x736BE7},     {c * W + 28, y, "02", 0x616BC4},
        {(c + 6) * W, y, "F", 0xD56E2C}, {(c + 7) * W, y, "07", 0xD5AB96},
        {3 * W, 2 * L, "OFF", 0xFFFFFF}, {3 * W + 28, 2 * L, "\xFA\xFA", 0xA9DAA3},
    };
    for (const auto& f : fields) {
        EXPECT_EQ(s.textAt(f.x, f.y), f.text);
        EXPECT_EQ(s.colourAt(f.x, f.y), f.colour) << f.x << "," << f.y;
    }
}

TEST(MainScreen, HeadersShowCursorAndMutedChannels) {
    Screen s;
    s.edit.cursor.channel = 2;
    s.playback.channelMask = 0x1F & ~(1u << 2) & ~(1u << 4);
    s.draw();
    const int p = pulseValue(s.ticks);
    const struct {
        int channel;
        const char* name;
        uint32_t colour;
    } cases[] = {{0, "Pulse 1", 0xFFFFFF}, {2, "Triangle", uint32_t(p)}, {4, "PCM", 0x0000FF}};
    for (const auto& c : cases) {
        const int x = (3 + 10 * c.channel) * W;
        EXPECT_EQ(s.textAt(x, 0), c.name);
        EXPECT_EQ(s.colourAt(x, 0), c.colour) << c.name;
        EXPECT_EQ(s.colourAt(x + 1, 1), 0x000001u) << c.name;
    }
    s.playback.channelMask = 0x1F;
    s.draw();
    EXPECT_EQ(s.colourAt(23 * W, 0), uint32_t(p) * 0x010101u);
    std::string sep = s.textAt(0, 0);
    EXPECT_EQ(sep.size(), 43u);
    EXPECT_EQ(sep[2], char(0xB3));
    EXPECT_EQ(sep[42], char(0xB3));
}

TEST(MainScreen, PulseStaysWithinItsRange) {
    int lo = 1000, hi = 0;
    for (uint32_t t = 0; t < 1000; ++t) lo = std::min(lo, pulseValue(t)), hi = std::max(hi, pulseValue(t));
    EXPECT_EQ(lo, 127);
    EXPECT_TRUE(hi == 254 || hi == 255) << hi;
    EXPECT_EQ(pulseValue(0), 191);
    EXPECT_EQ(pulseValue(500), 191);
}

TEST(MainScreen, SelectionRepeatBlockAndPlayedRowStayInTheShownRows) {
    Screen s;
    s.edit.cursor.row = 63;  // rows 29-63 shown
    s.edit.selection = {3, 1, 70, 10, false};
    s.edit.repeatBlock = {0, 40, 20, false};
    s.draw();
    const DrawOp* sel = s.fillAt((10 * 1 + 2) * W, 1 * L, 0x600060);
    ASSERT_NE(sel, nullptr);
    EXPECT_EQ(std::vector<int>({sel->width, sel->height, sel->opacity}),
              std::vector<int>({(10 * 3 + 13 - 12) * W, 35 * L, 110}));
    const DrawOp* block = s.fillAt(0, 1 * L, 0x00C6EA);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::vector<int>({block->width, block->height}),
              std::vector<int>({2 * W, 12 * L}));  // rows 29-40

    s.edit.selection = {0, 0, 0, 5, false};  // all above the view
    s.draw();
    for (const DrawOp* op : s.canvas.ofKind(DrawOp::Fill)) EXPECT_NE(op->colour, 0x600060u);

    // The played row shows only for the cursor's order.
    s.edit.cursor.row = 0;
    s.playback = {true, 0, 5, 0x1F};
    s.draw();
    EXPECT_NE(s.fillAt(0, 6 * L, 0x161BD3), nullptr);
    s.playback.order = 1;
    s.draw();
    EXPECT_EQ(s.fillAt(0, 6 * L, 0x161BD3), nullptr);
}

TEST(MainScreen, PatternCursorBarFollowsTheField) {
    const int offsets[6] = {0, 28, 36, 48, 56, 64};
    for (int column = 0; column < 6; ++column) {
        Screen s;
        s.edit.cursor = {20, 3, column};
        s.edit.mode = EditorMode::InstrumentSelect;
        s.draw();
        const DrawOp* bar = s.fillAt(33 * W + offsets[column], 18 * L, 0xA00000);
        ASSERT_NE(bar, nullptr) << column;
        EXPECT_EQ(bar->width, column == 0 ? 24 : 8);
    }
}

TEST(MainScreen, InstrumentPanelShowsEnvelopesWithScrollAndLoopLine) {
    Screen s;
    Instrument& inst = s.song->instruments[1];
    Envelope& vol = inst.envelopes[ENV_VOLUME];
    for (int i = 0; i < 10; ++i) vol.values[i] = 240 - 16 * i;
    vol.values[10] = END_MARKER;
    vol.loopPoint = 5;
    s.edit.envelopeCursor[ENV_VOLUME] = 5;  // first shown 2: values 2-7 of 10
    inst.envelopes[ENV_NOTE].values[0] = 0x80 | 36;
    inst.envelopes[ENV_DUTY].values[0] = 128;
    s.edit.mode = EditorMode::InstrumentEditor;
    s.draw();
    EXPECT_EQ(s.textAt(54 * W, 25 * L), "Instrument Editor");
    EXPECT_EQ(s.textAt(65 * W, 26 * L), "Normal");
    EXPECT_EQ(s.textAt(65 * W, 28 * L), "2    3    4    5    6    7    ");
    EXPECT_EQ(s.textAt(61 * W, 29 * L), "... 13   12   11   10   9    8   ...");
    EXPECT_EQ(s.textAt(61 * W, 31 * L), "    36!  ");
    EXPECT_EQ(s.textAt(61 * W, 33 * L), "    3    ");
    EXPECT_EQ(s.textAt(61 * W, 35 * L), "    0    ");
    auto lines = s.canvas.ofKind(DrawOp::Line);
    bool loopLine = false;
    for (const DrawOp* op : lines)
        if (op->x == (65 + 15) * W - 3 && op->y == 28 * L && op->y2 == 30 * L - 3) loopLine = true;
    EXPECT_TRUE(loopLine);
    const DrawOp* bar = s.fillAt((64 + 15) * W, 29 * L, uint32_t(pulseValue(s.ticks)) << 16);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->width, 5 * W);
}

TEST(MainScreen, InstrumentPanelForSamplesAndNoInstrument) {
    Screen s;
    s.song->instruments[1].type = INST_DPCM;
    s.draw();
    EXPECT_EQ(s.textAt(65 * W, 26 * L), "DPCM");
    EXPECT_EQ(s.textAt(54 * W, 28 * L), " No sample loaded.");

    std::vector<uint8_t> bytes(12345, 0x55);
    s.song->instruments[1].dpcm.assign(bytes.data(), 1000, true);
    s.draw();
    EXPECT_EQ(s.textAt(65 * W, 28 * L), "1000 bytes (0.977 KB)");
    EXPECT_EQ(s.textAt(65 * W, 30 * L), "Yes");
    s.song->instruments[1].dpcm.assign(bytes.data(), 12345, false);
    s.draw();
    EXPECT_EQ(s.textAt(65 * W, 28 * L), "12345 bytes (12.1 KB)");
    EXPECT_EQ(s.textAt(65 * W, 30 * L), "No");

    s.edit.currentInstrument = 0;
    s.draw();
    EXPECT_EQ(s.textAt(54 * W, 25 * L), "(No instrument selected)");
    EXPECT_EQ(s.textAt(54 * W, 26 * L), "");
}

TEST(MainScreen, InstrumentListStatusIndicatorAndRecordFrame) {
    Screen s;
    s.song->instrumentNames[1] = "Lead";
    s.song->instrumentColours[0x0F] = 16;
    s.song->instrumentNames[0x0F] = "Bass";
    s.song->instrumentNames[0x10] = "Hidden";
    s.edit.status.text = "Ready.";
    s.edit.status.time = s.ticks - 3600;
    s.edit.record = true;
    s.song->ntsc = true;
    s.draw();
    EXPECT_EQ(s.textAt(54 * W, 8 * L), "    (No instrument)");
    EXPECT_EQ(s.textAt(54 * W, 9 * L), " 1: Lead");
    EXPECT_EQ(s.textAt(54 * W, 23 * L), " F: Bass");
    EXPECT_EQ(s.colourAt(54 * W, 23 * L), 0x5A74D7u);
    EXPECT_EQ(s.canvas.findText("10: Hidden"), nullptr);
    const DrawOp* status = s.canvas.findText("Ready.");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->y, 36 * L + 1);
    EXPECT_EQ(status->opacity, 155);
    EXPECT_EQ(s.textAt(59 * W, 3 * L), "NTSC");
    for (auto [x, y] : {std::pair{-5, -5}, {-5, 592}, {-5, 0}, {784, 0}})  // the record frame
        EXPECT_NE(s.fillAt(x, y, 0x0000FF), nullptr) << x << "," << y;

    s.edit.status.time = s.ticks - 3755;
    s.edit.record = false;
    s.song->ntsc = false;
    s.draw();
    EXPECT_EQ(s.canvas.findText("Ready."), nullptr);
    EXPECT_EQ(s.textAt(59 * W, 3 * L), " PAL");
    EXPECT_EQ(s.fillAt(-5, -5, 0x0000FF), nullptr);
}

TEST(MainScreen, NameCursorBlinksUnderTheName) {
    Screen s;
    s.edit.mode = EditorMode::InstrumentSelect;
    s.edit.nameEditing = true;
    s.edit.currentInstrument = 3;
    s.edit.nameCursor = 2;
    s.ticks = 400 * 1000 + 100;
    s.draw();
    auto cursorLines = [&] {
        std::vector<const DrawOp*> out;
        for (const DrawOp* op : s.canvas.ofKind(DrawOp::Line))
            if (op->y == 12 * L - 2 && op->y2 == op->y) out.push_back(op);
        return out;
    };
    auto lines = cursorLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]->x, 60 * W);
    EXPECT_EQ(lines[0]->x2, 61 * W);
    s.ticks += 200;
    s.draw();
    EXPECT_TRUE(cursorLines().empty());
}

TEST(MainScreen, OutOfRangeStateDoesNotReadOutsideTheSong) {
    Screen s;
    s.song->orders.entries[0] = 200;
    s.song->instrumentColours[1] = 99;
    s.song->patterns[0].at(0, 0) = PatternCell{30, 1, 0, 0};
    s.edit.cursor = {99, 7, 12};
    s.edit.currentOrder = 70;
    s.edit.currentEnvelope = 9;
    s.edit.envelopeCursor[0] = -1;
    s.edit.firstShownInstrument = 250;
    s.draw();
    EXPECT_EQ(s.canvas.ops.back().kind, DrawOp::End);
}

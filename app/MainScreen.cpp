#include "app/MainScreen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/CellFormat.h"
#include "app/HelpOverlay.h"

const uint32_t INSTRUMENT_PALETTE[COLOUR_COUNT] = {
    0xFFFFFF, 0x736BE7, 0x9978DA, 0x9163A5, 0x875987, 0x865165, 0x9F6A6A, 0xB48665, 0xD7AF5A,
    0xA4AB55, 0x6FA455, 0x75BD89, 0x76CBAB, 0x79E9F0, 0x6AB3E7, 0x6297DF, 0x5A74D7,
};

namespace {

constexpr int W = GLYPH_WIDTH;
constexpr int L = LINE_HEIGHT;
constexpr int PATTERN_VIEW_COLUMNS = 54;
constexpr int ORDER_COLUMN = 91;
constexpr int PANEL_COLUMN = 54;

const char* const HEADER_NAMES[CHANNEL_COUNT] = {"Pulse 1", "Pulse 2", "Triangle", "Noise", "PCM"};

uint32_t grey(int p) { return uint32_t(p) * 0x010101u; }

// Instrument number colours are dimmed by taking 85 % of red and blue.
uint32_t dimmed(uint32_t colour) {
    uint32_t red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
    red = uint32_t(red * 0.85);
    blue = uint32_t(blue * 0.85);
    return red | (green << 8) | (blue << 16);
}

int clampInt(int v, int lo, int hi) { return std::min(std::max(v, lo), hi); }

int currentPatternNumber(const Song& song, int order) {
    const int count = clampInt(song.orders.count, 1, MAX_ORDERS);
    return clampInt(song.orders.entries[clampInt(order, 0, count - 1)], 0, MAX_PATTERNS - 1);
}

std::string separatorLine() {
    std::string s(2, ' ');
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        s += char(0xB3);
        if (k + 1 < CHANNEL_COUNT) s += std::string(9, ' ');
    }
    return s;
}

// Draws a mark over the rows lo..hi (in any order) when any of them is on screen.
void drawRowMark(Canvas& c, int rowA, int rowB, int first, int x, int width, uint32_t colour) {
    int lo = std::min(rowA, rowB), hi = std::max(rowA, rowB);
    const int last = first + PATTERN_ROWS_SHOWN - 1;
    if (hi < first || lo > last) return;
    lo = std::max(lo, first);
    hi = std::min(hi, last);
    c.drawRect(rect(x, (lo - first + 1) * L, width, (hi - lo + 1) * L), colour, 110);
}

void drawPatternView(Canvas& c, const ScreenInputs& in, int p) {
    const Song& song = in.song;
    const EditingState& e = in.edit;
    const int cursorRow = clampInt(e.cursor.row, 0, ROWS_PER_PATTERN - 1);
    const int cursorChannel = e.cursor.channel;
    const int first = firstShownRow(cursorRow);
    const Pattern& pattern = song.patterns[currentPatternNumber(song, e.currentOrder)];
    const std::string separator = separatorLine();
    const bool hex = in.rowNumbering == "hex";

    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        const int x = (3 + 10 * k) * W;
        const bool muted = !(in.playback.channelMask & (1u << k));
        const bool underCursor = k == cursorChannel;
        uint32_t colour = COLOUR_WHITE;
        if (muted)
            colour = underCursor ? uint32_t(p) : COLOUR_RED;
        else if (underCursor)
            colour = grey(p);
        text(c, x + 1, 1, HEADER_NAMES[k], 0x000001);
        text(c, x, 0, HEADER_NAMES[k], colour);
    }
    text(c, 0, 0, separator, COLOUR_SEPARATOR);

    const bool showPlayRow = in.playback.playing && in.playback.order == e.currentOrder;
    for (int row = first; row < first + PATTERN_ROWS_SHOWN; ++row) {
        const int y = (row - first + 1) * L;
        if (row % 4 == 0) c.drawRect(rect(0, y, PATTERN_VIEW_COLUMNS * W, L), 0x555555, 75);
        if (showPlayRow && row == in.playback.row)
            c.drawRect(rect(0, y, PATTERN_VIEW_COLUMNS * W, L), 0x161BD3, 200);
        if (row == cursorRow) c.drawRect(rect(0, y, PATTERN_VIEW_COLUMNS * W, L), 0x111111, 150);

        text(c, 0, y, separator, COLOUR_SEPARATOR);
        char number[8];
        std::snprintf(number, sizeof number, hex ? "%02X" : "%02d", row);
        text(c, 0, y, number, row % 4 == 0 ? COLOUR_WHITE : COLOUR_ROW_GREY);

        for (int k = 0; k < CHANNEL_COUNT; ++k) {
            const PatternCell& cell = pattern.at(k, row);
            const CellText t = formatCell(cell, k, song);
            const int col = 3 + 10 * k;
            const uint32_t instColour = paletteColour(song.instrumentColours[cell.instrument]);
            const bool dots = t.note == std::string(3, EMPTY_FIELD);
            text(c, col * W, y, t.note, cell.instrument == 0 || dots ? COLOUR_WHITE : instColour);
            text(c, col * W + W * 7 / 2, y, t.instrument,
                 cell.instrument == 0 ? COLOUR_LABEL : dimmed(instColour));
            text(c, (col + 6) * W, y, t.effect, COLOUR_EFFECT);
            text(c, (col + 7) * W, y, t.parameter, COLOUR_DIM);
        }
    }

    const PatternSelection& s = e.selection;
    const int c1 = clampInt(std::min(s.channel1, s.channel2), 0, CHANNEL_COUNT - 1);
    const int c2 = clampInt(std::max(s.channel1, s.channel2), 0, CHANNEL_COUNT - 1);
    drawRowMark(c, s.row1, s.row2, first, (10 * c1 + 2) * W, (10 * (c2 - c1) + 11) * W, 0x600060);
    drawRowMark(c, e.repeatBlock.row1, e.repeatBlock.row2, first, 0, 2 * W, 0x00C6EA);
}

void drawCursorBars(Canvas& c, const ScreenInputs& in, int p) {
    const EditingState& e = in.edit;
    const uint32_t active = uint32_t(p) << 16;  // blue, pulsing
    auto colourFor = [&](EditorMode mode) { return e.mode == mode ? active : COLOUR_CURSOR_BAR; };

    // Pattern editor: the bar's offset within the channel, in half columns, by cursor field.
    static const int offsetHalves[PATTERN_COLUMN_COUNT] = {0, 7, 9, 12, 14, 16};
    const int column = clampInt(e.cursor.column, 0, PATTERN_COLUMN_COUNT - 1);
    const int cursorRow = clampInt(e.cursor.row, 0, ROWS_PER_PATTERN - 1);
    const int rowLine = cursorRow - firstShownRow(cursorRow) + 1;
    const int x = (10 * e.cursor.channel + 3) * W + offsetHalves[column] * W / 2;
    c.drawRect(rect(x, rowLine * L, column == COLUMN_NOTE ? 3 * W : W, L), colourFor(EditorMode::Pattern),
               128);

    const int firstOrder = firstShownOrder(e.currentOrder, in.song.orders.count);
    c.drawRect(rect(ORDER_COLUMN * W, (9 + e.currentOrder - firstOrder) * L, 6 * W, L),
               colourFor(EditorMode::Order), 128);

    if (e.currentInstrument > 0 && e.currentInstrument < INSTRUMENT_SLOTS) {
        const uint32_t colour = colourFor(EditorMode::InstrumentEditor);
        if (e.typeFieldSelected) {
            c.drawRect(rect(64 * W, 26 * L, 11 * W, L), colour, 128);
        } else {
            const int env = clampInt(e.currentEnvelope, 0, ENVELOPE_COUNT - 1);
            const Envelope& envelope = in.song.instruments[e.currentInstrument].envelopes[env];
            const int cursor = e.envelopeCursor[env];
            const int firstIndex = firstShownEnvelopeIndex(cursor, envelope.length());
            c.drawRect(rect((64 + 5 * (cursor - firstIndex)) * W, (29 + 2 * env) * L, 5 * W, L), colour, 128);
        }
    }

    c.drawRect(rect(PANEL_COLUMN * W, (8 + e.currentInstrument - e.firstShownInstrument) * L, 35 * W, L),
               colourFor(EditorMode::InstrumentSelect), 128);
}

void drawOrderList(Canvas& c, const ScreenInputs& in) {
    const OrderList& orders = in.song.orders;
    const int count = clampInt(orders.count, 1, MAX_ORDERS);
    const int first = firstShownOrder(in.edit.currentOrder, count);
    text(c, ORDER_COLUMN * W, 7 * L, "Order", COLOUR_LABEL);
    for (int i = 0; i < ORDERS_SHOWN && first + i < count; ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%02d: %02d", first + i, int(orders.entries[first + i]));
        text(c, ORDER_COLUMN * W, (9 + i) * L, entry, COLOUR_WHITE);
    }
    if (first != 0) text(c, ORDER_COLUMN * W, 8 * L, "   ...", COLOUR_DIM);
    if (first + ORDERS_SHOWN < count) text(c, ORDER_COLUMN * W, 24 * L, "   ...", COLOUR_DIM);
}

std::string shownEnvelopeValue(int env, int raw, InstrumentType type) {
    char buf[16];
    switch (env) {
        case ENV_VOLUME:
            std::snprintf(buf, sizeof buf, "%-4d ", type == INST_NORMAL ? raw >> 4 : raw);
            break;
        case ENV_NOTE:
            if (raw & 0x80) {
                char absolute[8];
                std::snprintf(absolute, sizeof absolute, "%d!", raw & 127);
                std::snprintf(buf, sizeof buf, "%-5s", absolute);
            } else {
                std::snprintf(buf, sizeof buf, "%-4d ", raw - 64);
            }
            break;
        case ENV_DUTY:
            std::snprintf(buf, sizeof buf, "%-4d ", type == INST_NORMAL ? (raw >> 6) + 1 : raw - 127);
            break;
        default:
            std::snprintf(buf, sizeof buf, "%-4d ", raw - 127);
            break;
    }
    return buf;
}

void drawInstrumentPanel(Canvas& c, const ScreenInputs& in) {
    const int current = in.edit.currentInstrument;
    if (current <= 0 || current >= INSTRUMENT_SLOTS) {
        text(c, PANEL_COLUMN * W, 25 * L, "(No instrument selected)", COLOUR_DIM);
        return;
    }
    const Instrument& inst = in.song.instruments[current];
    text(c, PANEL_COLUMN * W, 25 * L, "Instrument Editor", COLOUR_LABEL);
    text(c, PANEL_COLUMN * W, 26 * L, " Type", COLOUR_EFFECT);
    const bool knownType = inst.type >= 0 && inst.type < INSTRUMENT_TYPE_COUNT;
    text(c, 65 * W, 26 * L, knownType ? INSTRUMENT_TYPE_NAMES[inst.type] : "?", COLOUR_WHITE);

    if (inst.type == INST_PCM || inst.type == INST_DPCM) {
        const SampleSlot& sample = inst.type == INST_PCM ? inst.pcm : inst.dpcm;
        if (sample.empty()) {
            text(c, PANEL_COLUMN * W, 28 * L, " No sample loaded.", COLOUR_WHITE);
            return;
        }
        text(c, PANEL_COLUMN * W, 28 * L, " Size", COLOUR_EFFECT);
        text(c, PANEL_COLUMN * W, 30 * L, " Loop", COLOUR_EFFECT);
        char size[64];
        std::snprintf(size, sizeof size, "%u bytes (%.3g KB)", unsigned(sample.size), sample.size / 1024.0);
        text(c, 65 * W, 28 * L, size, COLOUR_WHITE);
        text(c, 65 * W, 30 * L, sample.loop ? "Yes" : "No", COLOUR_WHITE);
        return;
    }
    if (!knownType) return;

    static const char* const LABELS[ENVELOPE_COUNT] = {" Volume", " Note", " Duty/Mode", " Fine-tune"};
    for (int e = 0; e < ENVELOPE_COUNT; ++e) {
        const Envelope& env = inst.envelopes[e];
        const int length = std::min(env.length(), MAX_ENVELOPE_VALUES);
        const int first = firstShownEnvelopeIndex(in.edit.envelopeCursor[e], length);
        const int shown = std::min(ENVELOPE_VALUES_SHOWN, length - first);
        text(c, PANEL_COLUMN * W, (28 + 2 * e) * L, LABELS[e], COLOUR_EFFECT);

        std::string indices, values = first != 0 ? "... " : "    ";
        char buf[16];
        for (int i = first; i < first + shown; ++i) {
            std::snprintf(buf, sizeof buf, "%-4d ", i);
            indices += buf;
            values += shownEnvelopeValue(e, env.values[i], inst.type);
        }
        if (first + shown < length) {
            values.pop_back();
            values += "...";
        }
        text(c, 65 * W, (28 + 2 * e) * L, indices, COLOUR_DIM);
        text(c, 61 * W, (29 + 2 * e) * L, values, COLOUR_WHITE);

        if (env.loopPoint >= first && env.loopPoint < first + shown) {
            const int x = (65 + 5 * (env.loopPoint - first)) * W - 3;
            c.drawLine(x, (28 + 2 * e) * L, x, (30 + 2 * e) * L - 3, COLOUR_WHITE, 255);
        }
    }
}

void drawInstrumentList(Canvas& c, const ScreenInputs& in) {
    const Song& song = in.song;
    const EditingState& e = in.edit;
    text(c, PANEL_COLUMN * W, 7 * L, "Instruments", COLOUR_LABEL);
    for (int i = 0; i < INSTRUMENTS_SHOWN; ++i) {
        const int n = e.firstShownInstrument + i;
        if (n < 0 || n >= INSTRUMENT_SLOTS) continue;
        const int y = (8 + i) * L;
        if (n == 0) {
            text(c, PANEL_COLUMN * W, y, "    (No instrument)", COLOUR_DIM);
            continue;
        }
        char number[8];
        std::snprintf(number, sizeof number, "%2X: ", n);
        text(c, PANEL_COLUMN * W, y, number + song.instrumentNames[n],
             paletteColour(song.instrumentColours[n]));
    }
    const bool editing = e.mode == EditorMode::InstrumentSelect && e.nameEditing && e.currentInstrument > 0;
    if (editing && in.ticks % 400 < 200) {
        const int x = (58 + e.nameCursor) * W;
        const int y = (8 + e.currentInstrument - e.firstShownInstrument + 1) * L - 2;
        c.drawLine(x, y, x + W, y, COLOUR_WHITE, 255);
    }
}

std::string onOff(bool on) { return on ? "on" : "off"; }

}  // namespace

void drawInfoPanel(Canvas& c, const ScreenInputs& in) {
    // Columns 65-97 of lines 0-5 are free; the indicator stands on line 3 at column 59.
    constexpr int COLUMN = 65, WIDTH = 33;
    const EditingState& e = in.edit;
    auto fitted = [](std::string s, size_t width) {
        if (s.size() > width) s.resize(width);
        return s;
    };
    char buf[96];

    // The unsaved mark leads the name, so that a long name cut short never hides it.
    const std::string name = in.info.songName.empty() ? "(new song)" : in.info.songName;
    text(c, COLUMN * W, 0, fitted(std::string(in.info.unsaved ? "*" : " ") + name, WIDTH), COLOUR_WHITE);

    std::snprintf(buf, sizeof buf, "Octave %d  Step %d", int(e.octave), int(e.step));
    text(c, COLUMN * W, L, buf, COLOUR_LABEL);

    const int inst = e.currentInstrument;
    if (inst > 0 && inst < INSTRUMENT_SLOTS) {
        std::snprintf(buf, sizeof buf, "Instr %02X: ", inst);
        text(c, COLUMN * W, 2 * L, fitted(buf + in.song.instrumentNames[inst], WIDTH),
             paletteColour(in.song.instrumentColours[inst]));
    } else {
        text(c, COLUMN * W, 2 * L, "Instr --", COLOUR_DIM);
    }

    text(c, COLUMN * W, 3 * L, e.record ? "Record ON" : "Record off", e.record ? COLOUR_RED : COLOUR_LABEL);

    if (in.playback.playing) {
        std::snprintf(buf, sizeof buf, "Playing %s  order %02d row %02d",
                      e.playPatternStartRow >= 0 ? "pattern" : "song", int(in.playback.order),
                      int(in.playback.row));
        text(c, COLUMN * W, 4 * L, fitted(buf, WIDTH), COLOUR_WHITE);
    } else {
        text(c, COLUMN * W, 4 * L, "Stopped", COLOUR_LABEL);
    }

    const std::string flags = "Repeat " + onOff(e.blockRepeat) + "  Follow " + onOff(e.cursorFollow) +
                              "  Metro " + onOff(e.metronome);
    text(c, COLUMN * W, 5 * L, fitted(flags, WIDTH), COLOUR_LABEL);
}

uint32_t paletteColour(int32_t colourNumber) {
    if (colourNumber < 0 || colourNumber >= COLOUR_COUNT) return COLOUR_WHITE;
    return INSTRUMENT_PALETTE[colourNumber];
}

int pulseValue(uint32_t ticks) {
    return int((std::sin(((ticks % 500) / 500.0) * 2 * 3.1415) + 1) * 64 + 127);
}

int firstShownRow(int cursorRow) {
    if (cursorRow <= 17) return 0;
    if (cursorRow < 47) return cursorRow - 17;
    return ROWS_PER_PATTERN - PATTERN_ROWS_SHOWN;
}

int firstShownOrder(int currentOrder, int orderCount) {
    if (orderCount <= ORDERS_SHOWN || currentOrder <= 7) return 0;
    return std::min(currentOrder - 7, orderCount - ORDERS_SHOWN);
}

int firstShownEnvelopeIndex(int cursor, int length) {
    if (length <= ENVELOPE_VALUES_SHOWN || cursor <= 3) return 0;
    return std::min(cursor - 3, length - ENVELOPE_VALUES_SHOWN);
}

void drawMainScreen(Canvas& c, const ScreenInputs& in) {
    c.beginFrame(5, 5);
    if (in.backdrop) c.drawImage(*in.backdrop, 0, 0, WINDOW_WIDTH - 10, WINDOW_HEIGHT - 10);

    // The open key list covers everything above the status line, so none of it is drawn.
    const bool covered = in.help && in.help->isOpen();
    if (!covered) {
        const int p = pulseValue(in.ticks);
        drawPatternView(c, in, p);
        drawCursorBars(c, in, p);
        drawOrderList(c, in);
        drawInstrumentPanel(c, in);
        drawInstrumentList(c, in);
    }

    const int opacity = statusOpacity(in.edit.status, in.ticks);
    if (opacity >= 0) text(c, 0, 36 * L + 1, in.edit.status.text, COLOUR_LABEL, opacity);
    if (!covered) {
        text(c, 59 * W, 3 * L, in.song.ntsc ? "NTSC" : " PAL", COLOUR_LABEL);
        drawInfoPanel(c, in);
    }
    if (in.help) in.help->draw(c);

    if (in.edit.record) {
        c.drawRect(rect(-5, -5, WINDOW_WIDTH, 5), COLOUR_RED, 255);
        c.drawRect(rect(-5, WINDOW_HEIGHT - 10, WINDOW_WIDTH, 5), COLOUR_RED, 255);
        c.drawRect(rect(-5, 0, 5, WINDOW_HEIGHT - 10), COLOUR_RED, 255);
        c.drawRect(rect(WINDOW_WIDTH - 10, 0, 5, WINDOW_HEIGHT - 10), COLOUR_RED, 255);
    }
    c.endFrame();
}

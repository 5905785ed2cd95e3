#include "app/PatternEditor.h"

#include "app/CellFormat.h"

namespace {

constexpr int LAST_ROW = ROWS_PER_PATTERN - 1;
constexpr int LAST_CHANNEL = CHANNEL_COUNT - 1;
constexpr int LAST_COLUMN = PATTERN_COLUMN_COUNT - 1;
constexpr int MAX_NOTE = 120;
// Highest note a paste onto the triangle raises a pulse or PCM note to.
constexpr int MAX_TRIANGLE_PASTE_NOTE = 95;

int wrapRow(int row) { return ((row % ROWS_PER_PATTERN) + ROWS_PER_PATTERN) % ROWS_PER_PATTERN; }
int wrapChannel(int channel) { return ((channel % CHANNEL_COUNT) + CHANNEL_COUNT) % CHANNEL_COUNT; }

bool isNote(uint8_t note) { return note != 0 && note != NOTE_OFF; }

// A note pasted onto another channel keeps the pitch it sounds at.
uint8_t adjustedNote(uint8_t note, int from, int to) {
    if (!isNote(note)) return note;
    return uint8_t(sameSoundingNote(note, from, to, 1, MAX_TRIANGLE_PASTE_NOTE));
}

}  // namespace

int hexDigitForKey(uint32_t sym) {
    if (sym >= '0' && sym <= '9') return int(sym - '0');
    if (sym >= 'a' && sym <= 'f') return int(sym - 'a') + 10;
    return -1;
}

PatternEditor::PatternEditor(EditorContext& context) : ctx_(context) {}

template <typename Change>
void PatternEditor::changeCursorCell(const char* what, Change change) {
    PatternCell& cell = cellAtCursor();
    const PatternCursor& c = ctx_.edit.cursor;
    ctx_.history.apply(what,
                       EditTarget::cells(ctx_.currentPatternIndex(), c.channel, c.channel, c.row, c.row),
                       [&] { change(cell); });
}

void PatternEditor::registerHandlers(ActionTable& table) {
    EditingState& e = ctx_.edit;
    auto& h = table.handlers;
    h["move to next channel"] = [this] { nextChannel(); };
    h["move to prev channel"] = [this] { prevChannel(); };
    h["transpose up"] = [this] { transpose(1); };
    h["transpose down"] = [this] { transpose(-1); };
    h["mark selection up"] = [this] { markSelectionVertical(-1); };
    h["mark selection down"] = [this] { markSelectionVertical(1); };
    h["mark selection right"] = [this] { markSelectionRight(); };
    h["mark selection left"] = [this] { markSelectionLeft(); };
    h["mark repeat block up"] = [this] { markRepeatBlock(-1); };
    h["mark repeat block down"] = [this] { markRepeatBlock(1); };
    h["move up"] = [this] { moveRows(-1, true); };
    h["move down"] = [this] { moveRows(1, true); };
    h["move right"] = [this] { moveRight(); };
    h["move left"] = [this] { moveLeft(); };
    h["move up 16 rows"] = [this] { moveRows(-16, false); };
    h["move down 16 rows"] = [this] { moveRows(16, false); };
    h["move to beginning"] = [this] { moveToRow(0); };
    h["move to end"] = [this] { moveToRow(LAST_ROW); };
    h["delete note"] = [this] { deleteNote(); };
    h["delete preceding note"] = [this] { deletePrecedingNote(); };
    h["move column down"] = [this] { moveColumnDown(); };
    h["end selection"] = [&e] { e.selection.marking = false; };
    h["end repeat block"] = [&e] { e.repeatBlock.marking = false; };
    h["mute channel"] = [this] { muteChannel(); };
    h["solo channel"] = [this] { soloChannel(); };
    h["cut selection"] = [this] { copySelection(true); };
    h["copy selection"] = [this] { copySelection(false); };
    h["paste"] = [this] { paste(PasteKind::Normal); };
    h["paste transparent"] = [this] { paste(PasteKind::Transparent); };
    h["paste effects"] = [this] { paste(PasteKind::Effects); };
    h["delete selection"] = [this] { deleteSelection(); };
    h["enter note off"] = [this] { enterNoteOff(); };
}

PatternCell& PatternEditor::cellAtCursor() {
    PatternCursor& c = ctx_.edit.cursor;
    c.row = std::clamp<int32_t>(c.row, 0, LAST_ROW);
    c.channel = std::clamp<int32_t>(c.channel, 0, LAST_CHANNEL);
    return ctx_.currentPattern().at(c.channel, c.row);
}

bool PatternEditor::patternEditorKey(const KeyEvent& event) {
    if (EditorContext::runBinding(ctx_.bindings.patternEditor, event)) return true;
    if (ctx_.edit.cursor.column == COLUMN_NOTE) {
        int32_t offset = 0;
        if (noteOffsetForKey(ctx_.bindings.noteInput, event, offset)) enterNote(event, offset);
    } else {
        const int digit = hexDigitForKey(event.sym);
        if (digit >= 0 && ctx_.edit.record) enterDigit(digit);
    }
    return false;  // the global bindings see note and digit keys too
}

void PatternEditor::advanceCursor() {
    if (ctx_.followingPlayback()) return;
    PatternCursor& c = ctx_.edit.cursor;
    c.row = wrapRow(c.row + std::max(ctx_.edit.step, 0));
}

void PatternEditor::enterNote(const KeyEvent& event, int offset) {
    EditingState& e = ctx_.edit;
    const int note = std::clamp(offset + e.octave * 12 + 1, 1, MAX_NOTE);
    if (!e.record) {
        ctx_.previewNote(event, note);
        return;
    }
    changeCursorCell("note", [&](PatternCell& cell) {
        // Keys play pulse pitches: the triangle's note is the one that sounds the same.
        cell.note = uint8_t(sameSoundingNote(note, CH_PULSE1, e.cursor.channel, 1, MAX_NOTE));
        if (e.currentInstrument > 0 && e.currentInstrument < INSTRUMENT_SLOTS)
            cell.instrument = uint8_t(e.currentInstrument);
    });
    advanceCursor();
    // Sounds at once; the key's release silences it as it does a preview.
    ctx_.soundNote(note);
}

void PatternEditor::enterDigit(int digit) {
    EditingState& e = ctx_.edit;
    const int column = e.cursor.column;
    if (column < COLUMN_INSTRUMENT_HIGH || column > COLUMN_PARAMETER_LOW) return;
    const char* what = column <= COLUMN_INSTRUMENT_LOW ? "instrument number" : "effect";
    changeCursorCell(what, [&](PatternCell& cell) {
        switch (column) {
            case COLUMN_INSTRUMENT_HIGH:
                if (cell.note != NOTE_OFF) cell.instrument = uint8_t((cell.instrument & 0x0F) | (digit << 4));
                break;
            case COLUMN_INSTRUMENT_LOW:
                if (cell.note != NOTE_OFF) cell.instrument = uint8_t((cell.instrument & 0xF0) | digit);
                break;
            case COLUMN_EFFECT:
                cell.fx = uint8_t((cell.fx & 0xF0) | digit);
                break;
            case COLUMN_PARAMETER_HIGH:
                cell.fx = uint8_t((cell.fx & 0x0F) | (digit << 4));
                break;
            default:
                cell.param = uint8_t((cell.param & 0xF0) | digit);
                break;
        }
    });
    advanceCursor();
}

void PatternEditor::moveRows(int delta, bool wrap) {
    if (ctx_.followingPlayback()) return;
    int32_t& row = ctx_.edit.cursor.row;
    row = wrap ? wrapRow(row + delta) : std::clamp(row + delta, 0, LAST_ROW);
}

void PatternEditor::moveToRow(int row) {
    if (ctx_.followingPlayback()) return;
    ctx_.edit.cursor.row = row;
}

void PatternEditor::moveRight() {
    PatternCursor& c = ctx_.edit.cursor;
    if (++c.column > LAST_COLUMN) {
        c.column = COLUMN_NOTE;
        c.channel = wrapChannel(c.channel + 1);
    }
}

void PatternEditor::moveLeft() {
    PatternCursor& c = ctx_.edit.cursor;
    if (--c.column < 0) {
        c.column = LAST_COLUMN;
        c.channel = wrapChannel(c.channel - 1);
    }
}

void PatternEditor::nextChannel() {
    PatternCursor& c = ctx_.edit.cursor;
    c.channel = wrapChannel(c.channel + 1);
    c.column = COLUMN_NOTE;
}

void PatternEditor::prevChannel() {
    PatternCursor& c = ctx_.edit.cursor;
    if (c.column == COLUMN_NOTE) c.channel = wrapChannel(c.channel - 1);
    c.column = COLUMN_NOTE;
}

PatternSelection& PatternEditor::beginMarking() {
    EditingState& e = ctx_.edit;
    PatternSelection& s = e.selection;
    if (!s.marking) {
        // A new selection starts as the cursor's cell.
        s.channel1 = s.channel2 = e.cursor.channel;
        s.row1 = s.row2 = e.cursor.row;
        s.marking = true;
    }
    return s;
}

void PatternEditor::markSelectionVertical(int delta) {
    if (ctx_.followingPlayback()) return;
    EditingState& e = ctx_.edit;
    PatternSelection& s = beginMarking();
    e.cursor.row = wrapRow(e.cursor.row + delta);
    s.row2 = e.cursor.row;
}

void PatternEditor::markSelectionRight() {
    if (ctx_.followingPlayback()) return;
    EditingState& e = ctx_.edit;
    PatternSelection& s = beginMarking();
    e.cursor.column = COLUMN_NOTE;
    e.cursor.channel = wrapChannel(e.cursor.channel + 1);
    s.channel2 = e.cursor.channel;
}

void PatternEditor::markSelectionLeft() {
    if (ctx_.followingPlayback()) return;
    EditingState& e = ctx_.edit;
    PatternSelection& s = beginMarking();
    if (e.cursor.column != COLUMN_NOTE)
        e.cursor.column = COLUMN_NOTE;
    else
        e.cursor.channel = wrapChannel(e.cursor.channel - 1);
    s.channel2 = e.cursor.channel;
}

void PatternEditor::markRepeatBlock(int delta) {
    if (ctx_.followingPlayback()) return;
    EditingState& e = ctx_.edit;
    RepeatBlock& b = e.repeatBlock;
    if (!b.marking) {
        b.pattern = ctx_.currentPatternIndex();
        b.row1 = e.cursor.row;
        b.marking = true;
    }
    e.cursor.row = wrapRow(e.cursor.row + delta);
    b.row2 = e.cursor.row;
    AudioLockGuard guard(ctx_.audioLock);
    ctx_.player.repeatMarkA = std::clamp<int>(b.row1, 0, LAST_ROW);
    ctx_.player.repeatMarkB = std::clamp<int>(b.row2, 0, LAST_ROW);
}

void PatternEditor::deleteNote() {
    changeCursorCell("note delete", [](PatternCell& cell) {
        cell.note = 0;
        cell.instrument = 0;
    });
    advanceCursor();
}

void PatternEditor::deletePrecedingNote() {
    PatternCursor& c = ctx_.edit.cursor;
    cellAtCursor();  // brings the cursor into range
    if (c.row == 0) return;
    const int pattern = ctx_.currentPatternIndex();
    ctx_.history.apply("row delete", EditTarget::cells(pattern, c.channel, c.channel, c.row - 1, LAST_ROW),
                       [&] {
                           Pattern& p = ctx_.song.patterns[pattern];
                           for (int r = c.row; r <= LAST_ROW; ++r)
                               p.at(c.channel, r - 1) = p.at(c.channel, r);
                           p.at(c.channel, LAST_ROW) = PatternCell{};
                       });
    --c.row;
}

void PatternEditor::moveColumnDown() {
    PatternCursor& c = ctx_.edit.cursor;
    cellAtCursor();
    const int pattern = ctx_.currentPatternIndex();
    ctx_.history.apply("row insert", EditTarget::cells(pattern, c.channel, c.channel, c.row, LAST_ROW), [&] {
        Pattern& p = ctx_.song.patterns[pattern];
        for (int r = LAST_ROW; r > c.row; --r) p.at(c.channel, r) = p.at(c.channel, r - 1);
        p.at(c.channel, c.row) = PatternCell{};
    });
}

void PatternEditor::enterNoteOff() {
    if (!ctx_.edit.record) return;
    changeCursorCell("note off", [](PatternCell& cell) {
        cell.note = NOTE_OFF;
        cell.instrument = 0;
    });
    advanceCursor();
}

namespace {

struct Rect {
    int channel1, channel2, row1, row2;
};

EditTarget targetOf(int pattern, const Rect& r) {
    return EditTarget::cells(pattern, r.channel1, r.channel2, r.row1, r.row2);
}

Rect selectionRect(const PatternSelection& s) {
    auto fit = [](int v, int hi) { return std::clamp(v, 0, hi); };
    return {fit(std::min(s.channel1, s.channel2), LAST_CHANNEL),
            fit(std::max(s.channel1, s.channel2), LAST_CHANNEL), fit(std::min(s.row1, s.row2), LAST_ROW),
            fit(std::max(s.row1, s.row2), LAST_ROW)};
}

}  // namespace

void PatternEditor::transpose(int delta) {
    const Rect r = selectionRect(ctx_.edit.selection);
    const int pattern = ctx_.currentPatternIndex();
    ctx_.history.apply("transpose", targetOf(pattern, r), [&] {
        Pattern& p = ctx_.song.patterns[pattern];
        for (int ch = r.channel1; ch <= r.channel2; ++ch)
            for (int row = r.row1; row <= r.row2; ++row) {
                uint8_t& note = p.at(ch, row).note;
                // Notes stop at 120, the highest the player knows.
                if (isNote(note)) note = uint8_t(std::clamp(note + delta, 1, MAX_NOTE));
            }
    });
}

void PatternEditor::setMask(int mask) {
    AudioLockGuard guard(ctx_.audioLock);
    ctx_.player.channelMask = mask & 31;
    ctx_.player.maskChanged = true;
}

void PatternEditor::muteChannel() {
    const int bit = 1 << std::clamp<int>(ctx_.edit.cursor.channel, 0, LAST_CHANNEL);
    int mask;
    {
        AudioLockGuard guard(ctx_.audioLock);
        mask = ctx_.player.channelMask;
    }
    setMask(mask ^ bit);
}

void PatternEditor::soloChannel() {
    const int bit = 1 << std::clamp<int>(ctx_.edit.cursor.channel, 0, LAST_CHANNEL);
    int mask;
    {
        AudioLockGuard guard(ctx_.audioLock);
        mask = ctx_.player.channelMask;
    }
    setMask(mask == bit ? 31 : bit);
}

void PatternEditor::copySelection(bool cut) {
    const Rect r = selectionRect(ctx_.edit.selection);
    PatternClipboard& clip = ctx_.edit.clipboard;
    const int pattern = ctx_.currentPatternIndex();
    const Pattern& p = ctx_.song.patterns[pattern];
    clip.height = r.row2 - r.row1 + 1;
    clip.width = r.channel2 - r.channel1 + 1;
    int i = 0;
    for (int row = r.row1; row <= r.row2; ++row)
        for (int ch = r.channel1; ch <= r.channel2; ++ch, ++i) {
            clip.cells[i] = p.at(ch, row);
            clip.sourceChannel[i] = ch;
        }
    if (cut) clearRect("block cut", pattern, r.channel1, r.channel2, r.row1, r.row2);
}

void PatternEditor::clearRect(const char* what, int pattern, int channel1, int channel2, int row1, int row2) {
    ctx_.history.apply(what, EditTarget::cells(pattern, channel1, channel2, row1, row2), [&] {
        Pattern& p = ctx_.song.patterns[pattern];
        for (int row = row1; row <= row2; ++row)
            for (int ch = channel1; ch <= channel2; ++ch) p.at(ch, row) = PatternCell{};
    });
}

void PatternEditor::deleteSelection() {
    const Rect r = selectionRect(ctx_.edit.selection);
    clearRect("block delete", ctx_.currentPatternIndex(), r.channel1, r.channel2, r.row1, r.row2);
}

void PatternEditor::paste(PasteKind kind) {
    const PatternClipboard& clip = ctx_.edit.clipboard;
    // The clipboard holds at most 64 rows of 5 channels.
    const int height = std::clamp<int>(clip.height, 0, ROWS_PER_PATTERN);
    const int width = std::clamp<int>(clip.width, 0, CHANNEL_COUNT);
    if (height == 0 || width == 0) return;
    cellAtCursor();
    const PatternCursor& c = ctx_.edit.cursor;
    const int pattern = ctx_.currentPatternIndex();
    const char* what = kind == PasteKind::Normal        ? "block paste"
                       : kind == PasteKind::Transparent ? "transparent paste"
                                                        : "effects paste";
    const EditTarget target =
        EditTarget::cells(pattern, c.channel, c.channel + width - 1, c.row, c.row + height - 1);
    ctx_.history.apply(what, target, [&] { pasteInto(ctx_.song.patterns[pattern], kind); });
}

void PatternEditor::pasteInto(Pattern& p, PasteKind kind) {
    const PatternClipboard& clip = ctx_.edit.clipboard;
    const int height = std::clamp<int>(clip.height, 0, ROWS_PER_PATTERN);
    const int width = std::clamp<int>(clip.width, 0, CHANNEL_COUNT);
    const PatternCursor& c = ctx_.edit.cursor;
    for (int i = 0; i < height && c.row + i < ROWS_PER_PATTERN; ++i)
        for (int j = 0; j < width; ++j) {
            const int target = c.channel + j;
            if (target > LAST_CHANNEL) continue;
            const PatternCell& from = clip.cells[i * width + j];
            PatternCell& to = p.at(target, c.row + i);
            switch (kind) {
                case PasteKind::Normal:
                    to = from;
                    to.note = adjustedNote(from.note, clip.sourceChannel[i * width + j], target);
                    break;
                case PasteKind::Transparent:
                    if (!isEmptyCell(from)) to = from;
                    break;
                case PasteKind::Effects:
                    to.fx = from.fx;
                    to.param = uint8_t((to.param & 0xF0) | (from.param & 0x0F));
                    break;
            }
        }
}

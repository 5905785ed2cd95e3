#include "app/InstrumentList.h"

#include "app/InstrumentEditor.h"

InstrumentList::InstrumentList(EditorContext& context, InstrumentEditor& instrumentEditor)
    : ctx_(context), instrumentEditor_(instrumentEditor) {}

void InstrumentList::registerHandlers(ActionTable& selectTable, ActionTable& nameTable) {
    EditingState& e = ctx_.edit;
    auto& s = selectTable.handlers;
    s["edit instr name"] = [&e] { e.nameEditing = true; };
    s["move up"] = [this] { moveBy(-1); };
    s["move down"] = [this] { moveBy(1); };
    s["move up 4 instruments"] = [this] { moveBy(-4); };
    s["move down 4 instruments"] = [this] { moveBy(4); };
    s["move to beginning"] = [this] { moveToBeginning(); };
    s["move to end"] = [this] { moveToEnd(); };
    s["copy to clipboard"] = [this] { instrumentEditor_.copyInstrumentToClipboard(); };
    s["paste from clipboard"] = [this] { instrumentEditor_.pasteInstrumentFromClipboard(); };
    s["previous color"] = [this] { changeColour(-1); };
    s["next color"] = [this] { changeColour(1); };

    auto& n = nameTable.handlers;
    n["end name editing"] = [&e] { e.nameEditing = false; };
    n["move right"] = [this] { moveNameCursor(1); };
    n["move left"] = [this] { moveNameCursor(-1); };
    n["erase preceding char"] = [this] { erasePrecedingChar(); };
    n["erase following char"] = [this] { eraseFollowingChar(); };
    n["tabulate"] = [this] { tabulate(); };
    n["move to beginning"] = [&e] { e.nameCursor = 0; };
    n["move to end"] = [this, &e] { e.nameCursor = int(currentName().size()); };
}

bool InstrumentList::instrumentListKey(const KeyEvent& event) {
    if (!ctx_.edit.nameEditing) {
        if (EditorContext::runBinding(ctx_.bindings.instrumentSelect, event)) return true;
        return ctx_.previewNoteKey(event);
    }
    if (EditorContext::runBinding(ctx_.bindings.instrumentNameEditor, event)) return true;
    const uint16_t c = event.unicode;
    if (c >= 32 && c < 127) {  // printable ASCII, space to "~"
        typeCharacter(char(c));
        return true;
    }
    return false;
}

void InstrumentList::selectInstrument(int n) {
    EditingState& e = ctx_.edit;
    n = std::clamp(n, 0, INSTRUMENT_SLOTS - 1);
    e.currentInstrument = n;
    e.nameCursor = int(ctx_.song.instrumentNames[n].size());
    instrumentEditor_.fitEnvelopeCursors();
    if (n < e.firstShownInstrument) e.firstShownInstrument = n;
    if (n >= e.firstShownInstrument + INSTRUMENT_LIST_LINES)
        e.firstShownInstrument = n - (INSTRUMENT_LIST_LINES - 1);
}

void InstrumentList::moveBy(int delta) { selectInstrument(ctx_.edit.currentInstrument + delta); }

void InstrumentList::moveToBeginning() {
    selectInstrument(0);
    ctx_.edit.firstShownInstrument = 0;
}

void InstrumentList::moveToEnd() {
    selectInstrument(INSTRUMENT_SLOTS - 1);
    ctx_.edit.firstShownInstrument = INSTRUMENT_SLOTS - INSTRUMENT_LIST_LINES;
}

void InstrumentList::changeColour(int delta) {
    const int n = ctx_.edit.currentInstrument;
    if (n <= 0 || n >= INSTRUMENT_SLOTS) return;
    ctx_.history.apply("colour", EditTarget::instrument(n), [&] {
        int32_t& colour = ctx_.song.instrumentColours[n];
        colour = ((colour + delta) % COLOUR_COUNT + COLOUR_COUNT) % COLOUR_COUNT;
    });
}

std::string& InstrumentList::currentName() {
    return ctx_.song.instrumentNames[std::clamp<int>(ctx_.edit.currentInstrument, 0, INSTRUMENT_SLOTS - 1)];
}

int InstrumentList::nameCursor() {
    int32_t& cursor = ctx_.edit.nameCursor;
    cursor = std::clamp<int32_t>(cursor, 0, int32_t(currentName().size()));
    return cursor;
}

void InstrumentList::changeName(const std::function<void(std::string&)>& change) {
    const int n = std::clamp<int>(ctx_.edit.currentInstrument, 0, INSTRUMENT_SLOTS - 1);
    ctx_.history.apply("name", EditTarget::instrument(n), [&] { change(ctx_.song.instrumentNames[n]); });
}

void InstrumentList::insertCharacter(std::string& name, char c) {
    if (ctx_.edit.currentInstrument == 0 || name.size() >= size_t(MAX_NAME_LENGTH)) return;
    name.insert(size_t(nameCursor()), 1, c);
    ++ctx_.edit.nameCursor;
}

void InstrumentList::typeCharacter(char c) {
    changeName([&](std::string& name) { insertCharacter(name, c); });
}

void InstrumentList::moveNameCursor(int delta) {
    ctx_.edit.nameCursor = nameCursor() + delta;
    nameCursor();  // back within 0 to the name's length
}

void InstrumentList::erasePrecedingChar() {
    const int cursor = nameCursor();
    if (cursor == 0 || ctx_.edit.currentInstrument == 0) return;
    changeName([&](std::string& name) { name.erase(size_t(cursor - 1), 1); });
    --ctx_.edit.nameCursor;
}

void InstrumentList::eraseFollowingChar() {
    const int cursor = nameCursor();
    if (size_t(cursor) >= currentName().size()) return;
    changeName([&](std::string& name) { name.erase(size_t(cursor), 1); });
}

void InstrumentList::tabulate() {
    // Instrument 0 is no instrument; its name is never edited.
    if (ctx_.edit.currentInstrument == 0) return;
    // One step of the history for the four spaces.
    changeName([&](std::string& name) {
        for (int i = 0; i < 4; ++i) insertCharacter(name, ' ');
    });
}

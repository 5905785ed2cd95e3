#pragma once
// The instrument list: chooses the current instrument and each instrument's display colour, and
// in its name-editing state edits the current instrument's name (at most 30 characters).

#include "app/EditorContext.h"

class InstrumentEditor;

constexpr int INSTRUMENT_LIST_LINES = 16;

class InstrumentList {
  public:
    InstrumentList(EditorContext& context, InstrumentEditor& instrumentEditor);

    // The "instrument select" handlers go into selectTable, the name editor's into nameTable.
    void registerHandlers(ActionTable& selectTable, ActionTable& nameTable);

    // While a name is edited: the name editor's bindings, then printable characters (taken
    // whether or not they fit). Otherwise: the list's bindings, then note keys (previewed).
    bool instrumentListKey(const KeyEvent& event);

    // Makes instrument n (clamped to 0-255) current: the name cursor goes to the end of its
    // name, the instrument editor's cursors are fitted, and the list scrolls to show it.
    void selectInstrument(int n);
    // selectInstrument of the current instrument + delta, clamped to 0-255.
    void moveBy(int delta);
    void moveToBeginning();
    void moveToEnd();
    // Colour of the current instrument (not 0) one step around the 17-colour palette.
    void changeColour(int delta);

    // Name editor.
    void typeCharacter(char c);  // inserted at the cursor while the name has room
    void moveNameCursor(int delta);
    void erasePrecedingChar();
    void eraseFollowingChar();
    void tabulate();  // up to 4 spaces, stopping at 30 characters

  private:
    std::string& currentName();
    int nameCursor();  // the cursor brought within the current name
    // One step of the history that edits the current instrument's name.
    void changeName(const std::function<void(std::string&)>& change);
    void insertCharacter(std::string& name, char c);

    EditorContext& ctx_;
    InstrumentEditor& instrumentEditor_;
};

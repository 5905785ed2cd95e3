#pragma once
// The pattern editor: edits the pattern the current order names, 64 rows by 5 channels. Keys its
// bindings leave enter notes (note column) or hexadecimal digits (instrument and effect columns)
// while record is on; with record off note keys only sound. Such keys are then also left to the
// global bindings.

#include "app/EditorContext.h"

class PatternEditor {
  public:
    explicit PatternEditor(EditorContext& context);

    void registerHandlers(ActionTable& table);

    // The editor's bindings first (taken); else note or digit entry, reported as not taken.
    bool patternEditorKey(const KeyEvent& event);

    // row = (row + step) mod 64, unless the cursor follows a playing song.
    void advanceCursor();

    // Cursor movement; the row moves (and markings) are refused while following playback.
    void moveRows(int delta, bool wrap);
    void moveToRow(int row);
    void moveRight();
    void moveLeft();
    void nextChannel();
    void prevChannel();

    // Starts a selection at the cursor unless one is being marked; returns it.
    PatternSelection& beginMarking();
    void markSelectionVertical(int delta);
    void markSelectionRight();
    void markSelectionLeft();
    void markRepeatBlock(int delta);

    void deleteNote();
    void deletePrecedingNote();
    void moveColumnDown();
    void enterNoteOff();
    void transpose(int delta);  // notes within the selection, kept in 1-120
    void muteChannel();
    void soloChannel();

    void copySelection(bool cut);
    void deleteSelection();
    enum class PasteKind { Normal, Transparent, Effects };
    void paste(PasteKind kind);

  private:
    PatternCell& cellAtCursor();
    // One step of the history that changes the cell under the cursor.
    template <typename Change>
    void changeCursorCell(const char* what, Change change);
    void clearRect(const char* what, int pattern, int channel1, int channel2, int row1, int row2);
    void pasteInto(Pattern& pattern, PasteKind kind);
    void enterNote(const KeyEvent& event, int offset);
    void enterDigit(int digit);
    void setMask(int mask);

    EditorContext& ctx_;
};

// The hexadecimal digit of key symbols 0-9 and a-f, or -1.
int hexDigitForKey(uint32_t sym);

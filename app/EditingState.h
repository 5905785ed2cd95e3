#pragma once
// The editing state of the program: which editor has the keyboard and where each editor's cursor
// stands. One instance lives for the whole run; the editors change it and the main screen only
// reads it. Start values are those of a freshly started program.

#include <cstdint>
#include <string>

#include "app/StatusMessage.h"
#include "song/Song.h"

// Which editor receives keys first. Any other value sends every key straight to the global
// bindings, so the type is kept open (static_cast from any int32_t is allowed).
enum class EditorMode : int32_t {
    Pattern = 0,
    Order = 1,
    InstrumentEditor = 2,
    InstrumentSelect = 3,
};

// Field of a channel the pattern cursor is on.
enum PatternColumn : int32_t {
    COLUMN_NOTE = 0,
    COLUMN_INSTRUMENT_HIGH = 1,
    COLUMN_INSTRUMENT_LOW = 2,
    COLUMN_EFFECT = 3,
    COLUMN_PARAMETER_HIGH = 4,
    COLUMN_PARAMETER_LOW = 5,
};
constexpr int PATTERN_COLUMN_COUNT = 6;

struct PatternCursor {
    int32_t row = 0;      // 0-63
    int32_t channel = 0;  // 0-4
    int32_t column = COLUMN_NOTE;
};

// Corners in any order; the rectangle runs from the smaller to the larger of each pair.
struct PatternSelection {
    int32_t channel1 = 0;
    int32_t channel2 = 0;
    int32_t row1 = 0;
    int32_t row2 = 0;
    bool marking = false;  // true while the selection is being extended
};

// The rows the player repeats when block repeat is on; rows in any order.
struct RepeatBlock {
    int32_t pattern = 0;
    int32_t row1 = 0;
    int32_t row2 = ROWS_PER_PATTERN - 1;
    bool marking = false;
};

// Cells copied from a pattern: row after row, one cell per copied channel from left to right.
struct PatternClipboard {
    PatternCell cells[ROWS_PER_PATTERN * CHANNEL_COUNT] = {};
    int32_t sourceChannel[ROWS_PER_PATTERN * CHANNEL_COUNT] = {};
    int32_t height = 0;  // rows
    int32_t width = 0;   // channels
};

struct EditingState {
    EditorMode mode = EditorMode::Pattern;

    // Pattern editor.
    PatternCursor cursor;
    int32_t octave = 3;  // 0-9
    int32_t step = 1;    // 0-32 rows the cursor advances after an entry
    bool record = false;
    bool cursorFollow = true;
    bool blockRepeat = false;
    bool metronome = false;
    int32_t playPatternStartRow = -1;  // -1 none, else 0-63
    PatternSelection selection;
    RepeatBlock repeatBlock;
    PatternClipboard clipboard;

    // Order editor: the order whose pattern the pattern editor edits.
    int32_t currentOrder = 0;

    // Instrument list and name editor.
    int32_t currentInstrument = 1;  // 0 = no instrument
    int32_t firstShownInstrument = 0;
    int32_t nameCursor = 0;  // 0 to the name's length
    bool nameEditing = false;

    // Instrument editor: the envelope under the cursor (0 Volume, 1 Note, 2 Duty/Mode,
    // 3 Fine-tune), or the type field; one value cursor per envelope, kept across instruments.
    int32_t currentEnvelope = 0;
    bool typeFieldSelected = false;
    int32_t envelopeCursor[ENVELOPE_COUNT] = {};

    StatusMessage status;

    // The file the song was last loaded from or saved to; empty for a song never saved.
    std::string songPath;
};

#pragma once
// The single screen of the program, drawn completely once per main-loop pass from the song, the
// editing state and the player's position. Drawing only reads; nothing here changes state.
//
// Layout units: a column is 8 pixels, a line 16 pixels, both from an origin 5 pixels inside the
// window's top left corner.

#include <cstdint>
#include <string>

#include "app/Canvas.h"
#include "app/EditingState.h"
#include "song/Song.h"

// What the screen shows of the player. Filled from the player by the main loop.
struct PlaybackView {
    bool playing = false;
    int32_t order = 0;            // order being played
    int32_t row = 0;              // row being played
    uint32_t channelMask = 0x1F;  // bit k set when channel k sounds
};

class HelpOverlay;

// What the info panel shows beside the state it reads from the editing state and the player.
struct InfoPanelView {
    std::string songName;  // file name of the song, without its folder; empty for a new song
    bool unsaved = false;  // the song differs from the file it was loaded from or saved to
};

struct ScreenInputs {
    const Song& song;
    const EditingState& edit;
    PlaybackView playback;
    std::string rowNumbering;         // the "row numbering" setting; exactly "hex" numbers rows in hex
    uint32_t ticks = 0;               // clock ticks (ms) of this frame: pulsing, blinking, status fade
    const Image* backdrop = nullptr;  // drawn first when given
    InfoPanelView info;
    const HelpOverlay* help = nullptr;  // drawn over everything when given and open
};

// Named colours (0xBBGGRR).
constexpr uint32_t COLOUR_WHITE = 0xFFFFFF;
constexpr uint32_t COLOUR_LABEL = 0xA9DAA3;
constexpr uint32_t COLOUR_DIM = 0xD5AB96;
constexpr uint32_t COLOUR_EFFECT = 0xD56E2C;
constexpr uint32_t COLOUR_ROW_GREY = 0xC8C8C8;
constexpr uint32_t COLOUR_SEPARATOR = 0x646464;
constexpr uint32_t COLOUR_RED = 0x0000FF;
constexpr uint32_t COLOUR_CURSOR_BAR = 0xA00000;

extern const uint32_t INSTRUMENT_PALETTE[COLOUR_COUNT];

constexpr int PATTERN_ROWS_SHOWN = 35;
constexpr int ORDERS_SHOWN = 15;
constexpr int INSTRUMENTS_SHOWN = 16;
constexpr int ENVELOPE_VALUES_SHOWN = 6;

// The info panel at the top right, beside the NTSC/PAL indicator: song, octave, step,
// instrument, record mode, play state, block repeat, cursor follow and metronome.
void drawInfoPanel(Canvas& canvas, const ScreenInputs& in);

// Draws the whole screen and ends the frame.
void drawMainScreen(Canvas& canvas, const ScreenInputs& in);

// The pulse of the active cursor and header, 127-255, one cycle every 500 ms.
int pulseValue(uint32_t ticks);

// First pattern row shown for a cursor row: keeps the cursor on the 18th shown line except near
// the pattern's ends.
int firstShownRow(int cursorRow);

// First order shown in the 15-entry order list.
int firstShownOrder(int currentOrder, int orderCount);

// First envelope index shown among the 6 values of the instrument panel.
int firstShownEnvelopeIndex(int cursor, int length);

// Palette colour of an instrument's colour number; numbers outside 0-16 give white.
uint32_t paletteColour(int32_t colourNumber);

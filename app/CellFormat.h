#pragma once
// The texts of one pattern cell as the pattern view shows them. Empty fields are the code page
// 437 middle dot, byte 0xFA.

#include <string>

#include "song/Song.h"

constexpr char EMPTY_FIELD = char(0xFA);
constexpr char NOISE_MARK = char(0xC4);  // the horizontal bar around a noise period digit

struct CellText {
    std::string note;        // 3 characters: "C-4", "OFF", "ABS", "PCM", dots, bar-digit-bar
    std::string instrument;  // 2 characters: "%02X" or dots
    std::string effect;      // 1 character: "%X" or a dot
    std::string parameter;   // 2 characters: "%X%X" or dots
};

// Formats the cell of the given channel (0-4). The song supplies the instrument the cell names:
// its type on the DPCM channel, and its Note envelope on the other four channels (a cell whose
// instrument has no relative note value shows "ABS").
CellText formatCell(const PatternCell& cell, int channel, const Song& song);

// The note that sounds on channel `to` as `note` (1-120) does on channel `from`. The triangle
// sounds an octave below the pulses and the DPCM channel at the same note (at one timer period
// its timer runs twice as fast as a pulse's, through a 32-step wave to their 8), so a note
// moved from the triangle to one of those goes an octave down, to `lowest` at the least, and a
// note moved the other way an octave up, to `highest` at the most. The noise channel has no
// pitch to keep: notes to or from it stay as they are.
int sameSoundingNote(int note, int from, int to, int lowest, int highest);

// True when the instrument's Note envelope holds no relative value (bit 7 clear); an empty
// envelope counts as such.
bool noteEnvelopeIsAbsolute(const Instrument& instrument);

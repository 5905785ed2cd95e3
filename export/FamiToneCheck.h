#pragma once
// What the FamiTone library will not play as the song is written. The converter that reads the
// FamiTone text refuses a module with a cell or sequence outside its limits (and names only the
// first), and the export itself leaves out what the converter has no place for. This check finds
// all of it in one pass, so a composer can mend the song before handing the file on.
//
// The converter's limits: effects Bxx (a loop back to this order or an earlier one), Dxx and Fxx
// only; notes C-1 to D-6 as the text names them, and on the DPCM channel the sample notes C-3 to
// B-3; instruments 00-3F of the text (slots 01-40); sequence values -64 to 63.

#include <string>
#include <vector>

#include "song/Song.h"

enum class FamiToneProblem {
    // Refused by the converter.
    Effect,              // an effect command other than B, D or F
    ForwardJump,         // Bxx to a later order
    NoteRange,           // a note outside C-1..D-6 of the text
    SampleNoteRange,     // DPCM channel: a note without instrument outside C-3..B-3
    InstrumentRange,     // a cell's instrument beyond slot 40
    TooManyInstruments,  // the text holds more than 64 instruments
    SequenceRange,       // a sequence value outside -64..63
    // Written, but played otherwise.
    SampleNote,    // DPCM channel: a note without instrument, played as the table's sample
    NoiseNoteOff,  // noise note 254, written one up as a note off
    AbsoluteNote,  // absolute values of a Note envelope, written as no offset
    // Left out by the export.
    NotASample,  // DPCM channel: an instrument played in software
    TableFull,   // DPCM channel: a DPCM pair past the twelfth
};

struct FamiToneFinding {
    FamiToneProblem problem;
    // A cell's place: order entry, pattern, row and channel; all -1 for an instrument finding.
    int order = -1;
    int pattern = -1;
    int row = -1;
    int channel = -1;
    int instrument = 0;  // the instrument slot an instrument finding is about
    std::string what;    // a few words, e.g. "effect 4 (vibrato) is not played"

    bool isCell() const { return order >= 0; }
    // "order 02 row 1F Pulse 2: effect 4 (vibrato) is not played", "instrument 03: ...".
    std::string text() const;
};

// Every problem of the song's FamiTone export, each once: instrument findings first (by slot),
// then cells in the order the text is written. A cell of a pattern that several order entries
// play is reported at the first entry where the problem shows.
std::vector<FamiToneFinding> checkFamiTone(const Song& song);

// Distinct pattern cells, and distinct instruments, among the findings.
int famiToneCellCount(const std::vector<FamiToneFinding>& findings);
int famiToneInstrumentCount(const std::vector<FamiToneFinding>& findings);

// "3 cells and 1 instrument will not play as written"; empty when there are no findings.
std::string famiToneSummary(const std::vector<FamiToneFinding>& findings);

#pragma once
// FamiTone text: a plain-text module description for an external NES music converter. It is a
// straight translation of the Song (no player run): a module header, one instrument block per
// instrument, the instruments' envelopes as four kinds of sequence, the patterns of the order
// list unrolled frame by frame, and a DPCM sample table.
//
// Instruments 1..lastUsedInstrument(song) are written, numbered from 0 (text number = slot - 1).
// On the DPCM channel each distinct (DPCM instrument, rate) pair becomes a sample of its own,
// numbered 0-11 in order of first appearance; the converter's table holds twelve, so cells that
// would need a thirteenth pair lose their note and instrument (their effect stays).

#include <string>
#include <vector>

#include "song/Song.h"

constexpr int FAMITONE_MAX_SAMPLES = 12;
// The converter's DPCM table maps notes to samples: sample s is played by note 37 + s, so the
// twelve samples are the notes C-3 to B-3 of the text.
constexpr int FAMITONE_FIRST_SAMPLE_NOTE = 37;

// The whole text, lines ended by "\n", every section closed by an empty line.
std::string exportFamiTone(const Song& song);

// Writes exportFamiTone(song) to `path`. The text goes to a temporary file beside `path`, is
// flushed to disk and renamed over `path`, so a failed export leaves any earlier file as it was.
// True only when every byte was written.
bool exportFamiTone(const Song& song, const std::string& path);

// Text of one pattern cell as the converter reads it, e.g. "C#3 0a . A3F"; an empty cell is
// "... .. . ...". No channel-specific conversion is applied here.
std::string famiToneCellText(const PatternCell& cell);

// The numbers a sequence line holds for an envelope: its values before the END_MARKER, each
// converted for its kind (volume v >> 4, note offset v - 64 with absolute notes as 0, fine-tune
// as the change from the previous value, duty v >> 6).
std::vector<int> famiToneSequence(const Envelope& envelope, EnvelopeKind kind);

// Why a written cell lost its note and instrument.
enum class FamiToneDrop {
    None,
    NotASample,  // DPCM channel, instrument of a type the converter cannot play there
    TableFull,   // DPCM channel, DPCM instrument after the twelve samples were taken
};

struct FamiToneCell {
    PatternCell written;  // the cell as the text shows it
    FamiToneDrop drop = FamiToneDrop::None;
};

// The frames of the text, one per order entry, and the channel conversions of their cells.
// The DPCM sample table fills as cells are converted, so cell() must be called in the order
// the text is written: frame by frame, row by row, channel by channel.
class FamiToneFrames {
  public:
    explicit FamiToneFrames(const Song& song);

    int count() const { return frames_; }
    // The pattern frame f plays; an order entry naming no pattern plays an empty one.
    const Pattern& pattern(int frame) const;
    // The cell of the pattern as written: noise notes one semitone up, DPCM-channel samples as
    // notes of the table, instruments the converter cannot play there taken out.
    FamiToneCell cell(int frame, int row, int channel);

    int sampleCount() const { return samples_; }
    int sampleSlot(int s) const { return pairs_[s].slot; }
    int sampleRate(int s) const { return pairs_[s].rate; }

  private:
    struct Pair {
        int slot = 0;
        int rate = 0;
    };
    const Song& song_;
    int frames_;
    Pair pairs_[FAMITONE_MAX_SAMPLES];
    int samples_ = 0;
};

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

#include "song/Song.h"

constexpr int FAMITONE_MAX_SAMPLES = 12;

// The whole text, lines ended by "\n", every section closed by an empty line.
std::string exportFamiTone(const Song& song);

// Writes exportFamiTone(song) to `path`. The text goes to a temporary file beside `path`, is
// flushed to disk and renamed over `path`, so a failed export leaves any earlier file as it was.
// True only when every byte was written.
bool exportFamiTone(const Song& song, const std::string& path);

// Text of one pattern cell as the converter reads it, e.g. "C#3 0a . A3F"; an empty cell is
// "... .. . ...". No channel-specific conversion is applied here.
std::string famiToneCellText(const PatternCell& cell);

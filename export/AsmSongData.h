#pragma once
// Song data as assembler source for a NES sound driver: one file per song (header, per-channel
// order lists and pattern pointers, patterns of command bytes), the instrument, envelope and DPCM
// pointer tables shared by all songs (appended to the main output file) and one file of DPCM
// sample bytes. Equal instruments, envelopes, samples and patterns are written once and shared.

#include <stdexcept>
#include <string>
#include <vector>

#include "export/AsmNames.h"
#include "export/Capture.h"

struct AsmOutputFile {
    std::string name;
    std::string text;
};

struct SongDataText {
    std::string mainText;              // to append to the main output file
    std::vector<AsmOutputFile> files;  // one per song in order, then the DPCM file
};

// The DMC reads samples from $C000-$FFFF: all samples together, each starting at a 64-byte
// boundary, must fit these 16384 bytes.
constexpr int DPCM_DATA_LIMIT = 16384;

// Builds the texts for the captured songs, asking `labels` for every label in the order they
// appear. `lowOperator` is "<" or "low", the assembler's low-byte operator. Throws
// std::runtime_error, before anything could be written, when the data cannot be expressed in the
// driver's format: samples beyond the DPCM limit, more than 255 stretches in a song, more than 256
// instruments or 128 samples, or a command naming an instrument missing from the tables.
SongDataText writeSongData(LabelTable& labels, const std::string& lowOperator,
                           const std::vector<CapturedSong>& songs, const OutputNames& output);

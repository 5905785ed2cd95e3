#pragma once
// The instrument file (.zci): a 16-byte magic "ZephyrcantorInst", a version byte and one
// instrument record as in the song file. Versions 0-4 are read, 4 is written. The record written
// ends with a colour byte that the reader never reads: loading keeps the slot's colour.
//
// Record parts by version: Fine-tune envelope from 1, type and PCM sample from 3, DPCM sample
// from 4. Versions 0 and 1 hold Volume and Duty/Mode in the old scale and are converted.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "song/Song.h"
#include "song/SongLoadHooks.h"

constexpr char INSTRUMENT_MAGIC[16] = {'Z', 'e', 'p', 'h', 'y', 'r', 'c', 'a',
                                       'n', 't', 'o', 'r', 'I', 'n', 's', 't'};
constexpr int INSTRUMENT_FILE_VERSION = 4;
constexpr int INSTRUMENT_HEADER_BYTES = 17;

// The record parts a file of this version holds (the colour is never read).
struct InstrumentRecordFlags;
InstrumentRecordFlags instrumentRecordFlags(int version);

// The bytes of a version-4 file holding instrument `slot` (1-255).
std::vector<uint8_t> serializeInstrument(const Song& song, int slot);
// Writes instrument `slot` to `path` (temporary file beside it, fsync, rename). False when slot
// is not 1-255 (no file is written) or when the file could not be written completely.
bool saveInstrument(const Song& song, int slot, const std::string& path);

// Loads an instrument file held in memory into `slot`. False, with the slot untouched, when slot
// is not 1-255, fewer than 17 bytes are given, the magic differs or the version is 5 or more.
// Parts the version does not have (type, samples) stay as they were; the colour is never read.
// When fileVersion is given it receives the version byte of an accepted file.
bool loadInstrument(Song& song, int slot, const uint8_t* data, size_t size, SongLoadHooks& hooks,
                    int* fileVersion = nullptr);
// Reads the file at `path` and loads it as above; false also when the file cannot be read.
bool loadInstrument(Song& song, int slot, const std::string& path, SongLoadHooks& hooks,
                    int* fileVersion = nullptr);

#pragma once
// The song file (.zcm): a 16-byte magic "ZephyrcantorTune", a version byte, the instruments in
// use, the order list, the patterns in use and the TV system. Versions 0-11 are read, 11 is
// written. All numbers are little-endian.
//
// Loading is tolerant of a file cut short after its header (the song keeps what could be read;
// missing bytes read as 0) and never reads or writes outside its buffers. Counts that exceed the
// song's capacities are clamped while their bytes are consumed: at most 64 orders and 64 patterns
// are kept, order entries above 63 become 63, envelopes keep at most 250 values.

#include "song/AtomicFile.h"
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "song/ByteReader.h"
#include "song/Song.h"
#include "song/SongLoadHooks.h"

constexpr char SONG_MAGIC[16] = {'Z', 'e', 'p', 'h', 'y', 'r', 'c', 'a',
                                 'n', 't', 'o', 'r', 'T', 'u', 'n', 'e'};
constexpr int SONG_FILE_VERSION = 11;
constexpr int SONG_HEADER_BYTES = 20;  // magic, version, instrument, order and pattern counts

// Which optional parts an instrument record has; derived from the file's version.
struct InstrumentRecordFlags {
    bool hasFineTune = true;
    bool hasType = true;
    bool hasDpcm = true;
    bool hasColour = true;
};

// Record flags of a song file of the given version.
InstrumentRecordFlags songRecordFlags(int version);

// Reads one instrument record into song slot `slot` (0-255). The name is replaced; each envelope
// present gets its loop point and values (at most 250 kept, the rest of the count skipped) and
// the marker after them; without hasFineTune the Fine-tune envelope becomes the default. The
// type and samples are only touched with hasType/hasDpcm, the colour only with hasColour. A type
// byte above 4 reads as Normal, a colour above 16 wraps into 0-16, a loop point above 250 reads
// as 250. A sample never takes more bytes than the buffer has left. When `slot` is the hooks'
// current instrument, the name-editor cursor is placed at the end of the name.
void readInstrumentRecord(ByteReader& in, Song& song, int slot, const InstrumentRecordFlags& flags,
                          SongLoadHooks& hooks);

// Appends the complete record of slot `slot` (all four envelopes, type, both samples, colour).
// A slot outside 0-255 reads or writes nothing.
void writeInstrumentRecord(std::vector<uint8_t>& out, const Song& song, int slot);

// Converts the values of an old file: Volume x16, Duty/Mode x64 with 0 stored as 32. Results that
// would not fit a byte become the editor's largest value (Volume 240, Duty/Mode 192).
void convertOldVolumeAndDuty(Instrument& instrument);

// Loads a whole song file held in memory into `song`. Returns false (song untouched, apart from
// hooks.stopPlayback having been called) when the header is shorter than 20 bytes, the magic
// differs, the version is above 11 or the order count is 0. Otherwise replaces the whole song,
// resets speed and tempo to 6 and 125 and returns true. When fileVersion is given it receives
// the version byte of an accepted file.
bool loadSong(Song& song, const uint8_t* data, size_t size, SongLoadHooks& hooks, int* fileVersion = nullptr);
// Reads the file at `path` and loads it as above; false also when the file cannot be read.
bool loadSongFile(Song& song, const std::string& path, SongLoadHooks& hooks, int* fileVersion = nullptr);

// The bytes of the song as a version-11 file: instruments 1..savedInstrumentCount, the order
// list, patterns 0..usedPatternCount-1.
std::vector<uint8_t> serializeSong(const Song& song);
// lastUsedInstrument, or a later slot when one holds a sample, a type or a colour of its own:
// those are kept too, since an instrument loaded with a sample but not yet played in a pattern
// would otherwise lose its sample on the next save.
int savedInstrumentCount(const Song& song);
// Writes serializeSong(song) to `path`. True only when every byte was written and flushed to
// disk; the file is written beside `path` under a temporary name and renamed over it, so a
// failed save leaves any previous file as it was.
bool saveSong(const Song& song, const std::string& path);

// Reads a whole regular file; false, without throwing, when it cannot be opened or read, or is
// not a regular file (a folder, a pipe, a device).
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

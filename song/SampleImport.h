#pragma once
// Sample import: DMC delta-modulation bytes from a .dmc file, and sampled sound in any format
// libsndfile reads, converted to the 7-bit output levels a PcmSample plays at 7801 bytes per
// second. Both name the instrument after the file.
//
// The audio thread may be playing the instrument's sample, so an import happens in two steps:
// read* does all file reading and conversion without touching the song, and
// applyImportedSample swaps the result into the instrument in one short step, which the caller
// runs under the audio lock. loadDpcmSample and loadPcmSample do both for callers that need no
// lock (tests, tools).

#include <cstddef>
#include <cstdint>
#include <string>

#include "song/Song.h"

// Rate of a PcmSample in bytes per second: the player writes one level every two scanlines.
constexpr double PCM_SAMPLE_RATE = 7801.0;
// Largest sample an import accepts, in bytes (DPCM bytes, or PCM levels after conversion). A
// DMC sample plays at most 4081 bytes, and 16 MiB of PCM levels last over half an hour.
constexpr uint32_t MAX_IMPORTED_SAMPLE_BYTES = 16u << 20;

struct ImportedSample {
    InstrumentType type = INST_NORMAL;  // INST_DPCM or INST_PCM once read
    SampleSlot sample;                  // the new bytes, loop off
    std::string name;                   // from the file name
};

// The instrument name for a file: the last path component (after the last "/" or "\"),
// extension included, cut to 30 characters (never inside a UTF-8 sequence).
std::string sampleNameFromPath(const std::string& path);

// Reads every byte of a regular file as DMC sample bytes (no header). False when the path is no
// readable regular file, cannot be read in full, or is larger than MAX_IMPORTED_SAMPLE_BYTES.
bool readDpcmSample(const std::string& path, ImportedSample& out);

// Decodes a sound file through libsndfile into output levels 1-127 (64 is silence): for each
// output byte k the frame trunc(k x step), step = file rate / 7801, with its channels averaged,
// stored as trunc(average x 63 + 64). No interpolation: the nearest earlier frame is taken.
// Values beyond full scale are clipped. False when libsndfile cannot open the file, the path
// is no regular file, or the result would exceed MAX_IMPORTED_SAMPLE_BYTES. A file with no
// frames gives an empty sample. Frames that cannot be decoded after opening read as silence.
bool readPcmSample(const std::string& path, ImportedSample& out);

// The same two readers on bytes held in memory (a dropped or downloaded file, a test); `path`
// only gives the name. libsndfile reads the sound file's bytes in place. `bytes` may be null
// only with a size of 0.
bool readDpcmBytes(const uint8_t* bytes, size_t size, const std::string& path, ImportedSample& out);
bool readPcmBytes(const uint8_t* bytes, size_t size, const std::string& path, ImportedSample& out);

// Puts an imported sample into instrument `slot` (1-255): the type becomes out.type, the
// matching sample slot takes the new bytes with loop off, the name is replaced. The other
// sample slot and the envelopes stay. The replaced buffer moves into `imported.sample`, so the
// caller can release it after leaving the audio lock. False (nothing changed) for a bad slot
// or a sample that was never read.
bool applyImportedSample(Song& song, int slot, ImportedSample& imported);

// read*, then applyImportedSample. False, with the instrument untouched, when reading fails
// (the caller reports "Couldn't open file!").
bool loadDpcmSample(Song& song, int slot, const std::string& path);
bool loadPcmSample(Song& song, int slot, const std::string& path);

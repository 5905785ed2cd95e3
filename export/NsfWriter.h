#pragma once
// The NSF file layout: header, the 6502 driver image, then the song data the driver plays.
//
//   file 0      128-byte NSF header
//   file 128    driver image, loaded at $E000 (4478 bytes)
//   file 4606   tag "Q.Z."; data offsets below are counted from here
//   file 4610   directory: twelve 16-bit data offsets (order list and stretch table of channels
//               0-4, PCM table, DPCM table), then the loop target stretch
//   file 4635   per-channel tables, PCM table, DPCM table
//   then        banked data: stretch streams, PCM data, DPCM data
//
// The NSF data area starts at file offset 128; a "bank-image offset" is file offset − 128 and
// lies in 4 KB bank (offset >> 12). The driver sees bank 1 at $9000, so every table must end
// within the first 8192 bytes of the data area.

#include <cstdint>
#include <span>
#include <vector>

#include "apu/CpuClock.h"
#include "export/NsfCapture.h"

constexpr int NSF_HEADER_SIZE = 128;
constexpr int NSF_DRIVER_SIZE = 4478;
constexpr uint16_t NSF_LOAD_ADDRESS = 0xE000;
constexpr uint16_t NSF_INIT_ADDRESS = 0xEAE0;
constexpr uint16_t NSF_PLAY_ADDRESS = 0xEE3D;
constexpr int NSF_TAG_OFFSET = NSF_HEADER_SIZE + NSF_DRIVER_SIZE;  // 4606
constexpr int NSF_DIRECTORY_OFFSET = NSF_TAG_OFFSET + 4;           // 4610
// The directory: 16-bit data offsets of channel c's order list (word 2c) and stretch table
// (word 2c + 1), of the PCM table (word 10) and the DPCM table (word 11), then one byte, the
// stretch playback loops back to.
constexpr int NSF_DIRECTORY_WORDS = 12;
constexpr int NSF_DIRECTORY_PCM_TABLE = 10;
constexpr int NSF_DIRECTORY_DPCM_TABLE = 11;
constexpr int NSF_DIRECTORY_LOOP_TARGET = 2 * NSF_DIRECTORY_WORDS;            // byte offset in the directory
constexpr int NSF_DIRECTORY_SIZE = NSF_DIRECTORY_LOOP_TARGET + 1;             // 25
constexpr int NSF_TABLES_OFFSET = NSF_DIRECTORY_OFFSET + NSF_DIRECTORY_SIZE;  // 4635
// File offsets of the header fields the writer fills; 16-bit fields are little-endian.
namespace nsf_header {
constexpr int MAGIC = 0;  // "NESM" and $1A
constexpr int VERSION = 5;
constexpr int SONG_COUNT = 6;
constexpr int FIRST_SONG = 7;  // counted from 1
constexpr int LOAD_ADDRESS = 8;
constexpr int INIT_ADDRESS = 10;
constexpr int PLAY_ADDRESS = 12;
constexpr int TITLE = 14;  // song, artist and copyright: 32 bytes each, zero-padded
constexpr int TEXT_SIZE = 32;
constexpr int NTSC_PLAY_PERIOD = 110;  // µs
constexpr int BANKS = 112;             // initial bank of each 4 KB window, $8000 to $F000
constexpr int PAL_PLAY_PERIOD = 120;   // µs
constexpr int TV_SYSTEM = 122;         // 0 NTSC, 1 PAL
}  // namespace nsf_header

// Data offset (from the tag) by which all tables must have ended: bank 1 ends there.
constexpr int NSF_TABLES_LIMIT = 8192 - NSF_DRIVER_SIZE;  // 3714
// The driver reads data offset d at $917E + d.
constexpr uint16_t NSF_TABLE_WINDOW_BASE = 0x917E;
// PCM bytes played per frame: 128 from a unit's first part, 28 from its second.
constexpr int NSF_PCM_UNIT = 156;
constexpr int NSF_PCM_FIRST_PART = 128;
constexpr int NSF_PCM_SECOND_PART = 28;
// Source bytes per output byte when PCM is re-timed for NTSC (the PAL/NTSC scanline rate ratio).
constexpr double NSF_NTSC_PCM_STEP = PAL_PER_NTSC_CYCLE;

// Encodes one stretch of one channel (stream 0-4) as its bit-packed change stream: per frame and
// value, 0 when the value equals the previous frame's or is −1, else 1 and the value's low bits,
// most significant first; bytes fill from bit 0 up. The stretch starts from previous values −1.
std::vector<uint8_t> encodeNsfStream(const std::vector<NsfFrame>& frames, int channel);

// PCM bytes after NTSC re-timing (when `ntsc`) and padding to whole 156-byte units.
std::vector<uint8_t> nsfPcmUnits(const NsfSample& sample, bool ntsc);

// Builds the whole file in memory from a capture and the driver image (NSF_DRIVER_SIZE bytes).
// A sample without data is stored as nothing to play: a PCM entry with a unit count of 0 (its
// unit of $3F filler stays in the data), a DPCM entry with bit 7 of its loop byte set.
// Throws std::runtime_error when the song does not fit the format: tables past the limit above,
// more than 255 stretch entries on a channel, or data beyond the 256 addressable banks.
std::vector<uint8_t> buildNsf(const NsfCapture& capture, std::span<const uint8_t> driverImage);
// The same with the program's own driver (driver/nsf_driver.s).
std::vector<uint8_t> buildNsf(const NsfCapture& capture);

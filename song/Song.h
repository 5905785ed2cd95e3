#pragma once
// The song model: one Song held for the life of the program, with fixed capacities.
//
// Channel index everywhere: 0 Pulse 1, 1 Pulse 2, 2 Triangle, 3 Noise, 4 DPCM channel.
// The Song is large (about 1 MiB); create it once on the heap (std::make_unique<Song>()).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Require.h"

constexpr int MAX_ORDERS = 64;
constexpr int MAX_PATTERNS = 64;
constexpr int ROWS_PER_PATTERN = 64;
constexpr int CHANNEL_COUNT = 5;
constexpr int INSTRUMENT_SLOTS = 256;  // slot 0 exists but is never referenced by a cell
constexpr int ENVELOPE_SLOTS = 251;    // up to 250 values plus END_MARKER
constexpr int MAX_ENVELOPE_VALUES = 250;
constexpr int ENVELOPE_COUNT = 4;
constexpr int MAX_NAME_LENGTH = 30;
constexpr int COLOUR_COUNT = 17;
constexpr int PATTERN_BYTES = CHANNEL_COUNT * ROWS_PER_PATTERN * 4;  // 1280

constexpr int32_t END_MARKER = 256;
constexpr uint8_t NOTE_OFF = 255;

enum Channel : int { CH_PULSE1 = 0, CH_PULSE2 = 1, CH_TRIANGLE = 2, CH_NOISE = 3, CH_DPCM = 4 };

extern const char* const CHANNEL_NAMES[CHANNEL_COUNT];  // "Pulse 1", "Pulse 2", "Triangle", "Noise", "DPCM"

// One cell of a pattern: four bytes, in this order in memory and in files.
//   note:   0 none, 1-120 a note, 255 NOTE_OFF. On the DPCM channel with a DPCM instrument the
//           low nibble is the DMC rate index.
//   instrument: 0 none (keep the channel's instrument), 1-255 a slot.
//   fx:     low nibble the effect command 0x0-0xF, high nibble the parameter's high nibble.
//   param:  low nibble the parameter's low nibble; the high nibble is not musical (kept as is).
struct PatternCell {
    uint8_t note = 0;
    uint8_t instrument = 0;
    uint8_t fx = 0;
    uint8_t param = 0;

    int effect() const { return fx & 0x0F; }
    int parameter() const { return (fx & 0xF0) | (param & 0x0F); }
    void setEffect(int command, int parameter) {
        fx = uint8_t(((parameter & 0xF0)) | (command & 0x0F));
        param = uint8_t((param & 0xF0) | (parameter & 0x0F));
    }
    bool operator==(const PatternCell&) const = default;
};
static_assert(sizeof(PatternCell) == 4);

// Empty: bytes 0, 1 and 2 zero and the low nibble of byte 3 zero.
bool isEmptyCell(const PatternCell& cell);

// 5 channels x 64 rows, channel-major (all rows of channel 0, then channel 1, ...).
struct Pattern {
    PatternCell cells[CHANNEL_COUNT][ROWS_PER_PATTERN];

    // Channel 0-4, row 0-63.
    PatternCell& at(int channel, int row) {
        BF_REQUIRE(channel >= 0 && channel < CHANNEL_COUNT && row >= 0 && row < ROWS_PER_PATTERN);
        return cells[channel][row];
    }
    const PatternCell& at(int channel, int row) const {
        BF_REQUIRE(channel >= 0 && channel < CHANNEL_COUNT && row >= 0 && row < ROWS_PER_PATTERN);
        return cells[channel][row];
    }
    void clear();
    bool isEmpty() const;  // every cell isEmptyCell
};
static_assert(sizeof(Pattern) == PATTERN_BYTES);

// count is 1-64 and never 0; entries are pattern numbers 0-63.
struct OrderList {
    int32_t count = 1;
    int32_t entries[MAX_ORDERS] = {};
};

enum EnvelopeKind : int { ENV_VOLUME = 0, ENV_NOTE = 1, ENV_DUTY = 2, ENV_FINETUNE = 3 };
extern const char* const ENVELOPE_NAMES[ENVELOPE_COUNT];  // "Volume", "Note", "Duty/Mode", "Fine-tune"

// Value sequence: values[0..length-1] each 0-255, END_MARKER in values[length].
struct Envelope {
    int32_t loopPoint = 0;
    int32_t values[ENVELOPE_SLOTS] = {};

    // Index of the first END_MARKER within the 251 slots (251 when there is none, which a valid
    // envelope never has).
    int length() const;
    // Default envelope of the given kind: loop point 0, one value, marker, all further slots 0.
    void reset(EnvelopeKind kind);
    // Loop point and all 251 slots equal (one block compare: this runs for every slot on save).
    bool operator==(const Envelope& other) const;
};

// Default single values of the four envelopes: Volume 0, Note 64, Duty/Mode 32, Fine-tune 127.
constexpr int32_t DEFAULT_ENVELOPE_VALUE[ENVELOPE_COUNT] = {0, 64, 32, 127};

// A sample buffer owned by its instrument. Copying copies the bytes (the converter keeps deep
// copies of instruments); moving hands the buffer over.
struct SampleSlot {
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;
    bool loop = false;

    SampleSlot() = default;
    SampleSlot(const SampleSlot& other);
    SampleSlot& operator=(const SampleSlot& other);
    SampleSlot(SampleSlot&&) noexcept = default;
    SampleSlot& operator=(SampleSlot&&) noexcept = default;

    bool empty() const { return !data || size == 0; }
    // Releases the buffer: no data, size 0, loop off.
    void release();
    // Replaces the contents with a copy of n bytes (n may be 0, which releases).
    void assign(const uint8_t* bytes, uint32_t n, bool loopFlag);
    bool operator==(const SampleSlot& other) const;
};
using PcmSample = SampleSlot;   // output levels for $4011 at 7801 bytes per second
using DpcmSample = SampleSlot;  // DMC delta-modulation bytes

// What the editor's DMC reads past the end of a sample.
constexpr uint8_t DMC_PAST_END = 0x55;
// The DMC plays 16 x L + 1 bytes for a length register L (the size / 16, at most 255): for a
// sample of exactly 16 x L bytes that is one byte past its end, which a file holding the sample
// for a console sets to DMC_PAST_END so that the console plays what the editor plays.
constexpr bool dmcPlaysPastEnd(uint32_t size) { return size > 0 && size % 16 == 0 && size <= 16 * 255; }

enum InstrumentType : int32_t {
    INST_NORMAL = 0,
    INST_PCM = 1,
    INST_DPCM = 2,
    INST_PCM_PULSE = 3,
    INST_PCM_SAW = 4,
};
constexpr int INSTRUMENT_TYPE_COUNT = 5;
extern const char* const INSTRUMENT_TYPE_NAMES[INSTRUMENT_TYPE_COUNT];  // "Normal", "PCM", ...

struct Instrument {
    InstrumentType type = INST_NORMAL;
    Envelope envelopes[ENVELOPE_COUNT];
    PcmSample pcm;
    DpcmSample dpcm;

    Instrument() { reset(); }
    // Envelopes and type to the default, both sample buffers released. Name and colour live in
    // the Song and are cleared by Song::resetInstrument.
    void reset();
    bool operator==(const Instrument&) const = default;
};

// True when the loop points and all 251 value slots of the four envelopes equal the default's.
// Type, samples, name and colour are not compared.
bool isDefaultInstrument(const Instrument& instrument);

struct Song {
    OrderList orders;
    Pattern patterns[MAX_PATTERNS];
    Instrument instruments[INSTRUMENT_SLOTS];
    std::string instrumentNames[INSTRUMENT_SLOTS];  // at most 30 characters by the editors
    int32_t instrumentColours[INSTRUMENT_SLOTS] = {};  // 0-16
    bool ntsc = false;
    int32_t speed = 6;
    int32_t tempo = 125;

    Song() { clear(); }
    Song(const Song&) = delete;
    Song& operator=(const Song&) = delete;

    // A new song: one order naming pattern 0, empty patterns, every instrument reset with empty
    // name and colour 0, PAL, speed 6, tempo 125.
    void clear();
    // The instrument's envelopes and type to the default, name cleared, samples released.
    // The colour is left alone.
    void resetInstrument(int slot);
};

// Highest slot 1-255 that is not a default instrument, has a name, or is used in the instrument
// byte of a cell of a pattern listed in the order list; 0 when none.
int lastUsedInstrument(const Song& song);

// 1 + the highest pattern number with a non-empty cell; 0 when all patterns are empty.
int usedPatternCount(const Song& song);

#pragma once
// Capture of a song for NSF export: the player is run offline frame by frame and the register
// image of every frame is recorded, cut into stretches at order positions, until playback comes
// back to a position it has already started a stretch at (the loop target).
//
// The capture does not know the Player: it asks an NsfFrameSource to run one frame at a time, so
// tests can feed scripted frames and the real exporter feeds the Player's FrameSnapshot.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Song;

// The sixteen captured values of a frame, in stream order. −1 means "nothing to write".
enum NsfValueIndex : int {
    NSF_PULSE1_PERIOD_HIGH,  // stream 0
    NSF_PULSE1_PERIOD_LOW,
    NSF_PULSE1_DUTY_VOLUME,  // duty in bits 4-5, volume in bits 0-3
    NSF_PULSE2_PERIOD_HIGH,  // stream 1
    NSF_PULSE2_PERIOD_LOW,
    NSF_PULSE2_DUTY_VOLUME,
    NSF_TRIANGLE_PERIOD_HIGH,  // stream 2
    NSF_TRIANGLE_PERIOD_LOW,
    NSF_TRIANGLE_CONTROL,  // the $4008 value written (0x80 or 0x81); only bit 0 is stored
    NSF_NOISE_PERIOD,      // stream 3: period index in bits 0-3, mode in bit 4
    NSF_NOISE_VOLUME,
    NSF_DPCM_KIND,  // stream 4: 0 PCM sample, 1 hardware DPCM, 2 software pulse, 3 software saw
    NSF_DPCM_RATE,
    NSF_DPCM_VALUE,  // sample starts: the sample's index in the export (after registration)
    NSF_PCM_AMPLITUDE,
    NSF_PCM_THRESHOLD,
    NSF_VALUE_COUNT
};
using NsfValues = std::array<int, NSF_VALUE_COUNT>;

constexpr int NSF_CHANNELS = 5;
// First value index of each stream, and one past the last.
constexpr int NSF_STREAM_FIRST[NSF_CHANNELS + 1] = {0, 3, 6, 9, 11, 16};
// Bits of each value; 0 marks the triangle's raw control bit, which has no change flag.
constexpr int NSF_VALUE_BITS[NSF_VALUE_COUNT] = {3, 8, 6, 3, 8, 6, 3, 8, 0, 5, 4, 2, 7, 8, 8, 8};

constexpr int NSF_DPCM_KIND_PCM = 0;
constexpr int NSF_DPCM_KIND_DPCM = 1;

// The driver walks stretch indexes and entry indexes as bytes, $FF ending a list.
constexpr int NSF_MAX_STRETCHES = 255;
// A stretch stores its frame count − 1 in 16 bits.
constexpr int NSF_MAX_STRETCH_FRAMES = 65536;

// What running one frame reports.
struct NsfFrameReport {
    NsfValues values{};  // the frame's register image, −1 = nothing to write
    int order = 0;       // player position after the frame
    int row = 0;
    bool endOfSong = false;      // the player's endOfSongFlag after the frame
    bool sampleStarted = false;  // a DPCM or PCM sample started during the frame
};

class NsfFrameSource {
  public:
    virtual ~NsfFrameSource() = default;
    // A stretch begins: the sixteen snapshot values become −1, so that its first frame sends
    // only what the player writes afresh (a sample kind left over from an earlier stretch is
    // not sent again, and the driver does not restart that sample).
    virtual void beginStretch() = 0;
    // Runs one player frame and reports its snapshot. The sampleStarted flag is consumed: the
    // source clears it in the player once reported.
    virtual NsfFrameReport runFrame() = 0;
    // The frame just run started a sample that the export numbered `index`: the player's
    // snapshot dpcmValue becomes the index, so later frames repeat the index and not the
    // instrument number.
    virtual void setSampleIndex(int index) = 0;
};

struct NsfSample {
    std::vector<uint8_t> bytes;
    bool loop = false;
    bool operator==(const NsfSample&) const = default;
};

struct NsfFrame {
    NsfValues values{};
    // The frame started a sample: the kind is sent again even when it did not change, which is
    // how the driver tells a new start from a sample that keeps playing.
    bool sampleStart = false;
    bool operator==(const NsfFrame&) const = default;
};

struct NsfCapture {
    std::vector<std::vector<NsfFrame>> stretches;  // each at least one frame
    int loopTarget = 0;                            // stretch at which playback continues
    std::vector<NsfSample> pcmSamples;             // by PCM index, in order of first use
    std::vector<NsfSample> dpcmSamples;            // by DPCM index, in order of first use
    std::string names[3];                          // title, artist, copyright
    bool ntsc = false;
};

// Runs the capture from order 0, row 0 (the source's player must stand there) until a stretch
// would start at a position seen before. Instrument names, the TV system and the samples that
// the frames start are taken from `song`. Throws std::runtime_error when the song needs more
// than NSF_MAX_STRETCHES stretches.
NsfCapture captureNsf(const Song& song, NsfFrameSource& source);

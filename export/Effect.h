#pragma once
// Sound effects: a song played offline whose pulse, triangle and noise register values are
// recorded frame by frame as a compact byte stream that a driver replays without knowing about
// instruments or effects. The DPCM channel is not part of sound effects.
//
// Final byte encoding:
//   0x00-0x3F pulse 1 duty*16+volume      0x40-0x7F pulse 2 duty*16+volume (byte - 0x40)
//   0x80-0x87 pulse 1 period high bits    0x88-0x8F pulse 2 period high bits
//   0x90-0x97 triangle period high bits   0x98 / 0x99 triangle silent / sounding
//   0x9A-0xA9 noise volume                0xAA-0xC9 noise mode*16+period index
//   0xCA v / 0xCB v / 0xCC v  pulse 1 / pulse 2 / triangle period low byte v
//   0xCD end   0xCE end and continue at the loop offset   0xCF-0xFF wait byte-0xCE frames (1-49)

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "export/AsmNames.h"
#include "export/Capture.h"
#include "export/CapturePlayer.h"

struct CapturedEffect {
    std::vector<uint8_t> bytes;
    int32_t loopOffset = -1;  // byte offset where playback continues after the end, -1 none
};

// Ids of the intermediate event stream: 0-10 register fields, then these.
enum EffectEventId : uint8_t { EFX_WAIT = 11, EFX_END = 12, EFX_END_LOOP = 13 };

// Builds the intermediate stream of (id, value) byte pairs from the frames of a capture.
class EffectRecorder {
  public:
    // Records what changed from `before` to `after` (fields in id order) for the frame just run,
    // then counts the frame. A channel that starts silent writes no silence.
    void recordFrame(const EffectRegisters& before, const EffectRegisters& after);
    // Turns the frames counted since the last change into waits of at most 49 frames.
    void flushWaits();
    // Marks the playback position about to be played. True when it was played before (the
    // capture then ends); otherwise flushes the waits and remembers where the position starts.
    bool enterPosition(int32_t key);
    // Ends the stream at the position that repeated (the last key given to enterPosition), trims
    // the silent tail and encodes. `loopRequested`: the effect asked to loop (EEy).
    CapturedEffect finish(bool loopRequested);

    const std::vector<uint8_t>& events() const { return events_; }

  private:
    void append(int id, int value);

    std::vector<uint8_t> events_;
    int32_t frame_ = 0;
    int32_t lastWriteFrame_ = 0;
    int32_t lastKey_ = -1;
    std::map<int32_t, int32_t> visited_;
};

// Removes the tail that follows the last moment anything was audible (the change that silences
// the last sounding channel goes too), keeping the end pair. Returns the trimmed pairs.
std::vector<uint8_t> trimEffectEvents(const std::vector<uint8_t>& events);
// Encodes trimmed pairs into the final bytes; `loopOffset` (an offset into the pairs, -1 none)
// is translated to an offset into the bytes, 0 when no pair before the end starts there.
CapturedEffect encodeEffectEvents(const std::vector<uint8_t>& events, int32_t loopOffset);

// Plays the loaded song from its start as a sound effect. Driver-command recording is switched
// off meanwhile and on again afterwards; the player ends stopped and out of capture mode.
CapturedEffect captureEffect(CapturePlayer& player, DriverCommandRecorder& recorder);

// The assembler text of an effect under the label of `key`.
std::string effectText(const CapturedEffect& effect, LabelTable& labels, const std::string& key);
// Writes effectText to `fileName`; false when the file cannot be created or written.
bool writeEffect(const CapturedEffect& effect, const std::string& fileName, LabelTable& labels,
                 const std::string& key);

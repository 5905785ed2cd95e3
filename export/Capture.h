#pragma once
// Running a song offline and cutting the Player's driver-command reports into per-channel
// command lists, one list per channel for every stretch of playback that starts at an order
// entry, with explicit waits between the commands.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "export/CapturePlayer.h"
#include "player/DriverCode.h"
#include "song/Song.h"

struct DriverCommand {
    int32_t code = 0;
    std::vector<int32_t> args;  // 0 or 1 argument, 0-255
    bool operator==(const DriverCommand&) const = default;
};

// The commands of one channel during one stretch; ends with the end-of-pattern command and its
// waits add up to the frames the stretch lasted.
using CommandList = std::vector<DriverCommand>;

struct CapturedSong {
    // Per channel, one CommandList per stretch in playing order; all five equally long.
    std::array<std::vector<CommandList>, CHANNEL_COUNT> channels;
    int32_t loopIndex = 0;  // stretch where playback continues after the last one
    // Deep copy of the song's instrument table (sample bytes included), taken right after the
    // capture, since the next song load replaces the live table.
    std::vector<Instrument> instruments;  // INSTRUMENT_SLOTS entries once filled
    std::array<bool, INSTRUMENT_SLOTS> usedInstruments{};
    std::string path;

    // Copies the instruments and the recorder's used flags in.
    void takeInstruments(const Song& song, const std::array<uint8_t, INSTRUMENT_SLOTS>& usedFlags);
};

// The receiving end of the Player's driver-command reports. Holds the state of the stretch being
// captured: frame count, per-channel last-command frame, pending lists, the DPCM rate last
// recorded and the instruments seen.
class DriverCommandRecorder {
  public:
    // Channel 0-4, code as reported, 0 or 1 argument. Ignored while recording is off or for a
    // channel outside 0-4. On the DPCM channel only its own codes pass (a report of wait or end of
    // pattern is mapped to them); everything else is dropped without leaving a wait.
    void recordDriverCommand(int channel, int32_t code, const std::vector<int32_t>& args = {});
    void recordDriverCommand(int channel, int32_t code, int32_t arg) {
        recordDriverCommand(channel, code, std::vector<int32_t>{arg});
    }

    // The sound-effect capture keeps the reports silent.
    void setRecording(bool on) { recording_ = on; }
    bool recording() const { return recording_; }

    // A new capture: used flags cleared, no DPCM rate remembered.
    void beginCapture();
    // A new stretch: empty pending lists, frame counters at 0, no instrument to restate.
    void beginStretch();
    // The channel (0-3) enters the stretch playing instrument `slot` (0 none): its first note
    // there records that instrument before it, unless an instrument command came first. A
    // driver may enter the stretch from elsewhere, and the Player reports an instrument only
    // when a cell changes it.
    void restateInstrument(int channel, int slot);
    // Counts one finished frame tick of the stretch.
    void advanceFrame() { ++captureFrame_; }
    // Ends every channel's list with end of pattern (the DPCM rate is recorded afresh in the
    // next stretch) and hands the five lists over.
    std::array<CommandList, CHANNEL_COUNT> endStretch();

    int32_t captureFrame() const { return captureFrame_; }
    const std::array<uint8_t, INSTRUMENT_SLOTS>& usedFlags() const { return usedFlags_; }
    const CommandList& pending(int channel) const { return pending_[channel]; }

  private:
    void append(int channel, int32_t code, std::vector<int32_t> args);

    bool recording_ = true;
    int32_t captureFrame_ = 0;
    std::array<int32_t, CHANNEL_COUNT> lastCommandFrame_{};
    std::array<CommandList, CHANNEL_COUNT> pending_;
    std::array<int32_t, CHANNEL_COUNT> restatedInstrument_{};
    int32_t lastDpcmRate_ = -1;
    std::array<uint8_t, INSTRUMENT_SLOTS> usedFlags_{};
};

// Key of a playback position in the visited maps: (order << 8) | row.
inline int32_t positionKey(int order, int row) { return (order << 8) | row; }

// A stretch runs until the order entry changes, the row goes back or the song ends. The slowest
// song (tempo 32, speed 31) still moves on a row every 130 frames, so 64 rows take fewer than
// 8400 frames; a player that never moves on is cut after this many, so a capture always ends.
constexpr int32_t MAX_STRETCH_FRAMES = 1 << 16;

// Player::reset, then tempo 125, speed 6, order 0 row 0 at its first frame, pattern mode and
// block repeat off, playing and in capture mode.
void prepareCapture(CapturePlayer& player);

// Resets the player for capture, runs the current song from order 0 row 0 until it reaches a
// position it has played before and fills song.channels and song.loopIndex. The player must
// route its driver-command reports to `recorder` while this runs. Leaves the player stopped and
// out of capture mode.
void captureSong(CapturePlayer& player, DriverCommandRecorder& recorder, CapturedSong& song);

// Runs one stretch: a tick, then more while the order entry is unchanged, the row did not go
// back and the song has not ended. `afterTick` is called after every tick. Shared with the
// sound-effect capture.
template <typename AfterTick>
void runStretch(CapturePlayer& player, AfterTick&& afterTick) {
    const int order = player.currentOrder();
    int row = player.currentRow();
    player.frameTick();
    afterTick();
    for (int32_t frames = 1; frames < MAX_STRETCH_FRAMES; ++frames) {
        if (player.currentOrder() != order || player.endOfSong() || player.currentRow() < row) break;
        row = player.currentRow();
        player.frameTick();
        afterTick();
    }
}

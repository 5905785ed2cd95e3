#pragma once
// The scanline loop that runs the emulated console: the Player's frame tick at the start of every
// 312-scanline frame, its scanline tick on every scanline, then the Apu's scanline step. Live
// playback calls renderAudio from the sound device's callback; offline runs use the same loop.

#include <cstdint>

class Player;
class Apu;

// Configures the Apu for the song's TV system and the output rate, and remembers the rate in the
// Player for later TV-system changes. Returns nullptr, or the Apu's error text.
const char* initPlayback(Player& player, Apu& apu, long sampleRate);

class AudioRenderer {
  public:
    AudioRenderer(Player& player, Apu& apu) : player_(player), apu_(apu) {}

    // One scanline step: frame tick when the scanline counter is 0, scanline tick, Apu step.
    void runScanline();
    // Runs scanline steps up to the end of the current frame (a whole frame from scanline 0).
    void finishFrame();
    // Runs scanline steps until the output buffer holds `count` samples, then reads them into
    // `output`. A frame may span several calls; the counter carries over.
    void renderAudio(int16_t* output, long count);

    // Position within the current frame, 0-311.
    int scanline() const { return scanline_; }

  private:
    Player& player_;
    Apu& apu_;
    int scanline_ = 0;
};

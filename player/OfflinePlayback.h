#pragma once
// Plays a song offline, frame by frame, through the same Player, Apu and output buffer as live
// playback: for rendering to a file, register traces and the exporters.

#include <cstdint>
#include <string>
#include <vector>

#include "player/AudioRenderer.h"
#include "player/Player.h"

class OfflinePlayback {
  public:
    // Configures the Apu for the song's TV system and `sampleRate` (throws std::runtime_error when
    // it cannot) and resets the player, as the program does at start-up.
    OfflinePlayback(Player& player, Apu& apu, long sampleRate = 44100);

    // Starts the song as "play song" does, from order 0 at row 0 (the lower repeat-block mark
    // when the repeat block is on): the player is started while stopped and the requests that
    // raises are served before the first frame tick.
    void startSong();

    // True when the song has ended: the next frame would start a row at an (order, row) already
    // played (the song's loop point), a frame set endOfSongFlag, or the player stopped.
    bool finished() const;

    // Lets a song that reached its loop point play on for another pass: forgets the rows played
    // and the end-of-song flag, so that finished() waits for the loop point again.
    void nextPass();

    // Runs one whole frame (the frame tick and its 312 scanline steps). The samples it completed
    // are appended to `samples` when given, and dropped otherwise.
    void runFrame(std::vector<int16_t>* samples = nullptr);

    // Frames run since startSong.
    long frames() const { return frames_; }

  private:
    Player& player_;
    Apu& apu_;
    AudioRenderer renderer_;
    bool visited_[MAX_ORDERS][ROWS_PER_PATTERN] = {};
    bool loopReached_ = false;
    long frames_ = 0;
    std::vector<int16_t> scratch_;
};

// Renders the song from its start into 16-bit mono samples. With seconds > 0 exactly that much
// audio; otherwise until the song ends (see OfflinePlayback::finished) or `maxSeconds` pass.
std::vector<int16_t> renderSong(Player& player, Apu& apu, long sampleRate, double seconds,
                                double maxSeconds = 600.0);

// One line per frame of the song's register writes: "N:" then " AAAA=VV" for each write, in
// upper-case hex. frames > 0 gives exactly that many frames; otherwise until the song ends or
// `maxFrames` have run.
std::vector<std::string> traceSong(Player& player, Apu& apu, long frames, long maxFrames = 30000);

#pragma once
// Offline rendering in a stream: the song is played frame by frame and every frame's samples go
// straight on to a sink (a file, a pipe, a checksum), so memory stays the same however long the
// render runs.

#include <cstddef>
#include <cstdint>
#include <functional>

class Player;
class Apu;

struct RenderOptions {
    long sampleRate = 44100;
    // How often the song is played through to its loop point (1-16).
    int passes = 1;
    // Above 0: exactly this much audio instead of the passes.
    double seconds = 0.0;
    // Seconds of fade-out added after the passes (or the fixed length), while the song goes on.
    double fadeSeconds = 0.0;
    // Bit c keeps channel c audible, as Player::channelMask.
    int channelMask = 31;
    // A song that never reaches its loop point stops after this much per pass.
    double maxSecondsPerPass = 600.0;
};

class SampleSink {
  public:
    virtual ~SampleSink() = default;
    // Takes the next `count` samples; false when they could not be stored.
    virtual bool write(const int16_t* samples, size_t count) = 0;
};

// Called now and then with the share done so far (0-1); answering false stops the render.
using RenderProgress = std::function<bool(double done)>;

struct RenderResult {
    bool ok = false;         // every sample reached the sink and nobody cancelled
    bool cancelled = false;  // the progress callback asked to stop
    long samples = 0;        // samples handed to the sink
};

// Plays the song from its start as OfflinePlayback does and hands the audio to `sink`. With the
// default options the samples are exactly those of renderSong(player, apu, rate, 0).
// Throws std::runtime_error when the Apu cannot be configured for the rate.
RenderResult renderStream(Player& player, Apu& apu, const RenderOptions& options, SampleSink& sink,
                          const RenderProgress& progress = {});

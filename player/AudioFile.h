#pragma once
// Audio files of a rendered song: 16-bit mono WAV, FLAC or Ogg Vorbis through libsndfile, chosen
// by the file's extension, written so that a failed render never destroys the file it replaces.

#include <string>

#include "player/StreamRender.h"

struct Song;

enum class AudioFileType { Wav, Flac, Ogg };

// The type for the path's extension (".wav", ".flac", ".ogg", any case), WAV for a device or a
// pipe without one; false for others.
bool audioFileTypeFor(const std::string& path, AudioFileType& type);

// Writes into a temporary file beside the path and renames it over the path on commit(). A path
// that names a device or a pipe is written in place, as there is nothing to replace. Whatever
// was at the path is untouched until commit() succeeds; an uncommitted file is removed.
class AudioFileSink : public SampleSink {
  public:
    AudioFileSink() = default;
    ~AudioFileSink() override;
    AudioFileSink(const AudioFileSink&) = delete;
    AudioFileSink& operator=(const AudioFileSink&) = delete;

    bool open(const std::string& path, AudioFileType type, long sampleRate);
    bool write(const int16_t* samples, size_t count) override;
    // Finishes the file, flushes it to disk and puts it in place. True when all of that worked.
    bool commit();
    // Drops the file written so far.
    void abandon();

    // Why the last operation failed.
    const std::string& error() const { return error_; }

  private:
    bool fail(const std::string& what);

    std::string path_, temp_, error_;
    int fd_ = -1;
    void* file_ = nullptr;  // SNDFILE*
    bool inPlace_ = false;
};

// A WAV stream on an open descriptor such as standard output. The header is written first with
// the sizes left open (as streaming readers expect); finish() fills them in when the descriptor
// can seek, so a redirected file is an ordinary WAV file.
class WavStreamSink : public SampleSink {
  public:
    WavStreamSink(int fd, long sampleRate);
    bool write(const int16_t* samples, size_t count) override;
    bool finish();

  private:
    bool writeAll(const void* data, size_t size);

    int fd_;
    long start_ = -1;  // offset of the header, or -1 when the descriptor cannot seek
    uint64_t bytes_ = 0;
    bool ok_ = true;
};

// "song.wav" and channel 0 give "song-Pulse1.wav": the output's name with the channel's name
// (without spaces) before the extension.
std::string stemPath(const std::string& path, int channel);

struct AudioExportOptions {
    RenderOptions render;
    bool stems = false;  // one file per channel of the render's mask, each that channel alone
};

// Renders `song` from its start on a Player and Apu of its own into `path` ("-" for a WAV
// stream on standard output), one file or one per channel. False with the reason in `error` when
// a file cannot be written, the render was cancelled or the options are unusable; files already
// at those paths then stay as they were, except stems finished before the failure.
bool exportAudio(Song& song, const std::string& path, const AudioExportOptions& options,
                 const RenderProgress& progress, std::string& error);

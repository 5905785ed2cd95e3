#pragma once
// Rendering the song into an audio file from the editor. The song is copied on the main thread
// and the copy is played on a worker thread by a Player and Apu of its own, so the live player,
// the sound device and the editors are never touched: playback and editing go on meanwhile.

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "config/StartupConfig.h"
#include "player/AudioFile.h"

struct Song;

// The options "save wav" renders with: passes, fade and stems from the settings (brought into
// their ranges), at the sound device's "sample rate" when the renderer can run at it (8000 to
// 192000 Hz), else at 44100 Hz.
AudioExportOptions audioExportOptionsFor(const GeneralSettings& settings);

// Copies every part of a song (orders, patterns, instruments with their sample bytes, names,
// colours, TV system, speed and tempo) into `to`.
void copySong(const Song& from, Song& to);

class AudioExportJob {
  public:
    // Copies the song at once and starts rendering the copy into `path` (stems beside it when
    // the options ask for them). The path is taken as a file name: "-" is a file called "-" in
    // the working folder, not standard output.
    AudioExportJob(const Song& song, const std::string& path, const AudioExportOptions& options);
    // Stops a render still running and waits for the worker; the unfinished file is dropped and
    // whatever was at the path stays as it was.
    ~AudioExportJob();
    AudioExportJob(const AudioExportJob&) = delete;
    AudioExportJob& operator=(const AudioExportJob&) = delete;

    // True once the worker has ended, whether the file was written or not.
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // The share of the render done so far, 0-100.
    int percent() const { return permille_.load(std::memory_order_relaxed) / 10; }
    // Waits for the worker; then whether every file was written, and why not when it failed.
    bool wait();
    const std::string& error() const { return error_; }

  private:
    void run();

    std::unique_ptr<Song> song_;
    std::string path_;
    AudioExportOptions options_;
    std::atomic<int> permille_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cancelled_{false};
    bool ok_ = false;
    std::string error_;
    std::thread worker_;
};

#include "app/AudioExport.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

#include "song/Song.h"

AudioExportOptions audioExportOptionsFor(const GeneralSettings& settings) {
    AudioExportOptions options;
    options.render.passes = std::clamp<int>(settings.audioExportPasses, 1, 16);
    options.render.fadeSeconds = std::clamp(settings.audioExportFade, 0.0, 600.0);
    options.stems = settings.audioExportStems;
    if (settings.sampleRate >= 8000 && settings.sampleRate <= 192000)
        options.render.sampleRate = settings.sampleRate;
    return options;
}

void copySong(const Song& from, Song& to) {
    to.orders = from.orders;
    std::copy(std::begin(from.patterns), std::end(from.patterns), std::begin(to.patterns));
    std::copy(std::begin(from.instruments), std::end(from.instruments), std::begin(to.instruments));
    std::copy(std::begin(from.instrumentNames), std::end(from.instrumentNames),
              std::begin(to.instrumentNames));
    std::copy(std::begin(from.instrumentColours), std::end(from.instrumentColours),
              std::begin(to.instrumentColours));
    to.ntsc = from.ntsc;
    to.speed = from.speed;
    to.tempo = from.tempo;
}

AudioExportJob::AudioExportJob(const Song& song, const std::string& path, const AudioExportOptions& options)
    : song_(std::make_unique<Song>()), path_(path == "-" ? "./-" : path), options_(options) {
    copySong(song, *song_);
    worker_ = std::thread([this] { run(); });
}

AudioExportJob::~AudioExportJob() {
    cancelled_.store(true, std::memory_order_relaxed);
    if (worker_.joinable()) worker_.join();
}

bool AudioExportJob::wait() {
    if (worker_.joinable()) worker_.join();
    return ok_;
}

void AudioExportJob::run() {
    // The render competes with the sound device's thread for the processor: it gives way.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
    const RenderProgress progress = [this](double done) {
        permille_.store(int(std::clamp(done, 0.0, 1.0) * 1000.0), std::memory_order_relaxed);
        return !cancelled_.load(std::memory_order_relaxed);
    };
    try {
        ok_ = exportAudio(*song_, path_, options_, progress, error_);
    } catch (const std::exception& e) {
        // An Apu that cannot take the rate, or memory running out: a failed save, nothing worse.
        ok_ = false;
        error_ = e.what();
    }
    finished_.store(true, std::memory_order_release);
}

#include "player/AudioFile.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "apu/Apu.h"
#include "player/Player.h"
#include "song/Song.h"

namespace {

std::string lowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int formatFor(AudioFileType type) {
    switch (type) {
        case AudioFileType::Flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case AudioFileType::Ogg: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case AudioFileType::Wav: break;
    }
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

void putLe(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = uint8_t(value >> (8 * i));
}

}  // namespace

bool audioFileTypeFor(const std::string& path, AudioFileType& type) {
    const std::string ext = lowerExtension(path);
    if (ext == ".wav") type = AudioFileType::Wav;
    else if (ext == ".flac") type = AudioFileType::Flac;
    else if (ext == ".ogg") type = AudioFileType::Ogg;
    else {
        // A device or a pipe needs no extension: it gets WAV.
        struct stat st;
        if (!ext.empty() || stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return false;
        type = AudioFileType::Wav;
    }
    return true;
}

AudioFileSink::~AudioFileSink() { abandon(); }

bool AudioFileSink::fail(const std::string& what) {
    error_ = what;
    abandon();
    return false;
}

bool AudioFileSink::open(const std::string& path, AudioFileType type, long sampleRate) {
    abandon();
    error_.clear();
    if (path.empty()) return fail("no file name");
    path_ = path;
    struct stat old;
    const bool exists = stat(path.c_str(), &old) == 0;
    inPlace_ = exists && !S_ISREG(old.st_mode);
    if (inPlace_) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0) return fail("cannot write " + path + ": " + std::strerror(errno));
    } else {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            temp_ = path + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
            fd_ = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ < 0) {
            const int why = errno;
            temp_.clear();
            return fail("cannot write " + path + ": " + std::strerror(why));
        }
        // Replacing a file keeps its permissions.
        if (exists) (void)fchmod(fd_, old.st_mode & 07777);
    }
    SF_INFO info = {};
    info.samplerate = int(sampleRate);
    info.channels = 1;
    info.format = formatFor(type);
    file_ = sf_open_fd(fd_, SFM_WRITE, &info, 0);
    if (!file_) return fail("cannot write " + path + ": " + sf_strerror(nullptr));
    return true;
}

bool AudioFileSink::write(const int16_t* samples, size_t count) {
    if (!file_) return false;
    SNDFILE* file = static_cast<SNDFILE*>(file_);
    if (sf_write_short(file, samples, sf_count_t(count)) != sf_count_t(count) || sf_error(file) != SF_ERR_NO_ERROR)
        return fail("cannot write " + path_ + ": " + sf_strerror(file));
    return true;
}

bool AudioFileSink::commit() {
    if (!file_) return fail(error_.empty() ? "nothing to write" : error_);
    SNDFILE* file = static_cast<SNDFILE*>(file_);
    sf_write_sync(file);
    const bool written = sf_error(file) == SF_ERR_NO_ERROR;
    const int closed = sf_close(file);
    file_ = nullptr;
    if (!written || closed != 0) return fail("cannot write " + path_);
    if (!inPlace_ && fsync(fd_) != 0) return fail("cannot write " + path_ + ": " + std::strerror(errno));
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail("cannot write " + path_ + ": " + std::strerror(errno));
    if (!inPlace_) {
        if (std::rename(temp_.c_str(), path_.c_str()) != 0)
            return fail("cannot write " + path_ + ": " + std::strerror(errno));
        temp_.clear();
        const int dirFd = ::open(directoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            (void)fsync(dirFd);
            ::close(dirFd);
        }
    }
    return true;
}

void AudioFileSink::abandon() {
    if (file_) sf_close(static_cast<SNDFILE*>(file_));
    file_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}

WavStreamSink::WavStreamSink(int fd, long sampleRate) : fd_(fd) {
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) start_ = long(lseek(fd, 0, SEEK_CUR));
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    putLe(header + 4, 0xFFFFFFFFu, 4);
    putLe(header + 16, 16, 4);                      // format chunk size
    putLe(header + 20, 1, 2);                       // integer PCM
    putLe(header + 22, 1, 2);                       // mono
    putLe(header + 24, uint32_t(sampleRate), 4);
    putLe(header + 28, uint32_t(sampleRate * 2), 4);  // bytes per second
    putLe(header + 32, 2, 2);                       // bytes per sample frame
    putLe(header + 34, 16, 2);                      // bits per sample
    std::memcpy(header + 36, "data", 4);
    putLe(header + 40, 0xFFFFFFFFu, 4);
    ok_ = writeAll(header, sizeof header);
}

bool WavStreamSink::writeAll(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

bool WavStreamSink::write(const int16_t* samples, size_t count) {
    if (!ok_) return false;
    uint8_t block[4096];
    while (count > 0) {
        const size_t n = std::min(count, sizeof block / 2);
        for (size_t i = 0; i < n; ++i) putLe(block + 2 * i, uint16_t(samples[i]), 2);
        if (!writeAll(block, 2 * n)) return ok_ = false;
        bytes_ += 2 * n;
        samples += n;
        count -= n;
    }
    return true;
}

bool WavStreamSink::finish() {
    if (!ok_) return false;
    if (start_ >= 0 && bytes_ <= 0xFFFFFFFFull - 36) {
        uint8_t size[4];
        putLe(size, uint32_t(bytes_ + 36), 4);
        bool patched = pwrite(fd_, size, 4, off_t(start_) + 4) == 4;
        putLe(size, uint32_t(bytes_), 4);
        patched = patched && pwrite(fd_, size, 4, off_t(start_) + 40) == 4;
        if (!patched) return false;
    }
    return true;
}

std::string stemPath(const std::string& path, int channel) {
    std::string name;
    for (const char* c = CHANNEL_NAMES[channel]; *c; ++c)
        if (*c != ' ') name += *c;
    const std::string ext = lowerExtension(path);
    return path.substr(0, path.size() - ext.size()) + "-" + name + path.substr(path.size() - ext.size());
}

namespace {

// One render of the song into one sink, on a fresh output buffer, Apu and Player.
RenderResult renderInto(Song& song, const RenderOptions& options, SampleSink& sink, const RenderProgress& progress) {
    auto buffer = std::make_unique<Nonlinear_Buffer>();
    auto apu = std::make_unique<Apu>(*buffer);
    auto player = std::make_unique<Player>(song, *apu);
    return renderStream(*player, *apu, options, sink, progress);
}

}  // namespace

bool exportAudio(Song& song, const std::string& path, const AudioExportOptions& options,
                 const RenderProgress& progress, std::string& error) {
    const RenderOptions& render = options.render;
    if (path == "-") {
        if (options.stems) {
            error = "stems need a file name, not standard output";
            return false;
        }
        WavStreamSink sink(STDOUT_FILENO, render.sampleRate);
        const RenderResult result = renderInto(song, render, sink, progress);
        if (!result.ok || !sink.finish()) {
            error = result.cancelled ? "cancelled" : "cannot write to standard output";
            return false;
        }
        return true;
    }
    AudioFileType type;
    if (!audioFileTypeFor(path, type)) {
        error = "unknown audio file type (use .wav, .flac or .ogg): " + path;
        return false;
    }
    std::vector<int> channels;
    if (options.stems) {
        for (int c = 0; c < CHANNEL_COUNT; ++c)
            if (render.channelMask & (1 << c)) channels.push_back(c);
        if (channels.empty()) {
            error = "no channel to render";
            return false;
        }
    } else {
        channels.push_back(-1);
    }
    for (size_t i = 0; i < channels.size(); ++i) {
        const int channel = channels[i];
        const std::string target = channel < 0 ? path : stemPath(path, channel);
        RenderOptions one = render;
        if (channel >= 0) one.channelMask = 1 << channel;
        const double share = 1.0 / double(channels.size());
        RenderProgress part;
        if (progress)
            part = [&, i](double done) { return progress((double(i) + done) * share); };
        AudioFileSink sink;
        if (!sink.open(target, type, render.sampleRate)) {
            error = sink.error();
            return false;
        }
        const RenderResult result = renderInto(song, one, sink, part);
        if (!result.ok) {
            error = result.cancelled ? "cancelled" : sink.error();
            return false;
        }
        if (!sink.commit()) {
            error = sink.error();
            return false;
        }
    }
    return true;
}

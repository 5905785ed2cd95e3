#include "song/SampleImport.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "base/Require.h"

namespace {

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

// One output level from a frame's channels: full scale +1.0 gives 127, -1.0 gives 1.
uint8_t levelOf(const double* frame, int channels) {
    double sum = 0.0;
    for (int c = 0; c < channels; ++c) sum += frame[c];
    double average = sum / channels;
    // Float files may hold values beyond full scale, or NaN when damaged.
    average = std::isnan(average) ? 0.0 : std::clamp(average, -1.0, 1.0);
    return uint8_t(int(average * 63.0 + 64.0));
}

// A sound file held in memory, read through libsndfile's virtual I/O.
struct MemoryFile {
    const uint8_t* data;
    sf_count_t size;
    sf_count_t position;
};

sf_count_t memoryLength(void* user) { return static_cast<MemoryFile*>(user)->size; }

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    auto* m = static_cast<MemoryFile*>(user);
    sf_count_t base = whence == SEEK_CUR ? m->position : whence == SEEK_END ? m->size : 0;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
    // Positions outside the bytes are refused rather than wrapped; reads at the end give nothing.
    if (offset < -base || offset > m->size - base) return -1;
    m->position = base + offset;
    return m->position;
}

sf_count_t memoryRead(void* ptr, sf_count_t count, void* user) {
    auto* m = static_cast<MemoryFile*>(user);
    if (count <= 0) return 0;
    sf_count_t n = std::min(count, m->size - m->position);
    if (n > 0) std::memcpy(ptr, m->data + m->position, size_t(n));
    m->position += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t memoryTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

// Decodes an opened sound file into output levels (see readPcmSample).
bool convertToLevels(SNDFILE* file, const SF_INFO& info, const std::string& name, ImportedSample& out) {
    sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    if (info.samplerate <= 0 || info.channels <= 0) return false;

    const sf_count_t frames = std::max<sf_count_t>(info.frames, 0);
    const int channels = info.channels;
    const double step = info.samplerate / PCM_SAMPLE_RATE;
    const double exactLength = double(frames) / step;
    if (!(exactLength < double(MAX_IMPORTED_SAMPLE_BYTES) + 1.0)) return false;
    const uint32_t length = uint32_t(exactLength);

    SampleSlot sample;
    if (length > 0) {
        std::unique_ptr<uint8_t[]> levels(new uint8_t[length]);
        // Decode in chunks of whole frames rather than all at once: a long file would need
        // eight bytes per item in memory. A short file needs no more than its own frames.
        const sf_count_t chunkFrames = std::clamp<sf_count_t>(frames, 1, std::max(1, 65536 / channels));
        std::vector<double> chunk(size_t(chunkFrames) * size_t(channels));
        sf_count_t chunkStart = 0, chunkCount = 0;
        bool exhausted = false;
        double p = 0.0;
        for (uint32_t k = 0; k < length; ++k, p += step) {
            // The running sum can drift a hair past the last frame.
            sf_count_t f = std::min<sf_count_t>(sf_count_t(p), frames - 1);
            while (!exhausted && f >= chunkStart + chunkCount) {
                chunkStart += chunkCount;
                sf_count_t items = sf_read_double(file, chunk.data(), chunkFrames * channels);
                chunkCount = std::max<sf_count_t>(items, 0) / channels;
                if (chunkCount == 0) exhausted = true;
            }
            levels[k] = exhausted ? 64 : levelOf(&chunk[size_t(f - chunkStart) * channels], channels);
        }
        sample.data = std::move(levels);
        sample.size = length;
    }
    out.type = INST_PCM;
    out.sample = std::move(sample);
    out.name = name;
    return true;
}

}  // namespace

std::string sampleNameFromPath(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > size_t(MAX_NAME_LENGTH)) {
        size_t cut = MAX_NAME_LENGTH;
        // Step back over UTF-8 continuation bytes so that no character is cut in half.
        while (cut > 0 && (uint8_t(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return name;
}

bool readDpcmSample(const std::string& path, ImportedSample& out) {
    // Non-blocking open: a FIFO must not stall the editor; it is refused just below.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
              uint64_t(st.st_size) <= MAX_IMPORTED_SAMPLE_BYTES;
    SampleSlot sample;
    if (ok && st.st_size > 0) {
        const uint32_t size = uint32_t(st.st_size);
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
        uint32_t done = 0;
        while (ok && done < size) {
            ssize_t n = ::read(fd, bytes.get() + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                ok = false;  // error, or the file shrank while we read it
            else
                done += uint32_t(n);
        }
        sample.data = std::move(bytes);
        sample.size = size;
    }
    ::close(fd);
    if (!ok) return false;
    out.type = INST_DPCM;
    out.sample = std::move(sample);
    out.name = sampleNameFromPath(path);
    return true;
}

bool readPcmSample(const std::string& path, ImportedSample& out) {
    // libsndfile would block on a FIFO and fail late on a directory.
    if (!isRegularFile(path)) return false;
    SF_INFO info = {};
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    return file && convertToLevels(file.get(), info, sampleNameFromPath(path), out);
}

bool readPcmBytes(const uint8_t* bytes, size_t size, const std::string& path, ImportedSample& out) {
    BF_REQUIRE(bytes || size == 0);
    MemoryFile memory{bytes, bytes ? sf_count_t(size) : 0, 0};
    SF_VIRTUAL_IO io = {memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    SF_INFO info = {};
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open_virtual(&io, SFM_READ, &info, &memory));
    return file && convertToLevels(file.get(), info, sampleNameFromPath(path), out);
}

bool readDpcmBytes(const uint8_t* bytes, size_t size, const std::string& path, ImportedSample& out) {
    BF_REQUIRE(bytes || size == 0);
    if (size > MAX_IMPORTED_SAMPLE_BYTES) return false;
    out.type = INST_DPCM;
    out.sample.assign(bytes, uint32_t(size), false);
    out.name = sampleNameFromPath(path);
    return true;
}

bool applyImportedSample(Song& song, int slot, ImportedSample& imported) {
    if (slot < 1 || slot >= INSTRUMENT_SLOTS) return false;
    if (imported.type != INST_PCM && imported.type != INST_DPCM) return false;
    Instrument& instrument = song.instruments[slot];
    SampleSlot& target = imported.type == INST_DPCM ? instrument.dpcm : instrument.pcm;
    imported.sample.loop = false;
    std::swap(target, imported.sample);
    instrument.type = imported.type;
    std::swap(song.instrumentNames[slot], imported.name);
    return true;
}

bool loadDpcmSample(Song& song, int slot, const std::string& path) {
    ImportedSample imported;
    if (slot < 1 || slot >= INSTRUMENT_SLOTS || !readDpcmSample(path, imported)) return false;
    return applyImportedSample(song, slot, imported);
}

bool loadPcmSample(Song& song, int slot, const std::string& path) {
    ImportedSample imported;
    if (slot < 1 || slot >= INSTRUMENT_SLOTS || !readPcmSample(path, imported)) return false;
    return applyImportedSample(song, slot, imported);
}

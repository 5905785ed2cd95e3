#include "export/NsfWriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "base/Require.h"
#include "driver/NsfDriverImage.h"
#include "song/Song.h"

namespace {

constexpr int BANK_SIZE = 4096;
constexpr int MAX_BANKS = 256;                     // NSF bank numbers are bytes
constexpr int IMAGE_TABLE_BASE = NSF_DRIVER_SIZE;  // bank-image offset of the tag

[[noreturn]] void tooLong() { throw std::runtime_error("The song is too long for NSF export"); }

class BitWriter {
  public:
    void bit(int b) {
        if (used_ == 0) bytes_.push_back(0);
        if (b) bytes_.back() |= uint8_t(1u << used_);
        used_ = (used_ + 1) & 7;
    }
    void value(int v, int bits) {
        for (int i = bits - 1; i >= 0; --i) bit((v >> i) & 1);
    }
    std::vector<uint8_t> take() { return std::move(bytes_); }

  private:
    std::vector<uint8_t> bytes_;
    int used_ = 0;
};

void put16(std::vector<uint8_t>& out, size_t at, int value) {
    out[at] = uint8_t(value & 0xFF);
    out[at + 1] = uint8_t((value >> 8) & 0xFF);
}

// The bank image: bank-image offsets are indexes into `bytes`.
struct Image {
    std::vector<uint8_t> bytes;

    size_t size() const { return bytes.size(); }
    int dataOffset() const { return int(bytes.size()) - IMAGE_TABLE_BASE; }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    void alignData(int multiple) {
        while (dataOffset() % multiple != 0) bytes.push_back(0);
    }
    void alignImage(size_t multiple) {
        while (bytes.size() % multiple != 0) bytes.push_back(0);
    }
    // Moves to the next bank when `length` bytes do not fit in the rest of a non-empty bank.
    void keepInBank(size_t length) {
        size_t used = bytes.size() % BANK_SIZE;
        if (used != 0 && length > BANK_SIZE - used) zeros(BANK_SIZE - used);
    }
    void append(const std::vector<uint8_t>& data) { bytes.insert(bytes.end(), data.begin(), data.end()); }
};

// A channel's distinct stretches: the value record that identifies one, and its stream.
struct ChannelEntries {
    std::vector<std::vector<int>> records;
    std::vector<std::vector<uint8_t>> streams;
    std::vector<int> frameCounts;
    std::vector<uint8_t> orderList;  // entry per captured stretch
};

std::vector<int> valueRecord(const std::vector<NsfFrame>& frames, int channel) {
    std::vector<int> record;
    for (const NsfFrame& f : frames) {
        for (int v = NSF_STREAM_FIRST[channel]; v < NSF_STREAM_FIRST[channel + 1]; ++v)
            record.push_back(f.values[v]);
        if (channel == NSF_CHANNELS - 1) record.push_back(f.sampleStart);
    }
    return record;
}

void writeName(std::vector<uint8_t>& file, size_t at, const std::string& name) {
    std::string text = name.empty() ? "<?>" : name.substr(0, 31);
    std::memset(&file[at], 0, 32);
    std::memcpy(&file[at], text.data(), text.size());
}

}  // namespace

std::vector<uint8_t> encodeNsfStream(const std::vector<NsfFrame>& frames, int channel) {
    BF_REQUIRE(channel >= 0 && channel < NSF_CHANNELS);
    BitWriter out;
    NsfValues previous;
    previous.fill(-1);
    for (const NsfFrame& frame : frames) {
        NsfValues last = previous;
        // A started sample sends its kind even when it is unchanged.
        if (frame.sampleStart) last[NSF_DPCM_KIND] = -2;
        for (int v = NSF_STREAM_FIRST[channel]; v < NSF_STREAM_FIRST[channel + 1]; ++v) {
            int value = frame.values[v];
            if (NSF_VALUE_BITS[v] == 0) {
                out.bit(value > 0 ? value & 1 : 0);
            } else if (value == -1 || value == last[v]) {
                out.bit(0);
            } else {
                out.bit(1);
                out.value(value, NSF_VALUE_BITS[v]);
            }
        }
        previous = frame.values;
    }
    return out.take();
}

std::vector<uint8_t> nsfPcmUnits(const NsfSample& sample, bool ntsc) {
    std::vector<uint8_t> out;
    const std::vector<uint8_t>& src = sample.bytes;
    if (ntsc) {
        for (size_t k = 0;; ++k) {
            size_t from = size_t(double(k) * NSF_NTSC_PCM_STEP);
            if (from >= src.size()) break;
            out.push_back(src[from]);
        }
    } else {
        out = src;
    }
    if (out.empty()) return std::vector<uint8_t>(NSF_PCM_UNIT, 0x3F);
    uint8_t last = out.back();
    while (out.size() % NSF_PCM_UNIT != 0) out.push_back(last);
    return out;
}

namespace {

void checkCapture(const NsfCapture& capture, std::span<const uint8_t> driverImage) {
    if (driverImage.size() != size_t(NSF_DRIVER_SIZE))
        throw std::logic_error("NSF driver image has the wrong size");
    if (capture.stretches.empty() || capture.loopTarget < 0 ||
        capture.loopTarget >= int(capture.stretches.size()))
        throw std::logic_error("NSF capture without stretches or with a bad loop target");
    if (capture.stretches.size() > size_t(NSF_MAX_STRETCHES)) tooLong();
    for (const auto& stretch : capture.stretches)
        if (stretch.empty() || stretch.size() > size_t(NSF_MAX_STRETCH_FRAMES))
            throw std::logic_error("NSF stretch with a bad frame count");
}

// Distinct stretches per channel; identical records share one stream.
void collectEntries(const NsfCapture& capture, ChannelEntries (&channels)[NSF_CHANNELS]) {
    for (const auto& stretch : capture.stretches) {
        for (int c = 0; c < NSF_CHANNELS; ++c) {
            ChannelEntries& ch = channels[c];
            std::vector<int> record = valueRecord(stretch, c);
            auto found = std::find(ch.records.begin(), ch.records.end(), record);
            int entry = int(found - ch.records.begin());
            if (found == ch.records.end()) {
                ch.records.push_back(std::move(record));
                ch.streams.push_back(encodeNsfStream(stretch, c));
                ch.frameCounts.push_back(int(stretch.size()));
            }
            ch.orderList.push_back(uint8_t(entry));
        }
    }
}

// Where the tables went: data offsets for the directory, image offsets of the entries that are
// filled in once the banked data is placed.
struct TablePlaces {
    int directory[NSF_DIRECTORY_WORDS] = {};
    size_t stretchTable[NSF_CHANNELS] = {};
    size_t pcmTable = 0;
    size_t dpcmTable = 0;
};

TablePlaces placeTables(Image& image, ChannelEntries (&channels)[NSF_CHANNELS], const NsfCapture& capture) {
    TablePlaces places;
    for (int c = 0; c < NSF_CHANNELS; ++c) {
        ChannelEntries& ch = channels[c];
        ch.orderList.push_back(0xFF);
        // An order list stays within one 256-byte page: the driver indexes it with an 8-bit
        // register.
        int first = image.dataOffset();
        if ((first >> 8) != ((first + int(ch.orderList.size())) >> 8)) image.alignData(256);
        places.directory[2 * c] = image.dataOffset();
        image.append(ch.orderList);
        image.alignData(8);
        places.directory[2 * c + 1] = image.dataOffset();
        places.stretchTable[c] = image.size();
        image.zeros(8 * ch.streams.size());
    }
    image.alignData(8);
    places.directory[NSF_DIRECTORY_PCM_TABLE] = image.dataOffset();
    places.pcmTable = image.size();
    image.zeros(8 * capture.pcmSamples.size());
    image.alignData(4);
    places.directory[NSF_DIRECTORY_DPCM_TABLE] = image.dataOffset();
    places.dpcmTable = image.size();
    image.zeros(4 * capture.dpcmSamples.size());
    if (image.dataOffset() > NSF_TABLES_LIMIT) tooLong();
    return places;
}

void checkBanks(const Image& image) {
    if (image.size() > size_t(MAX_BANKS) * BANK_SIZE) tooLong();
}

void placeStreams(Image& image, const ChannelEntries (&channels)[NSF_CHANNELS], const TablePlaces& places) {
    for (int c = 0; c < NSF_CHANNELS; ++c) {
        const ChannelEntries& ch = channels[c];
        for (size_t e = 0; e < ch.streams.size(); ++e) {
            image.keepInBank(ch.streams[e].size());
            size_t at = image.size();
            size_t entry = places.stretchTable[c] + 8 * e;
            put16(image.bytes, entry, 0xA000 + int(at & 0xFFF));
            image.bytes[entry + 2] = uint8_t(at >> 12);
            put16(image.bytes, entry + 3, ch.frameCounts[e] - 1);
            image.append(ch.streams[e]);
            checkBanks(image);
        }
    }
}

// PCM samples: every 156-byte unit is split into a 128-byte first part, stored in a run of its
// own, and a 28-byte second part; nine second parts fill a 256-byte page.
void placePcm(Image& image, const NsfCapture& capture, size_t pcmTable) {
    if (capture.pcmSamples.empty()) return;
    std::vector<std::vector<uint8_t>> units;
    for (const NsfSample& s : capture.pcmSamples) units.push_back(nsfPcmUnits(s, capture.ntsc));
    image.alignImage(NSF_PCM_FIRST_PART);
    for (size_t s = 0; s < units.size(); ++s) {
        size_t entry = pcmTable + 8 * s;
        size_t at = image.size();
        put16(image.bytes, entry, 0xC000 + int(at & 0xFFF));
        image.bytes[entry + 2] = uint8_t(at >> 12);
        size_t count = units[s].size() / NSF_PCM_UNIT;
        if (count > 0x7FFF) tooLong();
        // A sample without data keeps its unit of filler in the file but counts no units:
        // the driver then leaves the level alone, as the editor does.
        const int counted = capture.pcmSamples[s].bytes.empty() ? 0 : int(count);
        put16(image.bytes, entry + 6, counted | (capture.pcmSamples[s].loop ? 0x8000 : 0));
        for (size_t u = 0; u < count; ++u) {
            auto from = units[s].begin() + ptrdiff_t(u * NSF_PCM_UNIT);
            image.bytes.insert(image.bytes.end(), from, from + NSF_PCM_FIRST_PART);
        }
        checkBanks(image);
    }
    if (image.size() % BANK_SIZE != 0)
        while ((image.size() & 0xFF) % NSF_PCM_SECOND_PART != 0) image.bytes.push_back(0);
    for (size_t s = 0; s < units.size(); ++s) {
        size_t entry = pcmTable + 8 * s;
        size_t at = image.size();
        put16(image.bytes, entry + 3, 0xC000 + int(at & 0xFFF));
        image.bytes[entry + 5] = uint8_t(at >> 12);
        for (size_t u = 0; u < units[s].size() / NSF_PCM_UNIT; ++u) {
            auto from = units[s].begin() + ptrdiff_t(u * NSF_PCM_UNIT + NSF_PCM_FIRST_PART);
            image.bytes.insert(image.bytes.end(), from, from + NSF_PCM_SECOND_PART);
            if ((image.size() & 0xFF) == 0xFC) image.zeros(4);
        }
        checkBanks(image);
    }
}

// DPCM samples: the DMC reads from a 64-byte aligned address in the $D000 window.
void placeDpcm(Image& image, const NsfCapture& capture, size_t dpcmTable) {
    for (size_t s = 0; s < capture.dpcmSamples.size(); ++s) {
        const NsfSample& sample = capture.dpcmSamples[s];
        image.alignImage(64);
        const bool pastEnd = dmcPlaysPastEnd(uint32_t(sample.bytes.size()));
        image.keepInBank(sample.bytes.size() + (pastEnd ? 1 : 0));
        size_t at = image.size();
        size_t entry = dpcmTable + 4 * s;
        image.bytes[entry] = uint8_t((0xD000 + (at & 0xFFF)) >> 6);
        image.bytes[entry + 1] = uint8_t(at >> 12);
        image.bytes[entry + 2] = uint8_t(std::min<size_t>(sample.bytes.size() >> 4, 255));
        // Bit 7 marks a sample without data: the driver starts nothing, as the editor does
        // (the DMC would otherwise play one byte of whatever follows).
        image.bytes[entry + 3] = uint8_t((sample.loop ? 1 : 0) | (sample.bytes.empty() ? 0x80 : 0));
        image.append(sample.bytes);
        if (pastEnd) image.bytes.push_back(DMC_PAST_END);
        checkBanks(image);
    }
}

void writeDirectory(Image& image, const TablePlaces& places, int loopTarget) {
    const size_t dir = NSF_DIRECTORY_OFFSET - NSF_HEADER_SIZE;
    for (int k = 0; k < NSF_DIRECTORY_WORDS; ++k)
        put16(image.bytes, dir + 2 * size_t(k), places.directory[k]);
    image.bytes[dir + NSF_DIRECTORY_LOOP_TARGET] = uint8_t(loopTarget);
}

std::vector<uint8_t> nsfHeader(const NsfCapture& capture) {
    namespace h = nsf_header;
    std::vector<uint8_t> file(NSF_HEADER_SIZE, 0);
    std::memcpy(&file[h::MAGIC], "NESM\x1A", 5);
    file[h::VERSION] = 1;
    file[h::SONG_COUNT] = 1;
    file[h::FIRST_SONG] = 1;
    put16(file, h::LOAD_ADDRESS, NSF_LOAD_ADDRESS);
    put16(file, h::INIT_ADDRESS, NSF_INIT_ADDRESS);
    put16(file, h::PLAY_ADDRESS, NSF_PLAY_ADDRESS);
    for (int k = 0; k < 3; ++k) writeName(file, h::TITLE + h::TEXT_SIZE * size_t(k), capture.names[k]);
    put16(file, h::NTSC_PLAY_PERIOD, 16667);
    // Initial banks of $8000-$D000 (the six bytes spell a mark), then of $E000 and $F000.
    std::memcpy(&file[h::BANKS], "ZEPHY!", 6);
    file[h::BANKS + 6] = 0;  // $E000: the driver
    file[h::BANKS + 7] = 1;  // $F000: the driver's end and the tables
    put16(file, h::PAL_PLAY_PERIOD, 20000);
    file[h::TV_SYSTEM] = capture.ntsc ? 0 : 1;
    return file;
}

}  // namespace

std::vector<uint8_t> buildNsf(const NsfCapture& capture, std::span<const uint8_t> driverImage) {
    checkCapture(capture, driverImage);
    ChannelEntries channels[NSF_CHANNELS];
    collectEntries(capture, channels);

    Image image;
    image.bytes.assign(driverImage.begin(), driverImage.end());
    image.append({'Q', '.', 'Z', '.'});
    image.zeros(NSF_DIRECTORY_SIZE);
    // Tables first: their entries that point into the banked data are filled in as it is placed.
    const TablePlaces places = placeTables(image, channels, capture);
    placeStreams(image, channels, places);
    placePcm(image, capture, places.pcmTable);
    placeDpcm(image, capture, places.dpcmTable);
    writeDirectory(image, places, capture.loopTarget);

    std::vector<uint8_t> file = nsfHeader(capture);
    file.insert(file.end(), image.bytes.begin(), image.bytes.end());
    return file;
}

std::vector<uint8_t> buildNsf(const NsfCapture& capture) {
    static_assert(NSF_DRIVER_IMAGE_SIZE == NSF_DRIVER_SIZE);
    return buildNsf(capture, std::span<const uint8_t>(nsfDriverImage, NSF_DRIVER_IMAGE_SIZE));
}

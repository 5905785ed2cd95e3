#include "song/SongFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>

namespace {

// Largest values the instrument editor lets a composer enter; old-file conversions that would
// overflow a byte (and turn into the end marker) stop there instead.
constexpr int32_t MAX_VOLUME_VALUE = 240;
constexpr int32_t MAX_NOTE_VALUE = 254;
constexpr int32_t MAX_DUTY_VALUE = 192;

// The note a legacy sample plays at after conversion to a "PCM" instrument.
constexpr uint8_t LEGACY_SAMPLE_NOTE = 37;
constexpr int LEGACY_SAMPLE_COUNT = 255;

// Fills a sample slot with the next `size` bytes; a size beyond the end of the buffer keeps only
// the bytes that are there, so a short file never makes us allocate more than it holds.
void takeSampleBytes(ByteReader& in, uint32_t size, bool loop, SampleSlot& sample) {
    sample.release();
    size_t available = std::min<size_t>(size, in.remaining());
    if (available > 0) {
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[available]);
        in.read(bytes.get(), available);
        sample.data = std::move(bytes);
        sample.size = uint32_t(available);
        sample.loop = loop;
    }
    in.skip(size - available);
}

// Size, then (only for a non-empty sample) loop byte and data.
void readSample(ByteReader& in, SampleSlot& sample) {
    uint32_t size = in.u32();
    if (size == 0) {
        sample.release();
        return;
    }
    bool loop = in.u8() != 0;
    takeSampleBytes(in, size, loop, sample);
}

void readEnvelope(ByteReader& in, Envelope& envelope) {
    envelope.loopPoint = std::min<int32_t>(in.u8(), MAX_ENVELOPE_VALUES);
    int count = in.u8();
    int kept = std::min(count, MAX_ENVELOPE_VALUES);
    uint8_t bytes[MAX_ENVELOPE_VALUES] = {};  // missing bytes of a short file read as 0
    in.read(bytes, size_t(kept));
    for (int i = 0; i < kept; ++i) envelope.values[i] = bytes[i];
    in.skip(size_t(count - kept));
    envelope.values[kept] = END_MARKER;
}

void appendSample(std::vector<uint8_t>& out, const SampleSlot& sample) {
    uint32_t size = sample.empty() ? 0 : sample.size;
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(size >> (8 * i)));
    if (size == 0) return;
    out.push_back(sample.loop ? 1 : 0);
    out.insert(out.end(), sample.data.get(), sample.data.get() + size);
}

uint8_t toByte(int32_t v) { return uint8_t(std::clamp<int32_t>(v, 0, 255)); }

// Versions below 7 pack a cell into 3 bytes: the note; the effect command (high nibble) with
// instruments 0-15 (low nibble); the parameter's low nibble (high) and high nibble (low).
PatternCell unpackCell(uint8_t a, uint8_t b, uint8_t c) {
    PatternCell cell;
    cell.note = a;
    cell.instrument = b & 0x0F;
    cell.fx = uint8_t(((c & 0x0F) << 4) | (b >> 4));
    cell.param = uint8_t(c >> 4);
    return cell;
}

void readPattern(ByteReader& in, Pattern* pattern, int version) {
    if (version >= 7) {
        // Four bytes a cell, channel-major: the file holds the pattern as it lies in memory.
        // Bytes past the end of a short file read as 0, as they would one by one.
        if (!pattern) {
            in.skip(PATTERN_BYTES);
            return;
        }
        auto* bytes = reinterpret_cast<uint8_t*>(pattern->cells);
        const size_t got = in.read(bytes, PATTERN_BYTES);
        std::memset(bytes + got, 0, PATTERN_BYTES - got);
        return;
    }
    const int channels = version == 0 ? 4 : CHANNEL_COUNT;  // version 0 had no DPCM column
    for (int ch = 0; ch < channels; ++ch) {
        for (int row = 0; row < ROWS_PER_PATTERN; ++row) {
            uint8_t a = in.u8(), b = in.u8(), c = in.u8();
            if (pattern) pattern->at(ch, row) = unpackCell(a, b, c);
        }
    }
}

struct LegacySample {
    int number = 0;  // 1-255: the note that played it
    std::string name;
    SampleSlot sample;
};

// The sample table of versions 1-7. Sample j that was played as note j with no instrument on the
// DPCM column becomes a "PCM" instrument in the next free slots, and those cells are rewritten.
void readLegacySamples(ByteReader& in, Song& song, int version) {
    // Only the entries that hold bytes matter, in table order; most tables are nearly empty.
    std::vector<LegacySample> legacy;
    for (int j = 1; j <= LEGACY_SAMPLE_COUNT; ++j) {
        int nameLength = in.u8();
        if (nameLength == 0) continue;
        LegacySample entry;
        entry.number = j;
        for (int i = 0; i < nameLength; ++i) entry.name.push_back(char(in.u8()));
        uint32_t size = version < 3 ? in.u16() : in.u32();
        bool loop = in.u8() != 0;
        takeSampleBytes(in, size, loop, entry.sample);
        if (!entry.sample.empty()) legacy.push_back(std::move(entry));
    }
    if (legacy.empty()) return;

    int k = lastUsedInstrument(song) + 1;
    for (size_t e = 0; e < legacy.size() && k < INSTRUMENT_SLOTS; ++e) {
        const int j = legacy[e].number;
        Instrument& inst = song.instruments[k];
        inst.type = INST_PCM;
        inst.pcm = std::move(legacy[e].sample);
        song.instrumentNames[k] = ("PCM: " + legacy[e].name).substr(0, MAX_NAME_LENGTH);
        for (auto& pattern : song.patterns) {
            for (auto& cell : pattern.cells[CH_DPCM]) {
                if (cell.note == j && cell.instrument == 0 && cell.fx == 0 && (cell.param & 0x0F) == 0) {
                    cell.note = LEGACY_SAMPLE_NOTE;
                    cell.instrument = uint8_t(k);
                }
            }
        }
        ++k;
    }
}

}  // namespace

InstrumentRecordFlags songRecordFlags(int version) {
    InstrumentRecordFlags f;
    f.hasFineTune = version >= 5;
    f.hasType = version >= 8;
    f.hasDpcm = version >= 9;
    f.hasColour = version >= 10;
    return f;
}

void readInstrumentRecord(ByteReader& in, Song& song, int slot, const InstrumentRecordFlags& flags,
                          SongLoadHooks& hooks) {
    if (slot < 0 || slot >= INSTRUMENT_SLOTS) return;
    Instrument& inst = song.instruments[slot];
    std::string& name = song.instrumentNames[slot];
    name.clear();
    int nameLength = in.u8();
    for (int i = 0; i < nameLength; ++i) name.push_back(char(in.u8()));
    if (slot == hooks.currentInstrument()) hooks.setNameCursor(int(name.size()));

    const int envelopes = flags.hasFineTune ? 4 : 3;
    for (int k = 0; k < envelopes; ++k) readEnvelope(in, inst.envelopes[k]);
    if (!flags.hasFineTune) inst.envelopes[ENV_FINETUNE].reset(ENV_FINETUNE);

    if (flags.hasType) {
        int type = in.u8();
        inst.type = type < INSTRUMENT_TYPE_COUNT ? InstrumentType(type) : INST_NORMAL;
        readSample(in, inst.pcm);
    }
    if (flags.hasDpcm) readSample(in, inst.dpcm);
    if (flags.hasColour) song.instrumentColours[slot] = in.u8() % COLOUR_COUNT;
}

void writeInstrumentRecord(std::vector<uint8_t>& out, const Song& song, int slot) {
    if (slot < 0 || slot >= INSTRUMENT_SLOTS) return;
    const Instrument& inst = song.instruments[slot];
    const std::string& name = song.instrumentNames[slot];
    size_t nameLength = std::min<size_t>(name.size(), 255);
    out.push_back(uint8_t(nameLength));
    out.insert(out.end(), name.begin(), name.begin() + nameLength);
    for (const Envelope& env : inst.envelopes) {
        int length = std::min(env.length(), MAX_ENVELOPE_VALUES);
        const size_t at = out.size();
        out.resize(at + 2 + size_t(length));
        uint8_t* bytes = out.data() + at;
        bytes[0] = toByte(env.loopPoint);
        bytes[1] = uint8_t(length);
        for (int i = 0; i < length; ++i) bytes[2 + i] = toByte(env.values[i]);
    }
    out.push_back(toByte(inst.type));
    appendSample(out, inst.pcm);
    appendSample(out, inst.dpcm);
    out.push_back(toByte(song.instrumentColours[slot]));
}

void convertOldVolumeAndDuty(Instrument& instrument) {
    Envelope& volume = instrument.envelopes[ENV_VOLUME];
    for (int i = 0; i < ENVELOPE_SLOTS && volume.values[i] != END_MARKER; ++i)
        volume.values[i] = std::min(volume.values[i] * 16, MAX_VOLUME_VALUE);
    Envelope& duty = instrument.envelopes[ENV_DUTY];
    for (int i = 0; i < ENVELOPE_SLOTS && duty.values[i] != END_MARKER; ++i) {
        int32_t v = std::min(duty.values[i] * 64, MAX_DUTY_VALUE);
        duty.values[i] = v == 0 ? 32 : v;  // duty 0 is stored as 32 so it is not mistaken for "unset"
    }
}

bool loadSong(Song& song, const uint8_t* data, size_t size, SongLoadHooks& hooks, int* fileVersion) {
    hooks.stopPlayback();

    ByteReader in(data, size);
    if (in.remaining() < size_t(SONG_HEADER_BYTES) || !in.startsWith(SONG_MAGIC, sizeof SONG_MAGIC))
        return false;
    in.skip(sizeof SONG_MAGIC);
    const int version = in.u8();
    const int instrumentCount = in.u8();
    const int orderCount = in.u8();
    const int patternCount = in.u8();
    if (version > SONG_FILE_VERSION || orderCount == 0) return false;

    song.ntsc = version >= 4 ? in.u8() != 0 : false;
    hooks.requestReconfigure();
    hooks.resetPositions();

    for (int i = 0; i < INSTRUMENT_SLOTS; ++i) {
        song.resetInstrument(i);
        song.instrumentColours[i] = 0;
    }
    song.orders = OrderList{};
    for (auto& p : song.patterns) p.clear();

    const InstrumentRecordFlags flags = songRecordFlags(version);
    for (int slot = 1; slot <= instrumentCount; ++slot) {
        readInstrumentRecord(in, song, slot, flags, hooks);
        Instrument& inst = song.instruments[slot];
        if (version < 2) {
            // Note values used to be offsets from 0; they are now centred on 64. A result past
            // a byte would read as the end marker, so it stops at the editor's largest value.
            Envelope& note = inst.envelopes[ENV_NOTE];
            for (int i = 0; i < ENVELOPE_SLOTS && note.values[i] != END_MARKER; ++i) {
                int32_t v = note.values[i] + 64;
                note.values[i] = v > 255 ? MAX_NOTE_VALUE : v;
            }
        }
        if (version < 6) convertOldVolumeAndDuty(inst);
    }

    song.orders.count = std::min(orderCount, MAX_ORDERS);
    for (int o = 0; o < orderCount; ++o) {
        int entry = in.u8();
        if (o < MAX_ORDERS) song.orders.entries[o] = std::min(entry, MAX_PATTERNS - 1);
    }

    for (int p = 0; p < patternCount; ++p)
        readPattern(in, p < MAX_PATTERNS ? &song.patterns[p] : nullptr, version);

    if (version >= 1 && version <= 7) readLegacySamples(in, song, version);

    song.speed = 6;
    song.tempo = 125;
    hooks.songLoaded();
    if (fileVersion) *fileVersion = version;
    return true;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    // Only regular files: a folder cannot be read, and a pipe or a device could block forever.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    try {
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        return false;  // the stream library throws on some read errors
    }
    return !file.bad();
}

bool loadSongFile(Song& song, const std::string& path, SongLoadHooks& hooks, int* fileVersion) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes)) return false;
    return loadSong(song, bytes.data(), bytes.size(), hooks, fileVersion);
}

int savedInstrumentCount(const Song& song) {
    const int used = lastUsedInstrument(song);
    for (int slot = INSTRUMENT_SLOTS - 1; slot > used; --slot) {
        const Instrument& inst = song.instruments[slot];
        if (inst.type != INST_NORMAL || !inst.pcm.empty() || !inst.dpcm.empty() || song.instrumentColours[slot] != 0)
            return slot;
    }
    return used;
}

std::vector<uint8_t> serializeSong(const Song& song) {
    const int patternCount = usedPatternCount(song);
    const int instrumentCount = savedInstrumentCount(song);
    const int orderCount = std::clamp<int>(song.orders.count, 1, MAX_ORDERS);

    std::vector<uint8_t> out(SONG_MAGIC, SONG_MAGIC + sizeof SONG_MAGIC);
    out.push_back(SONG_FILE_VERSION);
    out.push_back(uint8_t(instrumentCount));
    out.push_back(uint8_t(orderCount));
    out.push_back(uint8_t(patternCount));
    out.push_back(song.ntsc ? 1 : 0);
    for (int slot = 1; slot <= instrumentCount; ++slot) writeInstrumentRecord(out, song, slot);
    for (int o = 0; o < orderCount; ++o) out.push_back(toByte(song.orders.entries[o]));
    for (int p = 0; p < patternCount; ++p) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(song.patterns[p].cells);
        out.insert(out.end(), bytes, bytes + PATTERN_BYTES);
    }
    return out;
}

bool saveSong(const Song& song, const std::string& path) {
    return writeFileAtomically(path, serializeSong(song));
}


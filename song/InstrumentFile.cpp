#include "song/InstrumentFile.h"

#include "song/ByteReader.h"
#include "song/SongFile.h"

InstrumentRecordFlags instrumentRecordFlags(int version) {
    InstrumentRecordFlags f;
    f.hasFineTune = version >= 1;
    f.hasType = version >= 3;
    f.hasDpcm = version >= 4;
    f.hasColour = false;
    return f;
}

namespace {

bool usableSlot(int slot) { return slot >= 1 && slot < INSTRUMENT_SLOTS; }

}  // namespace

std::vector<uint8_t> serializeInstrument(const Song& song, int slot) {
    std::vector<uint8_t> out(INSTRUMENT_MAGIC, INSTRUMENT_MAGIC + sizeof INSTRUMENT_MAGIC);
    out.push_back(INSTRUMENT_FILE_VERSION);
    if (usableSlot(slot)) writeInstrumentRecord(out, song, slot);
    return out;
}

bool saveInstrument(const Song& song, int slot, const std::string& path) {
    if (!usableSlot(slot)) return false;
    return writeFileAtomically(path, serializeInstrument(song, slot));
}

bool loadInstrument(Song& song, int slot, const uint8_t* data, size_t size, SongLoadHooks& hooks,
                    int* fileVersion) {
    if (!usableSlot(slot)) return false;
    ByteReader in(data, size);
    if (in.remaining() < size_t(INSTRUMENT_HEADER_BYTES) ||
        !in.startsWith(INSTRUMENT_MAGIC, sizeof INSTRUMENT_MAGIC))
        return false;
    in.skip(sizeof INSTRUMENT_MAGIC);
    const int version = in.u8();
    if (version > INSTRUMENT_FILE_VERSION) return false;

    readInstrumentRecord(in, song, slot, instrumentRecordFlags(version), hooks);
    if (version < 2) convertOldVolumeAndDuty(song.instruments[slot]);
    if (fileVersion) *fileVersion = version;
    return true;
}

bool loadInstrument(Song& song, int slot, const std::string& path, SongLoadHooks& hooks, int* fileVersion) {
    if (!usableSlot(slot)) return false;
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes)) return false;
    return loadInstrument(song, slot, bytes.data(), bytes.size(), hooks, fileVersion);
}

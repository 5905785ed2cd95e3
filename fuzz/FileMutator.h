#pragma once
// Structure-aware mutation of song and instrument files for libFuzzer. Random bytes rarely get
// past a file's magic, version and counts, so the record readers behind them see little. These
// mutators keep the magic, keep the version readable and the counts in step with the bytes that
// follow, and mutate one part at a time: a record, the order list, a pattern, or the header.
//
// Each function takes the input as libFuzzer gives it and returns the new size (<= maxSize).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "song/InstrumentFile.h"
#include "song/SongFile.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace filemutator {

using Bytes = std::vector<uint8_t>;

// Walks one instrument record at `at` and shrinks every length in it (name, envelope counts,
// sample sizes) that runs past the end of the bytes. Returns where the record ends.
inline size_t fitRecord(Bytes& b, size_t at, const InstrumentRecordFlags& flags) {
    auto left = [&] { return at < b.size() ? b.size() - at : 0; };
    auto lengthByte = [&]() {  // a count byte followed by that many bytes
        if (left() == 0) return;
        size_t n = std::min<size_t>(b[at], left() - 1);
        b[at] = uint8_t(n);
        at += 1 + n;
    };
    auto sample = [&]() {
        if (left() < 4) {
            at = b.size();
            return;
        }
        uint32_t size = 0;
        for (int i = 0; i < 4; ++i) size |= uint32_t(b[at + i]) << (8 * i);
        if (size != 0) size = uint32_t(std::min<size_t>(size, left() > 5 ? left() - 5 : 0));
        for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(size >> (8 * i));
        at += 4;
        if (size != 0) at += 1 + size;
    };
    lengthByte();  // name
    for (int k = 0; k < (flags.hasFineTune ? 4 : 3); ++k) {
        at += left() ? 1 : 0;  // loop point
        lengthByte();          // values
    }
    if (flags.hasType) {
        at += left() ? 1 : 0;
        sample();
    }
    if (flags.hasDpcm) sample();
    if (flags.hasColour) at += left() ? 1 : 0;
    return std::min(at, b.size());
}

// Section boundaries of a song file after its counts were fitted: where each instrument record,
// the order list and each pattern start.
struct SongLayout {
    std::vector<size_t> records;  // start of each record, then the end of the last
    size_t orders = 0, patterns = 0, end = 0;
    size_t patternBytes = 0;
};

inline size_t songPatternBytes(int version) {
    return size_t(version == 0 ? 4 : CHANNEL_COUNT) * ROWS_PER_PATTERN * (version >= 7 ? 4 : 3);
}

// Makes the header valid and the counts match the bytes: the magic, a version 0-11, at least one
// order, no more records, orders or patterns than there are bytes for.
inline SongLayout fitSong(Bytes& b) {
    if (b.size() < size_t(SONG_HEADER_BYTES) + 1) b.resize(SONG_HEADER_BYTES + 1, 0);
    std::memcpy(b.data(), SONG_MAGIC, sizeof SONG_MAGIC);
    b[16] = uint8_t(b[16] % (SONG_FILE_VERSION + 1));
    const int version = b[16];
    SongLayout layout;
    size_t at = SONG_HEADER_BYTES + (version >= 4 ? 1 : 0);
    const InstrumentRecordFlags flags = songRecordFlags(version);
    int records = 0;
    while (records < b[17] && at < b.size()) {
        layout.records.push_back(at);
        at = fitRecord(b, at, flags);
        ++records;
    }
    b[17] = uint8_t(records);
    layout.records.push_back(at);
    layout.orders = at;
    size_t orders = std::clamp<size_t>(b[18], 1, std::max<size_t>(1, b.size() - std::min(at, b.size())));
    b[18] = uint8_t(orders);
    at = std::min(at + orders, b.size());
    layout.patterns = at;
    layout.patternBytes = songPatternBytes(version);
    b[19] = uint8_t(std::min<size_t>(b[19], (b.size() - at) / layout.patternBytes));
    layout.end = at + b[19] * layout.patternBytes;
    return layout;
}

// Mutates bytes [from, to) of b in place with libFuzzer's own mutations (the part may grow).
inline void mutatePart(Bytes& b, size_t from, size_t to, size_t room) {
    from = std::min(from, b.size());
    to = std::clamp(to, from, b.size());
    Bytes part(b.begin() + long(from), b.begin() + long(to));
    const size_t capacity = part.size() + std::min<size_t>(room, 512);
    part.resize(std::max<size_t>(capacity, 1));
    size_t n = LLVMFuzzerMutate(part.data(), to - from, part.size());
    part.resize(n);
    b.erase(b.begin() + long(from), b.begin() + long(to));
    b.insert(b.begin() + long(from), part.begin(), part.end());
}

// BF_FUZZ_PLAIN=1 in the environment leaves every mutation to libFuzzer (to compare coverage);
// otherwise one in sixteen still is, so broken headers and counts keep being tried.
inline bool plainMutation(unsigned seed) {
    static const bool plain = std::getenv("BF_FUZZ_PLAIN") != nullptr;
    return plain || seed % 16 == 0;
}

inline size_t finish(Bytes& b, uint8_t* data, size_t maxSize, void (*fit)(Bytes&)) {
    if (b.size() > maxSize) b.resize(maxSize);
    fit(b);
    if (b.size() > maxSize) b.resize(maxSize);  // only when maxSize is below a header
    std::memcpy(data, b.data(), b.size());
    return b.size();
}

inline size_t mutateSong(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
    if (plainMutation(seed)) return LLVMFuzzerMutate(data, size, maxSize);
    std::minstd_rand rng(seed);
    Bytes b(data, data + size);
    SongLayout layout = fitSong(b);
    const size_t room = maxSize > b.size() ? maxSize - b.size() : 0;
    switch (rng() % 8) {
        case 0:  // another version: the same bytes read through other record flags
            b[16] = uint8_t(rng() % (SONG_FILE_VERSION + 1));
            break;
        case 1: {  // a copy of a record, or a fresh one, added to the instruments
            if (b[17] == 255 || room < 64) break;
            size_t r = rng() % layout.records.size();
            Bytes record;
            if (r + 1 < layout.records.size())
                record.assign(b.begin() + long(layout.records[r]), b.begin() + long(layout.records[r + 1]));
            else
                record = {0, 0, 1, 0, 0, 1, 64, 0, 1, 32, 0, 1, 127, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            b.insert(b.begin() + long(layout.orders), record.begin(), record.end());
            ++b[17];
            break;
        }
        case 2: {  // another pattern, copied from the last one or blank, with a few cells set
            if (b[19] == 255 || room < layout.patternBytes) break;
            Bytes pattern(layout.patternBytes, 0);
            if (b[19] > 0) std::copy_n(b.begin() + long(layout.end - layout.patternBytes), pattern.size(), pattern.begin());
            for (int i = 0; i < 4; ++i) pattern[rng() % pattern.size()] = uint8_t(rng());
            b.insert(b.begin() + long(layout.end), pattern.begin(), pattern.end());
            ++b[19];
            break;
        }
        case 3:  // the order list
            mutatePart(b, layout.orders, layout.patterns, room);
            break;
        case 4:  // one pattern
            if (b[19] > 0) {
                size_t p = layout.patterns + (rng() % b[19]) * layout.patternBytes;
                mutatePart(b, p, p + layout.patternBytes, 0);
            }
            break;
        case 5:  // what follows the patterns (the old sample table)
            mutatePart(b, layout.end, b.size(), room);
            break;
        case 6: {  // one record
            if (b[17] == 0) break;
            size_t r = rng() % b[17];
            mutatePart(b, layout.records[r], layout.records[r + 1], room);
            break;
        }
        default:  // anything, counts included
            mutatePart(b, 16, b.size(), room);
            break;
    }
    return finish(b, data, maxSize, [](Bytes& bytes) { fitSong(bytes); });
}

inline void fitInstrument(Bytes& b) {
    if (b.size() < size_t(INSTRUMENT_HEADER_BYTES)) b.resize(INSTRUMENT_HEADER_BYTES, 0);
    std::memcpy(b.data(), INSTRUMENT_MAGIC, sizeof INSTRUMENT_MAGIC);
    b[16] = uint8_t(b[16] % (INSTRUMENT_FILE_VERSION + 1));
    fitRecord(b, INSTRUMENT_HEADER_BYTES, instrumentRecordFlags(b[16]));
}

inline size_t mutateInstrument(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
    if (plainMutation(seed)) return LLVMFuzzerMutate(data, size, maxSize);
    std::minstd_rand rng(seed);
    Bytes b(data, data + size);
    fitInstrument(b);
    const size_t room = maxSize > b.size() ? maxSize - b.size() : 0;
    if (rng() % 4 == 0)
        b[16] = uint8_t(rng() % (INSTRUMENT_FILE_VERSION + 1));
    else
        mutatePart(b, INSTRUMENT_HEADER_BYTES, b.size(), room);
    return finish(b, data, maxSize, fitInstrument);
}

}  // namespace filemutator

#pragma once
// Reads an exported NSF back the way the driver does: directory, order lists, stretch tables,
// the bit-packed streams through their banks, and the sample tables. Used to check the writer
// and to predict what the driver must write. Every offset into the file is read here.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "export/NsfCapture.h"
#include "export/NsfWriter.h"

struct NsfStretchEntry {
    int window = 0, bank = 0, frames = 0;  // window: the stream's address in $A000-$AFFF
};

struct NsfPcmEntry {
    int firstAddress = 0, firstBank = 0, secondAddress = 0, secondBank = 0, units = 0;
    bool loop = false;
};

struct NsfDpcmEntry {
    int address = 0, bank = 0, length = 0, loop = 0;
    // Bank-image offset the DMC starts reading at.
    int imageOffset() const { return bank * 4096 + ((address * 64 + 0xC000) - 0xD000); }
};

// One decoded frame of a stream: the values sent (nullopt = not sent); raw bits as 0 or 1.
using NsfSentValues = std::vector<std::optional<int>>;

struct NsfReader {
    std::vector<uint8_t> file;
    int directory[NSF_DIRECTORY_WORDS] = {};
    int loopTarget = 0;
    std::vector<int> orderLists[NSF_CHANNELS];
    std::vector<NsfStretchEntry> entries[NSF_CHANNELS];
    std::vector<NsfPcmEntry> pcm;
    std::vector<NsfDpcmEntry> dpcm;

    // Parses the tables; pcmCount/dpcmCount say how many sample entries to read.
    explicit NsfReader(std::vector<uint8_t> bytes, int pcmCount = 0, int dpcmCount = 0)
        : file(std::move(bytes)) {
        const auto word = [&](int d) { return dataByte(d) | dataByte(d + 1) << 8; };
        const int at = NSF_DIRECTORY_OFFSET - NSF_TAG_OFFSET;
        for (int k = 0; k < NSF_DIRECTORY_WORDS; ++k) directory[k] = word(at + 2 * k);
        loopTarget = dataByte(at + NSF_DIRECTORY_LOOP_TARGET);
        for (int c = 0; c < NSF_CHANNELS; ++c) {
            for (int d = directory[2 * c]; dataByte(d) != 0xFF; ++d) orderLists[c].push_back(dataByte(d));
            int entryCount = 0;
            for (int e : orderLists[c]) entryCount = std::max(entryCount, e + 1);
            for (int t = directory[2 * c + 1]; int(entries[c].size()) < entryCount; t += 8)
                entries[c].push_back({word(t), dataByte(t + 2), word(t + 3) + 1});
        }
        for (int t = directory[NSF_DIRECTORY_PCM_TABLE]; int(pcm.size()) < pcmCount; t += 8)
            pcm.push_back({word(t), dataByte(t + 2), word(t + 3), dataByte(t + 5), word(t + 6) & 0x7FFF,
                           bool(word(t + 6) & 0x8000)});
        for (int t = directory[NSF_DIRECTORY_DPCM_TABLE]; int(dpcm.size()) < dpcmCount; t += 4)
            dpcm.push_back({dataByte(t), dataByte(t + 1), dataByte(t + 2), dataByte(t + 3)});
    }

    uint8_t imageByte(size_t imageOffset) const { return file.at(imageOffset + NSF_HEADER_SIZE); }
    int dataByte(int dataOffset) const { return file.at(size_t(NSF_TAG_OFFSET + dataOffset)); }

    // Decodes entry `e` of channel `c`: per frame, the values of that stream.
    std::vector<NsfSentValues> decode(int c, int e) const {
        const NsfStretchEntry& entry = entries[c].at(size_t(e));
        // Follows the stream across a bank end the way the driver's pointer does.
        int bank = entry.bank, window = entry.window, bit = 0;
        const auto nextBit = [&]() {
            const int b = (imageByte(size_t(bank * 4096 + window - 0xA000)) >> bit) & 1;
            if (++bit == 8) {
                bit = 0;
                if (++window == 0xB000) window = 0xA000, ++bank;
            }
            return b;
        };
        std::vector<NsfSentValues> frames(size_t(entry.frames));
        for (NsfSentValues& sent : frames) {
            for (int v = NSF_STREAM_FIRST[c]; v < NSF_STREAM_FIRST[c + 1]; ++v) {
                std::optional<int> value;
                if (NSF_VALUE_BITS[v] == 0 || nextBit()) value = NSF_VALUE_BITS[v] == 0 ? nextBit() : 0;
                for (int i = 0; value && i < NSF_VALUE_BITS[v]; ++i) value = *value << 1 | nextBit();
                sent.push_back(value);  // a raw bit, a value after its flag, or nothing
            }
        }
        return frames;
    }

    // Reassembles the PCM bytes of sample s by following the driver's pointer rules.
    std::vector<uint8_t> pcmBytes(int s) const {
        const NsfPcmEntry& p = pcm.at(size_t(s));
        std::vector<uint8_t> out;
        int a1 = p.firstAddress, b1 = p.firstBank, a2 = p.secondAddress, b2 = p.secondBank;
        for (int u = 0; u < p.units; ++u) {
            for (int i = 0; i < 128; ++i) out.push_back(imageByte(size_t(b1 * 4096 + a1 - 0xC000 + i)));
            for (int i = 0; i < 28; ++i) out.push_back(imageByte(size_t(b2 * 4096 + a2 - 0xC000 + i)));
            a1 += 128;
            if (a1 == 0xD000) a1 = 0xC000, ++b1;
            a2 += 28;
            if ((a2 & 0xFF) == 0xFC) a2 += 4;
            if (a2 == 0xD000) a2 = 0xC000, ++b2;
        }
        return out;
    }
};

// Frames whose values change now and then, with −1 sprinkled in, as a player produces them; with
// `tonesOnly` the DPCM channel sends nothing.
inline std::vector<NsfFrame> randomStretch(std::mt19937& rng, int frames, bool tonesOnly = false) {
    std::vector<NsfFrame> out;
    NsfFrame f;
    f.values.fill(-1);
    for (int i = 0; i < frames; ++i) {
        for (int v = 0; v < (tonesOnly ? NSF_DPCM_KIND : NSF_VALUE_COUNT); ++v) {
            if (rng() % 4 != 0 && i > 0) continue;
            f.values[v] = rng() % 5 == 0 ? -1 : int(rng() % (1u << std::max(NSF_VALUE_BITS[v], 1)));
        }
        f.values[NSF_TRIANGLE_CONTROL] = 0x80 | int(rng() & 1);
        f.sampleStart = !tonesOnly && rng() % 7 == 0;
        out.push_back(f);
    }
    return out;
}

// The values the writer must send for a sequence of frames of one stretch (previous values −1).
inline std::vector<NsfSentValues> expectedSent(const std::vector<NsfFrame>& frames, int c) {
    std::vector<NsfSentValues> out;
    NsfValues previous;
    previous.fill(-1);
    for (const NsfFrame& f : frames) {
        NsfSentValues& sent = out.emplace_back();
        for (int v = NSF_STREAM_FIRST[c]; v < NSF_STREAM_FIRST[c + 1]; ++v) {
            const int value = f.values[v];
            const bool forced = v == NSF_DPCM_KIND && f.sampleStart;
            if (NSF_VALUE_BITS[v] == 0)
                sent.push_back(value > 0 ? value & 1 : 0);
            else if (value != -1 && (value != previous[v] || forced))
                sent.push_back(value & ((1 << NSF_VALUE_BITS[v]) - 1));
            else
                sent.emplace_back();
        }
        previous = f.values;
    }
    return out;
}

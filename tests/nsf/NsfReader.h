#pragma once
// Reads an exported NSF back the way the driver does: directory, order lists, stretch tables,
// the bit-packed streams through their banks, and the sample tables. Used to check the writer
// and to predict what the driver must write.

#include <cstdint>
#include <optional>
#include <vector>

#include "export/NsfCapture.h"
#include "export/NsfWriter.h"

struct NsfStretchEntry {
    int window = 0;  // $A000-based address
    int bank = 0;
    int frames = 0;
    int imageOffset() const { return bank * 4096 + (window - 0xA000); }
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

// One decoded frame of a stream: the values sent (nullopt = not sent), and for the triangle the
// raw control bit.
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
    explicit NsfReader(std::vector<uint8_t> bytes, int pcmCount = 0, int dpcmCount = 0);

    uint8_t imageByte(size_t imageOffset) const { return file.at(imageOffset + NSF_HEADER_SIZE); }
    int dataByte(int dataOffset) const { return file.at(size_t(NSF_TAG_OFFSET + dataOffset)); }
    // Decodes entry `e` of channel `c`: per frame, the values of that stream.
    std::vector<NsfSentValues> decode(int c, int e) const;
    // Reassembles the PCM bytes of sample s by following the driver's pointer rules.
    std::vector<uint8_t> pcmBytes(int s) const;
};

// The values the writer must send for a sequence of frames of one stretch (previous values −1).
std::vector<NsfSentValues> expectedSent(const std::vector<NsfFrame>& frames, int channel);

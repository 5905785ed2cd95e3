// Feeds arbitrary bytes to the instrument-file loader. Whatever loads must save and load again
// to the same instrument.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz/FileMutator.h"
#include "song/InstrumentFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    song->resetInstrument(1);
    song->resetInstrument(2);
    if (!loadInstrument(*song, 1, data, size, hooks)) return 0;
    std::vector<uint8_t> bytes = serializeInstrument(*song, 1);
    if (!loadInstrument(*song, 2, bytes.data(), bytes.size(), hooks)) std::abort();
    if (!(song->instruments[1] == song->instruments[2])) std::abort();
    if (song->instrumentNames[1] != song->instrumentNames[2]) std::abort();
    return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
    return filemutator::mutateInstrument(data, size, maxSize, seed);
}

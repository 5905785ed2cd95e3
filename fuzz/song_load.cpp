// Feeds arbitrary bytes to the song loader. Whatever loads must also save and load again to the
// same bytes. Mutations keep the file's header and counts in step (fuzz/FileMutator.h).
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz/FileMutator.h"
#include "song/SongFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto song = std::make_unique<Song>();
    static auto again = std::make_unique<Song>();
    SongLoadHooks hooks;
    if (!loadSong(*song, data, size, hooks)) return 0;
    std::vector<uint8_t> first = serializeSong(*song);
    if (!loadSong(*again, first.data(), first.size(), hooks)) std::abort();
    if (serializeSong(*again) != first) std::abort();
    return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
    return filemutator::mutateSong(data, size, maxSize, seed);
}

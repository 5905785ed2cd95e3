// Feeds arbitrary bytes to sample import, as a sound file for libsndfile when the first byte is
// even and as raw DMC bytes when it is odd, and puts what was read into an instrument. A read
// sample must fit the import limit and, for sound files, hold only levels 1-127.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "song/SampleImport.h"

// Some damaged Ogg streams make the system's Vorbis decoder lose its stream information while
// libsndfile gives up on the file; that leak is theirs, not ours, and would hide everything else.
extern "C" const char* __lsan_default_suppressions() { return "leak:libvorbis.so\nleak:libogg.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto song = std::make_unique<Song>();
    if (size == 0) return 0;
    const bool dpcm = data[0] & 1;
    ImportedSample imported;
    const bool read = dpcm ? readDpcmBytes(data + 1, size - 1, "fuzz.dmc", imported)
                           : readPcmBytes(data + 1, size - 1, "fuzz.wav", imported);
    if (!read) return 0;
    if (imported.sample.size > MAX_IMPORTED_SAMPLE_BYTES) std::abort();
    if (!dpcm)
        for (uint32_t i = 0; i < imported.sample.size; ++i)
            if (imported.sample.data[i] < 1 || imported.sample.data[i] > 127) std::abort();
    if (!applyImportedSample(*song, 1, imported)) std::abort();
    return 0;
}

// Feeds arbitrary bytes to the picture decoder the backdrop goes through, then lays what decoded
// into its texture square. Refusals are expected; reads outside the bytes, huge allocations,
// pixels that do not match the reported size and a size other than the header's are bugs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/ImageDecoder.h"

// A picture allowed but larger than this is not decoded here: its pixels go through the same
// code as a small picture's, only for longer (seconds under the sanitizers for a 17-byte file
// that claims 4096 x 4096), which left the fuzzer decoding big blank pictures most of its time.
constexpr long kDecodedPixels = 64 * 64;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = 0, height = 0;
    if (readPictureSize(data, size, width, height) != nullptr || long(width) * height > kDecodedPixels) return 0;
    Image image;
    if (decodePicture(data, size, image) != nullptr) return 0;
    if (image.width < 1 || image.height < 1 || image.width != width || image.height != height ||
        image.pixels.size() != size_t(image.width) * size_t(image.height) * 4)
        std::abort();
    textureLayout(image);
    return 0;
}

#include "platform/ImageDecoder.h"

#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

// The decoder reads only the formats a backdrop needs; the others are not compiled in at all.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_FAILURE_USERMSG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_MAX_DIMENSIONS MAX_PICTURE_SIDE
// Zeroed memory, so that anything the decoder reads without having set it (a Huffman table no
// segment defined, below) is the same harmless zeros every time rather than what was there before.
#define STBI_MALLOC(size) std::calloc(1, size)
#define STBI_REALLOC(pointer, size) std::realloc(pointer, size)
#define STBI_FREE(pointer) std::free(pointer)
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

constexpr const char* TOO_LARGE = "picture larger than 4096 x 4096";

struct PixelsFree {
    void operator()(stbi_uc* data) const { stbi_image_free(data); }
};
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool sizeAllowed(int width, int height) {
    return width > 0 && height > 0 && width <= MAX_PICTURE_SIDE && height <= MAX_PICTURE_SIDE;
}

const char* takePixels(stbi_uc* decoded, int width, int height, int components, Image& out) {
    std::unique_ptr<stbi_uc, PixelsFree> data(decoded);
    if (!data) return stbi_failure_reason();
    // The header was checked first; this only guards against a decoder that disagrees with it.
    if (!sizeAllowed(width, height)) return TOO_LARGE;
    out.width = width;
    out.height = height;
    out.components = components;
    out.pixels.assign(data.get(), data.get() + size_t(width) * size_t(height) * 4);
    return nullptr;
}

// Two faults of the JPEG decoder are kept away from it by reading the file's markers first:
// - it builds each Huffman table from a segment's 16 code counts without checking that they add
//   up to at most 256 codes, and writes past its arrays when they do not;
// - a scan that decodes with a table no earlier segment defined reads that table from memory it
//   never set, and looks up symbols far outside it.
// Neither is a valid JPEG: refuse the picture before the decoder sees it. Every marker the decoder
// could act on is looked at, in file order: segments are stepped over by their length, scan data
// byte by byte.
bool huffmanTablesFit(const uint8_t* b, size_t n) {
    if (n < 2 || b[0] != 0xFF || b[1] != 0xD8) return true;  // not a JPEG
    bool defined[2][4] = {};  // [DC, AC][table]
    bool progressive = false, framed = false;
    size_t p = 2;
    while (p + 4 <= n) {
        if (b[p] != 0xFF || b[p + 1] == 0xFF) {  // scan data or a fill byte
            ++p;
            continue;
        }
        const uint8_t marker = b[p + 1];
        if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
            p += 2;  // a stuffed zero, or a marker without a length
            continue;
        }
        if (marker == 0xD9) return true;  // end of image
        const size_t length = size_t(b[p + 2]) << 8 | b[p + 3];
        if (length < 2) return true;  // the decoder refuses this itself
        const size_t end = p + 2 + length;
        if (marker == 0xC4) {
            // Tables follow one another while the segment lasts; the last may run past its end.
            for (size_t q = p + 4; q < end && q + 17 <= n;) {
                unsigned codes = 0;
                for (size_t i = 1; i <= 16; ++i) codes += b[q + i];
                if (codes > 256) return false;
                const unsigned kind = b[q] >> 4, table = b[q] & 15;
                if (kind < 2 && table < 4) defined[kind][table] = true;
                q += 17 + codes;
            }
        } else if ((marker == 0xC0 || marker == 0xC1 || marker == 0xC2) && !framed) {
            framed = true;  // the decoder reads the first frame header only
            progressive = marker == 0xC2;
        } else if (marker == 0xDA && p + 5 <= n) {
            const size_t components = b[p + 4];
            const size_t spectrum = p + 5 + 2 * components;
            if (spectrum + 3 > n) return true;  // cut short: the decoder reports that itself
            const bool dcScan = b[spectrum] == 0;
            const bool dcRefinement = b[spectrum + 2] >> 4 != 0;
            for (size_t i = 0; i < components; ++i) {
                const unsigned dc = b[p + 6 + 2 * i] >> 4, ac = b[p + 6 + 2 * i] & 15;
                if (dc > 3 || ac > 3) continue;  // the decoder refuses these itself
                // A progressive scan codes either the DC (with no table when it refines) or the AC
                // coefficients; a baseline scan codes both.
                const bool usesDc = progressive ? dcScan && !dcRefinement : true;
                const bool usesAc = progressive ? !dcScan : true;
                if ((usesDc && !defined[0][dc]) || (usesAc && !defined[1][ac])) return false;
            }
        }
        p = end;
    }
    return true;
}

// The PNG decoder grows its buffer for the compressed data by each chunk's stated length before it
// reads the chunk, so a few bytes that claim a chunk of a gigabyte make it ask for two. A chunk
// longer than what is left of the file is no valid PNG: refuse the picture before the decoder
// sees it.
bool pngChunksFit(const uint8_t* b, size_t n) {
    static const uint8_t SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (n < 8 || std::memcmp(b, SIGNATURE, 8) != 0) return true;  // not a PNG
    size_t p = 8;
    while (p + 8 <= n) {
        const size_t length = size_t(b[p]) << 24 | size_t(b[p + 1]) << 16 | size_t(b[p + 2]) << 8 | b[p + 3];
        // The chunk: length and type, its data, its CRC.
        if (length > n - p - 8) return false;
        if (std::memcmp(b + p + 4, "IEND", 4) == 0) return true;
        p += 8 + length + 4;
    }
    return true;  // cut short: the decoder reports that itself
}

// Larger files are no backdrop: the largest picture taken is 64 MiB of pixels uncompressed.
constexpr long MAX_PICTURE_FILE_BYTES = 256L << 20;

}  // namespace

const char* readPictureSize(const uint8_t* bytes, size_t length, int& width, int& height) {
    if (length > size_t(INT_MAX)) return "too large";
    if (!huffmanTablesFit(bytes, length)) return "bad Huffman table";
    if (!pngChunksFit(bytes, length)) return "bad PNG chunk length";
    int w = 0, h = 0, n = 0;
    if (!stbi_info_from_memory(bytes, int(length), &w, &h, &n)) return stbi_failure_reason();
    if (!sizeAllowed(w, h)) return TOO_LARGE;
    width = w;
    height = h;
    return nullptr;
}

const char* decodePicture(const uint8_t* bytes, size_t length, Image& out) {
    int w = 0, h = 0, n = 0;
    if (const char* refused = readPictureSize(bytes, length, w, h)) return refused;
    stbi_uc* data = stbi_load_from_memory(bytes, int(length), &w, &h, &n, 4);
    return takePixels(data, w, h, n, out);
}

const char* decodePictureFile(const std::string& path, Image& out) {
    // Read whole, so that the file gets the same checks as bytes in memory.
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return "can't fopen";
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) {
        if (bytes.size() + n > size_t(MAX_PICTURE_FILE_BYTES)) return "too large";
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    if (std::ferror(file.get())) return "can't fread";
    return decodePicture(bytes.data(), bytes.size(), out);
}

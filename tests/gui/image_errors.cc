// Image decoding as the program does it: the built-in pictures decode to their documented
// sizes, and failures carry the messages the start-up reports. Needs no display: every failure
// is found before a texture would be made.

#include <GL/gl.h>

#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "assets/BuiltinAssets.h"
#include "platform/Images.h"

namespace {

int failures = 0;

void check(const std::string& what, bool ok) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok) ++failures;
}

std::string messageOf(void (*f)()) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

// An uncompressed 24-bit BMP of w x h black pixels; only the header when the pixels would not fit
// in memory (the decoder must refuse it before reading them).
std::vector<uint8_t> bmpOf(int w, int h) {
    const uint32_t row = (uint32_t(w) * 3 + 3) & ~3u;
    const uint64_t pixels = uint64_t(row) * uint32_t(h);
    std::vector<uint8_t> out(54 + (pixels < (1u << 24) ? pixels : 0), 0);
    auto put = [&out](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) out[at + i] = uint8_t(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put(2, uint32_t(out.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, uint32_t(w), 4);
    put(22, uint32_t(h), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    return out;
}

// An 8 x 8 grey JPEG of one component. Each table has one code ('0' for symbol 0), so a block is
// a DC difference of 0 and, where a scan codes them, an end of block: the scan data is a few zero
// bits padded with ones. The scan names its tables in `tables` (DC table << 4 | AC table); only
// DC table 0 and AC table 0 are defined.
std::vector<uint8_t> jpegOf(bool progressive, uint8_t tables, uint8_t spectrumStart, uint8_t spectrumEnd) {
    std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    out.insert(out.end(), 64, 1);
    out.insert(out.end(), {0xFF, uint8_t(progressive ? 0xC2 : 0xC0), 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0});
    for (uint8_t kind : {0x00, 0x10}) {
        out.insert(out.end(), {0xFF, 0xC4, 0, 20, kind, 1});
        out.insert(out.end(), 16, 0);
    }
    const uint8_t data = spectrumStart == 0 && spectrumEnd == 0 ? 0x7F : 0x3F;
    out.insert(out.end(), {0xFF, 0xDA, 0, 8, 1, 1, tables, spectrumStart, spectrumEnd, 0, data, 0xFF, 0xD9});
    return out;
}

}  // namespace

int main() {
    Image font, backdrop, icon;
    check("font decodes to 160 x 288 grey + alpha",
          decodeImage(builtinFontPng, builtinFontPngSize, font) && font.width == 160 && font.height == 288 &&
              font.components == 2 && font.pixels.size() == 160u * 288 * 4);
    check("backdrop decodes to 784 x 592 RGB",
          decodeImage(builtinBackdropPng, builtinBackdropPngSize, backdrop) && backdrop.width == 784 &&
              backdrop.height == 592 && backdrop.components == 3);
    check("icon decodes to 32 x 32",
          decodeImage(builtinIconPng, builtinIconPngSize, icon) && icon.width == 32);

    std::string m = messageOf([] { loadImageFromFile("/nonexistent/user-background.bmp", GL_LINEAR); });
    check("missing file: " + m, m == "couldn't load image '/nonexistent/user-background.bmp': can't fopen");

    static std::string path = "/tmp/bf_image_errors_" + std::to_string(getpid()) + ".png";
    const char* notImage = path.c_str();
    if (std::FILE* f = std::fopen(notImage, "wb")) {
        std::fputs("this is text, not a picture", f);
        std::fclose(f);
    }
    m = messageOf([] { loadImageFromFile(path, GL_LINEAR); });
    const std::string prefix = "couldn't load image '" + path + "': ";
    check("not an image: " + m, m.compare(0, prefix.size(), prefix) == 0 && m.size() > prefix.size());
    std::remove(notImage);

    m = messageOf([] {
        static const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8};
        loadImageFromMemory(junk, sizeof junk, GL_NEAREST);
    });
    const std::string memoryPrefix = "couldn't load image from memory: ";
    check("bytes that are no image: " + m,
          m.compare(0, memoryPrefix.size(), memoryPrefix) == 0 && m.size() > memoryPrefix.size());

    // A PNG cut short must fail cleanly, never read past the bytes given.
    Image cut;
    check("a truncated PNG is refused", !decodeImage(builtinFontPng, builtinFontPngSize / 2, cut));

    // Only PNG, BMP, JPEG and TGA are decoded, and a picture's size is checked before its pixels.
    static const uint8_t gif[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF,
                                  0xFF, ',', 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 'D', 1, 0, ';'};
    Image refused;
    check("a GIF is refused", !decodeImage(gif, sizeof gif, refused));
    for (auto [w, h, ok] : {std::tuple{4096, 2, true}, {2, 4096, true}, {4097, 1, false}, {1, 4097, false},
                            {1 << 20, 1 << 20, false}}) {
        const std::vector<uint8_t> bmp = bmpOf(w, h);
        Image picture;
        const bool decoded = decodeImage(bmp.data(), bmp.size(), picture);
        check("BMP " + std::to_string(w) + " x " + std::to_string(h) + (ok ? " decodes" : " is refused"),
              decoded == ok && (!ok || (picture.width == w && picture.height == h)));
    }
    // A PNG header asking for 5000 x 10 is refused from its header alone (no pixel data follows).
    static const uint8_t bigPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                     0, 0, 0x13, 0x88, 0, 0, 0, 10, 8, 2, 0, 0, 0, 0, 0, 0, 0};
    m = messageOf([] { loadImageFromMemory(bigPng, sizeof bigPng, GL_LINEAR); });
    check("a 5000 x 10 PNG: " + m, m.compare(0, memoryPrefix.size(), memoryPrefix) == 0 && m.size() > memoryPrefix.size());

    // A JPEG Huffman table of more than 256 codes is refused before the decoder builds it.
    std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xC4, 0x10, 0x03, 0x00};
    jpeg.insert(jpeg.end(), 16, 0xFF);
    jpeg.insert(jpeg.end(), 16 * 255, 0);
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    Image overlong;
    check("a JPEG with an overlong Huffman table is refused", !decodeImage(jpeg.data(), jpeg.size(), overlong));

    // A scan may name only tables defined before it, and only those it decodes with count: a
    // progressive DC scan needs no AC table.
    for (const auto& [what, progressive, tables, start, end, decodes] :
         {std::tuple{"a baseline JPEG", false, 0x00, 0, 63, true},
          {"a baseline scan with an undefined AC table", false, 0x01, 0, 63, false},
          {"a baseline scan with an undefined DC table", false, 0x20, 0, 63, false},
          {"a progressive DC scan naming an undefined AC table", true, 0x03, 0, 0, true},
          {"a progressive DC scan with an undefined DC table", true, 0x10, 0, 0, false},
          {"a progressive AC scan with an undefined AC table", true, 0x02, 1, 63, false}}) {
        const std::vector<uint8_t> bytes = jpegOf(progressive, uint8_t(tables), uint8_t(start), uint8_t(end));
        Image picture;
        const bool decoded = decodeImage(bytes.data(), bytes.size(), picture);
        check(std::string(what) + (decodes ? " decodes" : " is refused"),
              decoded == decodes && (!decoded || (picture.width == 8 && picture.height == 8)));
    }
    return failures ? 1 : 0;
}

// Image decoding: the built-in pictures decode to their sizes, failures carry the messages the
// start-up reports. Needs no display: every failure is found before a texture would be made.

#include <GL/gl.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "assets/BuiltinAssets.h"
#include "platform/Images.h"

namespace {

int failures = 0;

void check(const std::string& what, const std::string& got, const std::string& want) {
    std::printf("%s: %s%s\n", got == want ? "ok" : "FAILED", what.c_str(),
                got == want ? "" : (" - got '" + got + "', expected '" + want + "'").c_str());
    if (got != want) ++failures;
}

// "W x H, C components, N bytes" of a picture that decodes, or "refused".
std::string decoded(const std::vector<uint8_t>& bytes) {
    Image img;
    if (!decodeImage(bytes.data(), bytes.size(), img)) return "refused";
    return std::to_string(img.width) + " x " + std::to_string(img.height) + ", " +
           std::to_string(img.components) + " components, " + std::to_string(img.pixels.size()) + " bytes";
}

// What `load` throws, up to its reason when `prefix` is, else whole.
std::string thrown(const std::function<void()>& load, const std::string& prefix = "") {
    try {
        load();
    } catch (const std::runtime_error& e) {
        const std::string m = e.what();
        return !prefix.empty() && m.starts_with(prefix) && m.size() > prefix.size() ? prefix + "..." : m;
    }
    return "(nothing thrown)";
}

// An uncompressed 24-bit BMP of w x h black pixels; only the header when the pixels would not fit
// in memory (the decoder must refuse it before reading them).
std::vector<uint8_t> bmpOf(int w, int h) {
    const uint64_t pixels = uint64_t((uint32_t(w) * 3 + 3) & ~3u) * uint32_t(h);
    std::vector<uint8_t> out(54 + (pixels < (1u << 24) ? pixels : 0), 0);
    const uint32_t fields[][3] = {
        {0, 'B' | 'M' << 8, 2}, {2, uint32_t(out.size()), 4}, {10, 54, 4}, {14, 40, 4},
        {18, uint32_t(w), 4},   {22, uint32_t(h), 4},         {26, 1, 2},  {28, 24, 2}};
    for (const auto& [at, v, n] : fields)
        for (uint32_t i = 0; i < n; ++i) out[at + i] = uint8_t(v >> (8 * i));
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
    using namespace std::string_view_literals;
    const auto raw = [](std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    const auto asset = [](const uint8_t* b, size_t n) { return std::vector<uint8_t>(b, b + n); };
    // Only PNG, BMP, JPEG and TGA; sizes checked before pixels; nothing read past the bytes given; a
    // JPEG Huffman table of over 256 codes refused before it is built; a scan names only tables
    // defined before it, and only those it decodes with count (a progressive DC scan no AC table).
    const std::vector<std::tuple<std::string, std::vector<uint8_t>, std::string>> pictures = {
        {"font", asset(builtinFontPng, builtinFontPngSize), "160 x 288, 2 components, 184320 bytes"},
        {"backdrop", asset(builtinBackdropPng, builtinBackdropPngSize),
         "784 x 592, 3 components, 1856512 bytes"},
        {"icon", asset(builtinIconPng, builtinIconPngSize), "32 x 32, 4 components, 4096 bytes"},
        {"a truncated PNG", asset(builtinFontPng, builtinFontPngSize / 2), "refused"},
        {"bytes that are no image", {1, 2, 3, 4, 5, 6, 7, 8}, "refused"},
        {"a GIF", raw("GIF89a\1\0\1\0\x80\0\0\0\0\0\xFF\xFF\xFF,\0\0\0\0\1\0\1\0\0\2\2D\1\0;"sv), "refused"},
        {"a 5000 x 10 PNG", raw("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\x13\x88\0\0\0\n\b\2\0\0\0\0\0\0\0"sv),
         "refused"},
        {"BMP 4096 x 2", bmpOf(4096, 2), "4096 x 2, 3 components, 32768 bytes"},
        {"BMP 2 x 4096", bmpOf(2, 4096), "2 x 4096, 3 components, 32768 bytes"},
        {"BMP 4097 x 1", bmpOf(4097, 1), "refused"},
        {"BMP 1 x 4097", bmpOf(1, 4097), "refused"},
        {"BMP 2^20 x 2^20", bmpOf(1 << 20, 1 << 20), "refused"},
        {"a JPEG with an overlong Huffman table",
         raw(std::string("\xFF\xD8\xFF\xC4\x10\x03\0"sv) + std::string(16, '\xFF') +
             std::string(16 * 255, '\0') + "\xFF\xD9"),
         "refused"},
        {"a baseline JPEG", jpegOf(false, 0x00, 0, 63), "8 x 8, 1 components, 256 bytes"},
        {"a baseline scan with an undefined AC table", jpegOf(false, 0x01, 0, 63), "refused"},
        {"a baseline scan with an undefined DC table", jpegOf(false, 0x20, 0, 63), "refused"},
        {"a progressive DC scan naming an undefined AC table", jpegOf(true, 0x03, 0, 0),
         "8 x 8, 1 components, 256 bytes"},
        {"a progressive DC scan with an undefined DC table", jpegOf(true, 0x10, 0, 0), "refused"},
        {"a progressive AC scan with an undefined AC table", jpegOf(true, 0x02, 1, 63), "refused"}};
    // What is refused is refused with the start-up's message and a reason.
    const std::string memory = "couldn't load image from memory: ";
    for (const auto& [what, bytes, want] : pictures) {
        check(what, decoded(bytes), want);
        if (want == "refused")
            check(what + ", loaded",
                  thrown([&] { loadImageFromMemory(bytes.data(), bytes.size(), GL_LINEAR); }, memory),
                  memory + "...");
    }

    const std::string notImage = "/tmp/bf_image_errors_" + std::to_string(getpid()) + ".png";
    std::ofstream(notImage) << "this is text, not a picture";
    check("missing file", thrown([] { loadImageFromFile("/nonexistent/user-background.bmp", GL_LINEAR); }),
          "couldn't load image '/nonexistent/user-background.bmp': can't fopen");
    const std::string fileNotImage = "couldn't load image '" + notImage + "': ";
    check("not an image", thrown([&] { loadImageFromFile(notImage, GL_LINEAR); }, fileNotImage),
          fileNotImage + "...");
    std::remove(notImage.c_str());
    return failures ? 1 : 0;
}

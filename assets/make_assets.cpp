// Makes the program's built-in pictures and writes them, with a C++ source that embeds them:
//
//   make_assets UNIFONT_HEX OUT_DIR
//
// writes OUT_DIR/font.png, OUT_DIR/backdrop.png, OUT_DIR/icon.png and OUT_DIR/BuiltinAssets.cpp.
// Everything is computed from the font file and fixed formulas, so two runs give the same bytes.
//
// The font sheet: 160 x 288 pixels, grey plus alpha, 16 x 16 cells of 10 x 18 pixels indexed by
// byte value (column = low nibble, row = high nibble). Each cell holds an 8 x 16 glyph at (1, 1),
// leaving a one-pixel transparent margin, in the code page 437 arrangement.
// The backdrop: 784 x 592 RGB, dark enough for light text. The icon: 32 x 32 RGBA.

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBIW_WINDOWS_UTF8 0
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Unicode code point of each code page 437 byte; 0x00 is left blank.
const uint16_t CP437[256] = {
    0x0000, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640,
    0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8, 0x2191, 0x2193,
    0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC, 0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026,
    0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033,
    0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x0040,
    0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047, 0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D,
    0x004E, 0x004F, 0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, 0x0058, 0x0059, 0x005A,
    0x005B, 0x005C, 0x005D, 0x005E, 0x005F, 0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F, 0x0070, 0x0071, 0x0072, 0x0073, 0x0074,
    0x0075, 0x0076, 0x0077, 0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x2302, 0x00C7, 0x00FC,
    0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4,
    0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF,
    0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561,
    0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C,
    0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584,
    0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398,
    0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7,
    0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

using Glyph = std::vector<std::string>;  // 16 rows of '#' / '.' , 8 wide

// Reads the font's "XXXX:hex" lines for the code points we need. A 16-pixel-wide glyph is
// squeezed to 8 by joining each pair of columns.
std::map<uint32_t, Glyph> readGlyphs(const char* path) {
    std::map<uint32_t, bool> wanted;
    for (uint16_t cp : CP437) wanted[cp] = true;
    std::map<uint32_t, Glyph> glyphs;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        uint32_t cp = uint32_t(std::stoul(line.substr(0, colon), nullptr, 16));
        if (!wanted.count(cp)) continue;
        std::string hex = line.substr(colon + 1);
        while (!hex.empty() && (hex.back() == '\r' || hex.back() == ' ')) hex.pop_back();
        int bytesPerRow = hex.size() == 64 ? 2 : 1;
        if (hex.size() != 32 && hex.size() != 64) continue;
        Glyph g(16, std::string(8, '.'));
        for (int row = 0; row < 16; ++row) {
            uint32_t bits =
                uint32_t(std::stoul(hex.substr(row * bytesPerRow * 2, bytesPerRow * 2), nullptr, 16));
            for (int x = 0; x < 8; ++x) {
                bool on;
                if (bytesPerRow == 1) {
                    on = bits & (0x80u >> x);
                } else {
                    on = (bits & (0x8000u >> (2 * x))) || (bits & (0x8000u >> (2 * x + 1)));
                }
                if (on) g[row][x] = '#';
            }
        }
        glyphs[cp] = g;
    }
    return glyphs;
}

std::vector<uint8_t> toPng(const uint8_t* pixels, int w, int h, int comp) {
    std::vector<uint8_t> out;
    stbi_write_png_compression_level = 9;
    stbi_write_png_to_func(
        [](void* ctx, void* data, int size) {
            auto* v = static_cast<std::vector<uint8_t>*>(ctx);
            v->insert(v->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        },
        &out, w, h, comp, pixels, w * comp);
    return out;
}

std::vector<uint8_t> makeFont(const std::map<uint32_t, Glyph>& glyphs, int& missing) {
    const int W = 160, H = 288;
    std::vector<uint8_t> px(W * H * 2, 0);
    missing = 0;
    for (int c = 1; c < 256; ++c) {
        auto it = glyphs.find(CP437[c]);
        if (it == glyphs.end()) {
            ++missing;
            continue;
        }
        int cx = (c & 15) * 10 + 1, cy = (c >> 4) * 18 + 1;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x)
                if (it->second[y][x] == '#') {
                    uint8_t* p = &px[((cy + y) * W + cx + x) * 2];
                    p[0] = 255;
                    p[1] = 255;
                }
    }
    return px;
}

// A dark blue-grey field with a soft vertical falloff, a faint diagonal weave and a darker band
// behind the pattern view, so the white and pale text on top stays easy to read.
std::vector<uint8_t> makeBackdrop() {
    const int W = 784, H = 592;
    std::vector<uint8_t> px(W * H * 3);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            double t = double(y) / H;
            double glow = std::exp(-std::pow((x - 600.0) / 260.0, 2) - std::pow((y - 120.0) / 220.0, 2));
            double weave = ((x + y) % 24 < 1 || (x - y + 2400) % 24 < 1) ? 4.0 : 0.0;
            double r = 14 + 10 * (1 - t) + 16 * glow + weave;
            double g = 16 + 12 * (1 - t) + 20 * glow + weave;
            double b = 26 + 20 * (1 - t) + 34 * glow + weave;
            // The pattern view (54 columns of 8 pixels) sits on a slightly darker band.
            double band = std::clamp((x - 54 * 8 + 8) / 16.0, 0.0, 1.0);
            r *= 0.8 + 0.2 * band;
            g *= 0.8 + 0.2 * band;
            b *= 0.85 + 0.15 * band;
            uint8_t* p = &px[(y * W + x) * 3];
            p[0] = uint8_t(std::lround(std::min(r, 255.0)));
            p[1] = uint8_t(std::lround(std::min(g, 255.0)));
            p[2] = uint8_t(std::lround(std::min(b, 255.0)));
        }
    }
    return px;
}

// A rounded dark square with five coloured bars, one per sound channel.
std::vector<uint8_t> makeIcon() {
    const int S = 32;
    std::vector<uint8_t> px(S * S * 4, 0);
    const uint8_t bars[5][3] = {
        {231, 107, 115}, {218, 120, 153}, {85, 171, 164}, {240, 233, 121}, {106, 179, 231}};
    const int heights[5] = {18, 12, 22, 8, 15};
    for (int y = 0; y < S; ++y) {
        for (int x = 0; x < S; ++x) {
            int dx = std::max(0, std::max(3 - x, x - 28)), dy = std::max(0, std::max(3 - y, y - 28));
            if (dx * dx + dy * dy > 9) continue;
            uint8_t* p = &px[(y * S + x) * 4];
            p[0] = 24;
            p[1] = 26;
            p[2] = 40;
            p[3] = 255;
            int k = (x - 4) / 5;
            if (x >= 4 && k < 5 && (x - 4) % 5 < 4 && y >= 27 - heights[k] && y < 27) {
                p[0] = bars[k][0];
                p[1] = bars[k][1];
                p[2] = bars[k][2];
            }
        }
    }
    return px;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

void emitArray(std::ostringstream& src, const char* name, const std::vector<uint8_t>& bytes) {
    src << "extern const unsigned char " << name << "[] = {";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 20 == 0) src << "\n   ";
        src << ' ' << int(bytes[i]) << ',';
    }
    src << "\n};\nextern const size_t " << name << "Size = " << bytes.size() << ";\n\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_assets UNIFONT_HEX OUT_DIR\n");
        return 1;
    }
    auto glyphs = readGlyphs(argv[1]);
    int missing = 0;
    auto fontPx = makeFont(glyphs, missing);
    if (glyphs.empty() || missing > 0) {
        std::fprintf(stderr, "make_assets: %d code page 437 glyphs missing from %s\n", missing, argv[1]);
        return 1;
    }
    auto font = toPng(fontPx.data(), 160, 288, 2);
    auto backdropPx = makeBackdrop();
    auto backdrop = toPng(backdropPx.data(), 784, 592, 3);
    auto iconPx = makeIcon();
    auto icon = toPng(iconPx.data(), 32, 32, 4);

    std::string dir = argv[2];
    std::ostringstream src;
    src << "// Generated by assets/make_assets.cpp; do not edit.\n#include \"assets/BuiltinAssets.h\"\n\n";
    emitArray(src, "builtinFontPng", font);
    emitArray(src, "builtinBackdropPng", backdrop);
    emitArray(src, "builtinIconPng", icon);
    std::string text = src.str();
    if (!writeFile(dir + "/font.png", font) || !writeFile(dir + "/backdrop.png", backdrop) ||
        !writeFile(dir + "/icon.png", icon) ||
        !writeFile(dir + "/BuiltinAssets.cpp", std::vector<uint8_t>(text.begin(), text.end()))) {
        std::fprintf(stderr, "make_assets: cannot write into %s\n", argv[2]);
        return 1;
    }
    return 0;
}

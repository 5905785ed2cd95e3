// make_icons IN.png OUT_DIR: writes the program's icon at the sizes the desktop's icon theme
// offers, OUT_DIR/<N>x<N>.png for N = 16, 32, 64, 128 and 256. The icon is pixel art, so larger
// sizes repeat each pixel (no blur) and 16 averages 2 x 2 blocks.

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_icons IN.png OUT_DIR\n");
        return 2;
    }
    int w = 0, h = 0, channels = 0;
    unsigned char* in = stbi_load(argv[1], &w, &h, &channels, 4);
    if (!in || w != h || w < 2) {
        std::fprintf(stderr, "make_icons: %s is not a square picture\n", argv[1]);
        return 1;
    }
    const int sizes[] = {16, 32, 64, 128, 256};
    for (int n : sizes) {
        std::vector<unsigned char> out(size_t(n) * n * 4);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                for (int c = 0; c < 4; ++c) {
                    // The source pixels that cover this one (one when enlarging).
                    const int x0 = x * w / n, x1 = std::max(x0 + 1, (x + 1) * w / n);
                    const int y0 = y * h / n, y1 = std::max(y0 + 1, (y + 1) * h / n);
                    int sum = 0, count = 0;
                    for (int sy = y0; sy < y1; ++sy)
                        for (int sx = x0; sx < x1; ++sx, ++count) sum += in[(size_t(sy) * w + sx) * 4 + c];
                    out[(size_t(y) * n + x) * 4 + c] = (unsigned char)((sum + count / 2) / count);
                }
        const std::string path = std::string(argv[2]) + "/" + std::to_string(n) + "x" + std::to_string(n) + ".png";
        if (!stbi_write_png(path.c_str(), n, n, 4, out.data(), n * 4)) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    stbi_image_free(in);
    return 0;
}

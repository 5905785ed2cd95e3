#include "app/Image.h"

#include <cstring>
#include <stdexcept>

int32_t textureSide(int32_t width, int32_t height) {
    int32_t larger = width > height ? width : height;
    int32_t side = 1;
    while (side < larger && side < (1 << 30)) side <<= 1;
    return side;
}

void textureLayout(Image& image) {
    const int32_t w = image.width, h = image.height;
    // 16384 pixels per side is far beyond any texture a GL driver accepts; refusing it here keeps
    // the buffer arithmetic below inside size_t on every platform.
    if (w <= 0 || h <= 0 || w > 16384 || h > 16384) throw std::runtime_error("image size out of range");
    if (image.pixels.size() < size_t(w) * size_t(h) * 4) throw std::runtime_error("image data too short");
    const int32_t side = textureSide(w, h);
    std::vector<uint8_t> square(size_t(side) * size_t(side) * 4, 0);
    for (int32_t row = 0; row < h; ++row)
        std::memcpy(&square[size_t(row) * size_t(side) * 4], &image.pixels[size_t(row) * size_t(w) * 4],
                    size_t(w) * 4);
    image.pixels = std::move(square);
    image.scaleX = double(w) / side;
    image.scaleY = double(h) / side;
    image.width = side;
    image.height = side;
}

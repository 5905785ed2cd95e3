#pragma once
// A picture ready to be drawn as a texture: the font sheet or a backdrop.

#include <cstdint>
#include <vector>

struct Image {
    // Before textureLayout: the picture's size. After it: the side of the square texture.
    int32_t width = 0;
    int32_t height = 0;
    int32_t components = 0;       // as the decoder reported them (the pixels are always RGBA)
    std::vector<uint8_t> pixels;  // RGBA, 4 bytes per pixel, rows top to bottom
    uint32_t texture = 0;         // texture name given by the drawing surface, 0 while none
    double scaleX = 0.0;          // fraction of the texture's width the picture covers
    double scaleY = 0.0;          // fraction of the texture's height the picture covers
};

// The smallest power of two not less than the larger of width and height (at least 1).
// Taking the larger side keeps every picture inside the square, whatever its shape.
int32_t textureSide(int32_t width, int32_t height);

// Lays the picture (width x height RGBA pixels) into the top left corner of a zero-filled square
// RGBA buffer of textureSide pixels per side, sets the scales to width / side and height / side,
// and width and height to the side. Throws std::runtime_error when the pixel buffer is smaller
// than width x height x 4 bytes or the size is not positive.
void textureLayout(Image& image);

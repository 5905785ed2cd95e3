#pragma once
// Pictures decoded (platform/ImageDecoder: PNG, BMP, JPEG, TGA up to 4096 x 4096) and turned
// into OpenGL textures. Needs a current GL context.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/Image.h"

// filter: the GL filter for magnification and minification (GL_NEAREST for the font, GL_LINEAR
// for backdrops). The image comes back laid out in a square power-of-two texture (textureLayout)
// with its texture created. Failures throw std::runtime_error:
//   "couldn't load image from memory: <reason>"
//   "couldn't load image '<path>': <reason>"   (a file that does not open: "can't fopen")
Image loadImageFromMemory(const uint8_t* bytes, size_t length, int filter);
Image loadImageFromFile(const std::string& path, int filter);

// Decodes a picture into RGBA without creating a texture; false on failure.
bool decodeImage(const uint8_t* bytes, size_t length, Image& out);

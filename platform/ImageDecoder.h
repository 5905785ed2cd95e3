#pragma once
// Picture decoding without a drawing surface: the part of the image loading that the program's
// start-up, the icon and the fuzz target share. Only PNG, BMP, JPEG and TGA are read, and a
// picture's size is read from its header before any pixel: one wider or taller than
// MAX_PICTURE_SIDE is refused without being decoded.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/Image.h"

constexpr int MAX_PICTURE_SIDE = 4096;

// Decodes into RGBA pixels (width, height and components as the picture has them). Returns
// nullptr on success, otherwise the reason ("can't fopen" for a file that does not open); `out`
// is left alone on failure.
const char* decodePicture(const uint8_t* bytes, size_t length, Image& out);
// The checks decodePicture makes before any pixel, the size read from the header among them:
// nullptr with the picture's width and height when it would be decoded, else the reason.
const char* readPictureSize(const uint8_t* bytes, size_t length, int& width, int& height);
const char* decodePictureFile(const std::string& path, Image& out);

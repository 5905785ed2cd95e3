#pragma once
// The ROM shell's 6502 image (driver/rom_shell.s with the game driver), built from source at
// build time. It is linked to end at $FFFF, so it starts at $10000 - romDriverImageSize; its
// last six bytes are the vectors.
//
// Its first five bytes are for the exporter to set: the number of songs (1-128), the number of
// sound effects (0-128), the address of the converter's entry label (low byte first), and the
// TV system (0 NTSC, 1 PAL).

#include <cstddef>
#include <cstdint>

constexpr size_t ROM_IMAGE_SONGS = 0;
constexpr size_t ROM_IMAGE_EFFECTS = 1;
constexpr size_t ROM_IMAGE_ENTRY = 2;
constexpr size_t ROM_IMAGE_TV = 4;

extern const size_t romDriverImageSize;
extern const uint8_t romDriverImage[];

#pragma once
// The pictures the program carries inside its binary, as PNG files (made by make_assets.cpp at
// build time from the Unifont glyphs and fixed formulas).
//
//   font:     160 x 288, grey + alpha, 16 x 16 cells of 10 x 18 pixels, code page 437 order
//   backdrop: 784 x 592, RGB, dark
//   icon:     32 x 32, RGBA

#include <cstddef>

extern const unsigned char builtinFontPng[];
extern const size_t builtinFontPngSize;
extern const unsigned char builtinBackdropPng[];
extern const size_t builtinBackdropPngSize;
extern const unsigned char builtinIconPng[];
extern const size_t builtinIconPngSize;

#pragma once
// The surface the main screen is drawn on. The program's window implements it with OpenGL; tests
// use RecordingCanvas. Units are pixels, y grows downward, and every position is relative to the
// origin set by beginFrame.
//
// Colours are 24-bit 0xBBGGRR values (red in the low byte), opacity 0-255. A drawing surface turns
// each component into a strength by dividing by 256, so 255 is 255/256, never quite full.

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/Image.h"

struct Rect {
    int16_t x = 0;
    int16_t y = 0;
    uint16_t width = 0;
    uint16_t height = 0;
};

// Glyph advance and line height of the built-in font.
constexpr int GLYPH_WIDTH = 8;
constexpr int LINE_HEIGHT = 16;
// The fixed window size.
constexpr int WINDOW_WIDTH = 794;
constexpr int WINDOW_HEIGHT = 602;

class Canvas {
  public:
    virtual ~Canvas() = default;

    // Clears the whole window to opaque black and places the origin at (originX, originY) pixels
    // from the window's top left corner.
    virtual void beginFrame(int originX, int originY) = 0;

    // Draws a zero-terminated byte string with its top left at (x, y), one glyph of the code page
    // 437 font per byte, 8 pixels apart. Each glyph's 10 x 18 cell covers (x - 1, y - 1) onward.
    // (The argument order, y before the text and x after it, is the one every caller uses.)
    virtual void drawText(int y, const char* text, int x, uint32_t colour, int opacity) = 0;

    // Fills the rectangle [x, x + width) x [y, y + height).
    virtual void drawRect(const Rect& rect, uint32_t colour, int opacity) = 0;

    // A one-pixel line from (x1, y1) to (x2, y2).
    virtual void drawLine(int x1, int y1, int x2, int y2, uint32_t colour, int opacity) = 0;

    // The picture of a loaded image, in white at full strength, stretched over the rectangle
    // (x, y) - (x + width, y + height); texture coordinates run from 0 to the image's scales.
    virtual void drawImage(const Image& image, int x, int y, int width, int height) = 0;

    // Shows what was drawn since beginFrame.
    virtual void endFrame() = 0;
};

// The drawing shorthands of the screens: a rectangle whose negative sizes become empty, and text
// placed at (x, y) in reading order.
inline Rect rect(int x, int y, int width, int height) {
    return Rect{int16_t(x), int16_t(y), uint16_t(std::max(width, 0)), uint16_t(std::max(height, 0))};
}
inline void text(Canvas& c, int x, int y, const std::string& s, uint32_t colour, int opacity = 255) {
    c.drawText(y, s.c_str(), x, colour, opacity);
}

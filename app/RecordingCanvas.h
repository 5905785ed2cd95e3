#pragma once
// A Canvas that keeps a list of what was drawn, for tests and for checking a screen without a
// display.

#include <string>
#include <vector>

#include "app/Canvas.h"

struct DrawOp {
    enum Kind { Begin, Text, Fill, Line, Picture, End };
    Kind kind = Begin;
    int x = 0, y = 0;           // Text, Fill, Line start, Picture; Begin: the origin
    int width = 0, height = 0;  // Fill, Picture
    int x2 = 0, y2 = 0;         // Line end
    std::string text;           // Text
    uint32_t colour = 0;
    int opacity = 0;
    uint32_t texture = 0;  // Picture
};

class RecordingCanvas : public Canvas {
  public:
    std::vector<DrawOp> ops;

    void beginFrame(int originX, int originY) override;
    void drawText(int y, const char* text, int x, uint32_t colour, int opacity) override;
    void drawRect(const Rect& rect, uint32_t colour, int opacity) override;
    void drawLine(int x1, int y1, int x2, int y2, uint32_t colour, int opacity) override;
    void drawImage(const Image& image, int x, int y, int width, int height) override;
    void endFrame() override;

    // The texts drawn exactly at (x, y), in drawing order.
    std::vector<const DrawOp*> textsAt(int x, int y) const;
    // The first text op whose text equals s, or nullptr.
    const DrawOp* findText(const std::string& s) const;
    // Every op of a kind.
    std::vector<const DrawOp*> ofKind(DrawOp::Kind kind) const;
};

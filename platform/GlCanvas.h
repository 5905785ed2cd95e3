#pragma once
// The Canvas of the program's window: immediate-mode OpenGL in a projection where one unit is one
// pixel and y grows downward from the window's top left corner.

#include "app/Canvas.h"

// The GL state every frame relies on: orthographic pixel projection of width x height, model-view
// matrix selected, no depth test, alpha blending. Call once after the window opens.
void setupGl(int width, int height);

class GlCanvas : public Canvas {
  public:
    // The font must stay alive as long as the canvas draws text.
    explicit GlCanvas(const Image& font) : font_(font) {}

    void beginFrame(int originX, int originY) override;
    void drawText(int y, const char* text, int x, uint32_t colour, int opacity) override;
    void drawRect(const Rect& rect, uint32_t colour, int opacity) override;
    void drawLine(int x1, int y1, int x2, int y2, uint32_t colour, int opacity) override;
    void drawImage(const Image& image, int x, int y, int width, int height) override;
    // Swaps the window's buffers.
    void endFrame() override;

  private:
    // Consecutive glyphs, and consecutive rectangles, are sent as one run of quads: each quad
    // carries its own colour, and quads are drawn and blended in the order they were given, so
    // the pixels are those of one draw per quad at a fraction of the cost.
    enum class Batch { Idle, Glyphs, Fills };
    void enter(Batch batch);

    const Image& font_;
    Batch batch_ = Batch::Idle;
};

#pragma once
// The Canvas of the program's window: fixed-function OpenGL in a projection where one unit is one
// pixel and y grows downward from the window's top left corner.

#include <array>
#include <memory>
#include <vector>

#include "app/Canvas.h"
#include "platform/WindowImage.h"

// The GL state every frame relies on: orthographic pixel projection of width x height, model-view
// matrix selected, no depth test, alpha blending. Call once after the window opens.
void setupGl(int width, int height);

// The part of one font cell that holds visible texels, in texels from the cell's top left
// corner: [left, right) x [top, bottom). A cell with nothing visible has right == 0.
struct GlyphBox {
    uint8_t left = 0, top = 0, right = 0, bottom = 0;
};

// The boxes of the 256 cells of a font sheet laid out by textureLayout, when its cells are exactly
// (GLYPH_WIDTH + 2) x (LINE_HEIGHT + 2) texels, so that a glyph is drawn texel for pixel. Any
// other sheet gives nothing (false): its glyphs are then drawn as whole cells.
bool findGlyphBoxes(const Image& font, std::array<GlyphBox, 256>& boxes);

class GlCanvas : public Canvas {
  public:
    // The font must stay alive, and its pixels unchanged, as long as the canvas draws text.
    explicit GlCanvas(const Image& font);

    void beginFrame(int originX, int originY) override;
    void drawText(int y, const char* text, int x, uint32_t colour, int opacity) override;
    void drawRect(const Rect& rect, uint32_t colour, int opacity) override;
    void drawLine(int x1, int y1, int x2, int y2, uint32_t colour, int opacity) override;
    void drawImage(const Image& image, int x, int y, int width, int height) override;
    // Swaps the window's buffers.
    void endFrame() override;

    // The window's drawable size. Frames are drawn at the logical 794 x 602 size and shown
    // magnified by the largest whole scale that fits, with unfiltered pixels, centred on black:
    // drawn in the window's top left corner, read back and put into the window through a
    // WindowImage; without one, drawn off screen and magnified by GL; without off-screen frames,
    // the projection is magnified instead. Call after the window opens and whenever its size
    // changes.
    void setWindowSize(int width, int height);

  private:
    // Consecutive glyphs, and consecutive rectangles, are sent as one run of quads: each quad
    // carries its own colour, and quads are drawn and blended in the order they were given, so
    // the pixels are those of one draw per quad at a fraction of the cost. A run is gathered in
    // vertices_ and handed to GL as one vertex array when the kind of drawing changes.
    enum class Batch { Idle, Glyphs, Fills };
    void enter(Batch batch);
    void flush();
    // The frame's clear waits until the first drawing: a picture blitted first only needs the
    // rest of the window cleared, and the blit need not wait for a clear under it.
    void clearIfPending();
    void clearAround(int left, int bottom, int width, int height);
    // Clears the box of window pixels (rows from the bottom), less any part outside the frame.
    void clearBox(int left, int bottom, int width, int height);
    // Appends one quad with corners (x0, y0) and (x1, y1), texture corners (u0, v0) and (u1, v1).
    void addQuad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1);
    void setColour(uint32_t colour, int opacity);
    // Looks at a picture drawn at its own size (width x height texels) when it is not the one
    // looked at last: whether it is opaque, and if so a copy of it for blitting.
    void notePicture(const Image& image, int width, int height);
    void makePictureCopy(const Image& image, int width, int height);
    void dropPictureCopy();
    // Copies the noted picture to (x, y) of the frame; false when it has no copy.
    bool blitPicture(int x, int y, int width, int height);

    // Binds the off-screen frame when the window is magnified (creating it on first use); false
    // when there is none to bind, the frame then being drawn into the window.
    bool bindScreenFramebuffer();
    void presentScaled();
    // True while frames are magnified through windowImage_.
    bool magnifiedByCpu() const { return scaled_ && windowImageReady_; }

    const Image& font_;
    Batch batch_ = Batch::Idle;
    int windowWidth_ = WINDOW_WIDTH, windowHeight_ = WINDOW_HEIGHT;
    bool scaled_ = false;
    uint32_t screenFramebuffer_ = 0, screenRenderbuffer_ = 0;
    bool screenFramebufferFailed_ = false;
    WindowImage windowImage_;
    bool windowImageReady_ = false;
    std::vector<uint8_t> frame_;  // the frame read back, when magnified by the CPU
    struct Vertex {
        float x, y, u, v, r, g, b, a;
    };
    // Kept between frames, so that a frame allocates nothing once the largest run has been seen.
    std::vector<Vertex> vertices_;
    float colour_[4] = {0, 0, 0, 0};
    // Drawn at one texel per pixel with nearest sampling, a glyph's transparent texels leave the
    // pixels under them as they were: only each glyph's visible box is drawn.
    std::array<GlyphBox, 256> glyphBoxes_{};
    bool tightGlyphs_ = false;
    int originX_ = 0, originY_ = 0;
    bool clearPending_ = false;
    // The last picture drawn at its own size, told apart by texture name and pixel buffer.
    struct Picture {
        uint32_t texture = 0;
        const uint8_t* pixels = nullptr;
        bool opaque = false;           // no translucent texel
        uint32_t copyFramebuffer = 0;  // a framebuffer holding the picture upside down, or 0
        uint32_t copyTexture = 0;
    } picture_;
};

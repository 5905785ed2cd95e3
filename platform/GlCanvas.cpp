#include "platform/GlCanvas.h"

// The framebuffer-object entry points are exported by libGL itself.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "app/ScreenScale.h"

namespace {

// The size given to setupGl: the projection maps it onto the viewport one unit per pixel.
int projectionWidth = 0, projectionHeight = 0;

constexpr int CELL_WIDTH = GLYPH_WIDTH + 2;
constexpr int CELL_HEIGHT = LINE_HEIGHT + 2;

// The picture's own size in texels, from the texture side and the scales; false when the image
// has no usable layout (no texture side, or fewer pixels than the square needs).
bool pictureSize(const Image& image, int& width, int& height) {
    if (image.width <= 0 || image.width != image.height) return false;
    if (image.pixels.size() < size_t(image.width) * size_t(image.width) * 4) return false;
    width = int(std::lround(image.scaleX * image.width));
    height = int(std::lround(image.scaleY * image.height));
    return width > 0 && height > 0 && width <= image.width && height <= image.height;
}

}  // namespace

bool findGlyphBoxes(const Image& font, std::array<GlyphBox, 256>& boxes) {
    int width = 0, height = 0;
    if (!pictureSize(font, width, height) || width != 16 * CELL_WIDTH || height != 16 * CELL_HEIGHT)
        return false;
    const size_t side = size_t(font.width);
    for (int c = 0; c < 256; ++c) {
        const int cellX = (c & 15) * CELL_WIDTH, cellY = (c >> 4) * CELL_HEIGHT;
        int left = CELL_WIDTH, top = CELL_HEIGHT, right = 0, bottom = 0;
        for (int y = 0; y < CELL_HEIGHT; ++y)
            for (int x = 0; x < CELL_WIDTH; ++x) {
                if (font.pixels[((size_t(cellY + y) * side) + size_t(cellX + x)) * 4 + 3] == 0) continue;
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
            }
        boxes[size_t(c)] =
            right == 0 ? GlyphBox{} : GlyphBox{uint8_t(left), uint8_t(top), uint8_t(right), uint8_t(bottom)};
    }
    return true;
}

GlCanvas::GlCanvas(const Image& font) : font_(font) { tightGlyphs_ = findGlyphBoxes(font_, glyphBoxes_); }

void setupGl(int width, int height) {
    projectionWidth = width;
    projectionHeight = height;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, width, height, 0);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

// Colour components and opacity are divided by 256: 255 gives 255/256.
void GlCanvas::setColour(uint32_t colour, int opacity) {
    colour_[0] = float(colour & 0xFF) / 256.0f;
    colour_[1] = float((colour >> 8) & 0xFF) / 256.0f;
    colour_[2] = float((colour >> 16) & 0xFF) / 256.0f;
    colour_[3] = float(opacity) / 256.0f;
}

void GlCanvas::addQuad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1) {
    const float r = colour_[0], g = colour_[1], b = colour_[2], a = colour_[3];
    vertices_.push_back({x0, y0, u0, v0, r, g, b, a});
    vertices_.push_back({x1, y0, u1, v0, r, g, b, a});
    vertices_.push_back({x1, y1, u1, v1, r, g, b, a});
    vertices_.push_back({x0, y1, u0, v1, r, g, b, a});
}

void GlCanvas::flush() {
    if (vertices_.empty()) return;
    // The arrays are switched on only around the draw: the immediate-mode drawing elsewhere
    // never sees them.
    const GLsizei stride = sizeof(Vertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, stride, &vertices_[0].x);
    glColorPointer(4, GL_FLOAT, stride, &vertices_[0].r);
    const bool textured = batch_ == Batch::Glyphs;
    if (textured) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, &vertices_[0].u);
    }
    glDrawArrays(GL_QUADS, 0, GLsizei(vertices_.size()));
    if (textured) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    vertices_.clear();
}

void GlCanvas::enter(Batch batch) {
    if (batch == batch_) return;
    if (batch_ != Batch::Idle) {
        flush();
        glDisable(GL_TEXTURE_2D);
    }
    batch_ = batch;
    if (batch == Batch::Glyphs) {
        glBindTexture(GL_TEXTURE_2D, font_.texture);
        glEnable(GL_TEXTURE_2D);
    }
}

void GlCanvas::setWindowSize(int width, int height) {
    windowWidth_ = width;
    windowHeight_ = height;
    // A window of the logical size is drawn into directly (off-screen frames cost a software
    // rasteriser three times as much). A magnified one is drawn at the logical size in its top
    // left corner and blown up pixel for pixel on the CPU, which writes each window pixel once
    // where GL runs a texture-sampling shader for each (under a software rasteriser, several
    // times a whole redraw at scale 1); without a shared image, off screen and blown up by GL.
    scaled_ = width != WINDOW_WIDTH || height != WINDOW_HEIGHT;
    if (scaled_)
        windowImageReady_ = windowImage_.resize(width, height);
    else
        windowImageReady_ = windowImage_.resize(0, 0);  // let go of the image
    if (windowImageReady_) frame_.resize(size_t(WINDOW_WIDTH) * WINDOW_HEIGHT * 4);
}

bool GlCanvas::bindScreenFramebuffer() {
    if (!screenFramebuffer_ && !screenFramebufferFailed_) {
        // Framebuffer objects came with OpenGL 3.0.
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        screenFramebufferFailed_ = !version || std::atoi(version) < 3;
        if (!screenFramebufferFailed_) {
            // Laid out as the window's own buffer is (bytes blue, green, red, alpha; see the
            // picture copy): the backdrop's blit into it and its blit to the window are then
            // plain copies of rows, with no conversion of every pixel.
            GLint boundTexture = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
            glGenTextures(1, &screenRenderbuffer_);
            glBindTexture(GL_TEXTURE_2D, screenRenderbuffer_);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, projectionWidth, projectionHeight, 0, GL_BGRA,
                         GL_UNSIGNED_BYTE, nullptr);
            glBindTexture(GL_TEXTURE_2D, GLuint(boundTexture));
            glGenFramebuffers(1, &screenFramebuffer_);
            glBindFramebuffer(GL_FRAMEBUFFER, screenFramebuffer_);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, screenRenderbuffer_, 0);
            if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE ||
                glGetError() != GL_NO_ERROR) {
                glBindFramebuffer(GL_FRAMEBUFFER, 0);
                glDeleteFramebuffers(1, &screenFramebuffer_);
                glDeleteTextures(1, &screenRenderbuffer_);
                screenFramebuffer_ = screenRenderbuffer_ = 0;
                screenFramebufferFailed_ = true;
            }
        }
    }
    if (!screenFramebuffer_) return false;
    glBindFramebuffer(GL_FRAMEBUFFER, screenFramebuffer_);
    glViewport(0, 0, projectionWidth, projectionHeight);
    return true;
}

void GlCanvas::presentScaled() {
    const ScreenPlacement p = placeScreen(windowWidth_, windowHeight_);
    const int width = projectionWidth * p.scale, height = projectionHeight * p.scale;
    // Window rows count from the bottom.
    const int bottom = windowHeight_ - p.y - height;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, screenFramebuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glViewport(0, 0, windowWidth_, windowHeight_);
    if (width != windowWidth_ || height != windowHeight_) {  // a black border around the picture
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glBlitFramebuffer(0, 0, projectionWidth, projectionHeight, p.x, bottom, p.x + width, bottom + height,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void GlCanvas::beginFrame(int originX, int originY) {
    enter(Batch::Idle);
    if (magnifiedByCpu()) {
        // The top left corner, where a window of the logical size has its frame: the pixels are
        // those drawn at scale 1.
        glViewport(0, windowHeight_ - projectionHeight, projectionWidth, projectionHeight);
    } else if (scaled_ && !bindScreenFramebuffer()) {
        // Without off-screen frames the projection itself is magnified; the picture is then
        // as crisp as the rasteriser makes it.
        const ScreenPlacement p = placeScreen(windowWidth_, windowHeight_);
        glViewport(p.x, windowHeight_ - p.y - projectionHeight * p.scale, projectionWidth * p.scale,
                   projectionHeight * p.scale);
    } else if (!scaled_) {
        // A window resized back to the logical size keeps the viewport of its magnified frames.
        glViewport(0, 0, projectionWidth, projectionHeight);
    }
    originX_ = originX;
    originY_ = originY;
    glClearColor(0, 0, 0, 1);
    clearPending_ = true;
    glLoadIdentity();
    glTranslatef(float(originX), float(originY), 0);
}

void GlCanvas::clearIfPending() {
    if (!clearPending_) return;
    clearPending_ = false;
    if (magnifiedByCpu()) {
        glEnable(GL_SCISSOR_TEST);
        clearBox(0, windowHeight_ - projectionHeight, projectionWidth, projectionHeight);
        glDisable(GL_SCISSOR_TEST);
    } else {
        glClear(GL_COLOR_BUFFER_BIT);
    }
}

void GlCanvas::clearBox(int left, int bottom, int width, int height) {
    if (magnifiedByCpu()) {
        // Only the frame's corner of the window is read back; clearing the rest would be wasted.
        const int frameBottom = windowHeight_ - projectionHeight;
        const int right = std::min(left + width, projectionWidth);
        const int top = std::min(bottom + height, frameBottom + projectionHeight);
        left = std::max(left, 0);
        bottom = std::max(bottom, frameBottom);
        width = right - left;
        height = top - bottom;
        if (width <= 0 || height <= 0) return;
    }
    glScissor(left, bottom, width, height);
    glClear(GL_COLOR_BUFFER_BIT);
}

void GlCanvas::clearAround(int left, int bottom, int width, int height) {
    clearPending_ = false;
    // Scissor boxes may reach past the drawable; FAR covers any window.
    constexpr int FAR = 1 << 14;
    const int right = left + width, top = bottom + height;
    glEnable(GL_SCISSOR_TEST);
    clearBox(-FAR, -FAR, left + FAR, 2 * FAR);
    clearBox(right, -FAR, FAR, 2 * FAR);
    clearBox(left, -FAR, width, bottom + FAR);
    clearBox(left, top, width, FAR);
    glDisable(GL_SCISSOR_TEST);
}

void GlCanvas::drawText(int y, const char* text, int x, uint32_t colour, int opacity) {
    clearIfPending();
    if (!text || !*text) return;
    enter(Batch::Glyphs);
    setColour(colour, opacity);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    if (tightGlyphs_) {
        // Texel t of the square texture starts at t / side, exactly representable as a float.
        const float texel = 1.0f / float(font_.width);
        for (; *p; ++p, x += GLYPH_WIDTH) {
            const GlyphBox& box = glyphBoxes_[*p];
            if (box.right == 0) continue;
            const int cellX = (*p & 15) * CELL_WIDTH, cellY = (*p >> 4) * CELL_HEIGHT;
            const float left = float(cellX + box.left) * texel, right = float(cellX + box.right) * texel;
            const float top = float(cellY + box.top) * texel, bottom = float(cellY + box.bottom) * texel;
            // The cell's top left texel lands on pixel (x - 1, y - 1).
            const int qx = x - 1, qy = y - 1;
            addQuad(float(qx + box.left), float(qy + box.top), float(qx + box.right), float(qy + box.bottom),
                    left, top, right, bottom);
        }
        return;
    }
    // One cell is 1/16 of the sheet each way, scaled to the part of the texture the sheet fills.
    const double cellW = 0.0625 * font_.scaleX, cellH = 0.0625 * font_.scaleY;
    for (; *p; ++p, x += GLYPH_WIDTH) {
        const unsigned c = *p;
        // A blank cell is fully transparent: blending it would leave every pixel as it was.
        if (c == ' ') continue;
        const double left = (c & 15) * cellW, top = (c >> 4) * cellH;
        const double right = left + cellW, bottom = top + cellH;
        // The 10 x 18 quad covers the glyph's whole cell, including its one-pixel margin.
        const int qx = x - 1, qy = y - 1;
        addQuad(float(qx), float(qy), float(qx + CELL_WIDTH), float(qy + CELL_HEIGHT), float(left),
                float(top), float(right), float(bottom));
    }
}

void GlCanvas::drawRect(const Rect& rect, uint32_t colour, int opacity) {
    clearIfPending();
    enter(Batch::Fills);
    setColour(colour, opacity);
    addQuad(float(rect.x), float(rect.y), float(rect.x + rect.width), float(rect.y + rect.height), 0, 0, 0,
            0);
}

void GlCanvas::drawLine(int x1, int y1, int x2, int y2, uint32_t colour, int opacity) {
    clearIfPending();
    if (x1 == x2 || y1 == y2) {
        // A row or column of pixels from the first point up to, not including, the last, as a
        // line through pixel centres covers them; as a quad it covers the same pixels in the
        // window and off screen (a software rasteriser can break the tie at the ends either way
        // depending on which way up the buffer is).
        enter(Batch::Fills);
        setColour(colour, opacity);
        const float left = float(std::min(x1, x2) + (x2 < x1 ? 1 : 0));
        const float top = float(std::min(y1, y2) + (y2 < y1 ? 1 : 0));
        const float width = x1 == x2 ? 1.0f : float(std::abs(x2 - x1));
        const float height = y1 == y2 ? 1.0f : float(std::abs(y2 - y1));
        if (x1 != x2 || y1 != y2) addQuad(left, top, left + width, top + height, 0, 0, 0, 0);
        return;
    }
    enter(Batch::Idle);
    setColour(colour, opacity);
    glColor4fv(colour_);
    // Through pixel centres, so the line lands on exactly one row or column of pixels.
    glBegin(GL_LINES);
    glVertex2f(float(x1) + 0.5f, float(y1) + 0.5f);
    glVertex2f(float(x2) + 0.5f, float(y2) + 0.5f);
    glEnd();
}

void GlCanvas::notePicture(const Image& image, int width, int height) {
    if (image.texture == picture_.texture && image.pixels.data() == picture_.pixels) return;
    dropPictureCopy();
    picture_.texture = image.texture;
    picture_.pixels = image.pixels.data();
    picture_.opaque = false;
    const size_t side = size_t(image.width);
    for (size_t y = 0; y < size_t(height); ++y)
        for (size_t x = 0; x < size_t(width); ++x)
            if (image.pixels[(y * side + x) * 4 + 3] != 255) return;
    picture_.opaque = true;
    makePictureCopy(image, width, height);
}

void GlCanvas::dropPictureCopy() {
    if (picture_.copyFramebuffer) glDeleteFramebuffers(1, &picture_.copyFramebuffer);
    if (picture_.copyTexture) glDeleteTextures(1, &picture_.copyTexture);
    picture_.copyFramebuffer = picture_.copyTexture = 0;
}

void GlCanvas::makePictureCopy(const Image& image, int width, int height) {
    // Framebuffer objects and blits came with OpenGL 3.0.
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version || std::atoi(version) < 3) return;
    // The copy is laid out as window framebuffers usually are: bytes blue, green, red, alpha and
    // the top row first in memory. The blit is then a plain copy of rows that needs no shader
    // over every pixel (under a software rasteriser, half the cost of a redraw). The unsized
    // internal format lets the GL keep the texels in the order they are given rather than
    // reorder them into its own preferred 8-bit layout. In GL's coordinates, where rows count
    // from the bottom, the copy holds the picture upside down; blitPicture turns it back.
    const size_t side = size_t(image.width), rowBytes = size_t(width) * 4;
    std::vector<uint8_t> rows(rowBytes * size_t(height));
    for (size_t y = 0; y < size_t(height); ++y) {
        const uint8_t* from = &image.pixels[y * side * 4];
        uint8_t* to = &rows[y * rowBytes];
        for (size_t x = 0; x < rowBytes; x += 4) {
            to[x] = from[x + 2];
            to[x + 1] = from[x + 1];
            to[x + 2] = from[x];
            to[x + 3] = from[x + 3];
        }
    }
    GLint boundTexture = 0, readFramebuffer = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glGenTextures(1, &picture_.copyTexture);
    glBindTexture(GL_TEXTURE_2D, picture_.copyTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    glGenFramebuffers(1, &picture_.copyFramebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, picture_.copyFramebuffer);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, picture_.copyTexture, 0);
    const bool complete = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
    glBindTexture(GL_TEXTURE_2D, GLuint(boundTexture));
    if (!complete || glGetError() != GL_NO_ERROR) dropPictureCopy();
}

bool GlCanvas::blitPicture(int x, int y, int width, int height) {
    if (!picture_.copyFramebuffer) return false;
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[2] != projectionWidth || viewport[3] != projectionHeight) return false;
    // The picture's top left corner in framebuffer rows, which count from the bottom.
    const int left = viewport[0] + originX_ + x;
    const int bottom = viewport[1] + viewport[3] - (originY_ + y + height);
    GLint readFramebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, picture_.copyFramebuffer);
    // Source rows are read top to bottom and written bottom to top: the flip puts the copy back
    // the right way up.
    glBlitFramebuffer(0, 0, width, height, left, bottom + height, left + width, bottom, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
    if (clearPending_) clearAround(left, bottom, width, height);
    return true;
}

void GlCanvas::drawImage(const Image& image, int x, int y, int width, int height) {
    enter(Batch::Idle);
    // Drawn at its own size, every pixel centre falls on a texel centre: linear filtering then
    // takes that one texel alone, exactly what nearest filtering takes at less cost. An opaque
    // picture sampled that way covers what is under it, so blending would change nothing either,
    // and the pixels are those of a copy of the picture's texels, which a blit makes fastest.
    int pictureWidth = 0, pictureHeight = 0;
    const bool ownSize =
        pictureSize(image, pictureWidth, pictureHeight) && width == pictureWidth && height == pictureHeight;
    if (ownSize) notePicture(image, width, height);
    const bool opaque = ownSize && picture_.opaque;
    if (opaque && blitPicture(x, y, width, height)) return;
    clearIfPending();
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, image.texture);
    glEnable(GL_TEXTURE_2D);
    GLint magFilter = GL_NEAREST, minFilter = GL_NEAREST;
    if (ownSize) {
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        if (opaque) glDisable(GL_BLEND);
    }
    glBegin(GL_QUADS);
    glTexCoord2d(0, 0);
    glVertex2i(x, y);
    glTexCoord2d(image.scaleX, 0);
    glVertex2i(x + width, y);
    glTexCoord2d(image.scaleX, image.scaleY);
    glVertex2i(x + width, y + height);
    glTexCoord2d(0, image.scaleY);
    glVertex2i(x, y + height);
    glEnd();
    if (ownSize) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
        if (opaque) glEnable(GL_BLEND);
    }
    glDisable(GL_TEXTURE_2D);
}

void GlCanvas::endFrame() {
    clearIfPending();
    enter(Batch::Idle);
    if (magnifiedByCpu()) {
        // The window's own buffers are never swapped: what the window shows comes from the
        // image alone.
        const ScreenPlacement p = placeScreen(windowWidth_, windowHeight_);
        glReadPixels(0, windowHeight_ - projectionHeight, projectionWidth, projectionHeight, GL_BGRA,
                     GL_UNSIGNED_BYTE, frame_.data());
        windowImage_.show(frame_.data(), p.scale, p.x, p.y);
        return;
    }
    if (scaled_ && screenFramebuffer_) presentScaled();
    SDL_GL_SwapBuffers();
}

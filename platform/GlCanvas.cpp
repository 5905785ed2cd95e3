#include "platform/GlCanvas.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL.h>

namespace {

// Colour components and opacity are divided by 256: 255 gives 255/256.
void setColour(uint32_t colour, int opacity) {
    glColor4f(float(colour & 0xFF) / 256.0f, float((colour >> 8) & 0xFF) / 256.0f,
              float((colour >> 16) & 0xFF) / 256.0f, float(opacity) / 256.0f);
}

}  // namespace

void setupGl(int width, int height) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, width, height, 0);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void GlCanvas::enter(Batch batch) {
    if (batch == batch_) return;
    if (batch_ != Batch::Idle) {
        glEnd();
        glDisable(GL_TEXTURE_2D);
    }
    batch_ = batch;
    if (batch == Batch::Glyphs) {
        glBindTexture(GL_TEXTURE_2D, font_.texture);
        glEnable(GL_TEXTURE_2D);
    }
    if (batch != Batch::Idle) glBegin(GL_QUADS);
}

void GlCanvas::beginFrame(int originX, int originY) {
    enter(Batch::Idle);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(float(originX), float(originY), 0);
}

void GlCanvas::drawText(int y, const char* text, int x, uint32_t colour, int opacity) {
    if (!text || !*text) return;
    // One cell is 1/16 of the sheet each way, scaled to the part of the texture the sheet fills.
    const double cellW = 0.0625 * font_.scaleX, cellH = 0.0625 * font_.scaleY;
    enter(Batch::Glyphs);
    setColour(colour, opacity);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p, x += GLYPH_WIDTH) {
        const unsigned c = *p;
        // A blank cell is fully transparent: blending it would leave every pixel as it was.
        if (c == ' ') continue;
        const double left = (c & 15) * cellW, top = (c >> 4) * cellH;
        const double right = left + cellW, bottom = top + cellH;
        // The 10 x 18 quad covers the glyph's whole cell, including its one-pixel margin.
        const int qx = x - 1, qy = y - 1;
        glTexCoord2d(left, top);
        glVertex2i(qx, qy);
        glTexCoord2d(right, top);
        glVertex2i(qx + GLYPH_WIDTH + 2, qy);
        glTexCoord2d(right, bottom);
        glVertex2i(qx + GLYPH_WIDTH + 2, qy + LINE_HEIGHT + 2);
        glTexCoord2d(left, bottom);
        glVertex2i(qx, qy + LINE_HEIGHT + 2);
    }
}

void GlCanvas::drawRect(const Rect& rect, uint32_t colour, int opacity) {
    enter(Batch::Fills);
    setColour(colour, opacity);
    glVertex2i(rect.x, rect.y);
    glVertex2i(rect.x + rect.width, rect.y);
    glVertex2i(rect.x + rect.width, rect.y + rect.height);
    glVertex2i(rect.x, rect.y + rect.height);
}

void GlCanvas::drawLine(int x1, int y1, int x2, int y2, uint32_t colour, int opacity) {
    enter(Batch::Idle);
    setColour(colour, opacity);
    // Through pixel centres, so the line lands on exactly one row or column of pixels.
    glBegin(GL_LINES);
    glVertex2f(float(x1) + 0.5f, float(y1) + 0.5f);
    glVertex2f(float(x2) + 0.5f, float(y2) + 0.5f);
    glEnd();
}

void GlCanvas::drawImage(const Image& image, int x, int y, int width, int height) {
    enter(Batch::Idle);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, image.texture);
    glEnable(GL_TEXTURE_2D);
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
    glDisable(GL_TEXTURE_2D);
}

void GlCanvas::endFrame() {
    enter(Batch::Idle);
    SDL_GL_SwapBuffers();
}

#include "app/RecordingCanvas.h"

void RecordingCanvas::beginFrame(int originX, int originY) {
    ops.clear();
    DrawOp op;
    op.kind = DrawOp::Begin;
    op.x = originX;
    op.y = originY;
    ops.push_back(op);
}

void RecordingCanvas::drawText(int y, const char* text, int x, uint32_t colour, int opacity) {
    DrawOp op;
    op.kind = DrawOp::Text;
    op.x = x;
    op.y = y;
    op.text = text;
    op.colour = colour;
    op.opacity = opacity;
    ops.push_back(op);
}

void RecordingCanvas::drawRect(const Rect& rect, uint32_t colour, int opacity) {
    DrawOp op;
    op.kind = DrawOp::Fill;
    op.x = rect.x;
    op.y = rect.y;
    op.width = rect.width;
    op.height = rect.height;
    op.colour = colour;
    op.opacity = opacity;
    ops.push_back(op);
}

void RecordingCanvas::drawLine(int x1, int y1, int x2, int y2, uint32_t colour, int opacity) {
    DrawOp op;
    op.kind = DrawOp::Line;
    op.x = x1;
    op.y = y1;
    op.x2 = x2;
    op.y2 = y2;
    op.colour = colour;
    op.opacity = opacity;
    ops.push_back(op);
}

void RecordingCanvas::drawImage(const Image& image, int x, int y, int width, int height) {
    DrawOp op;
    op.kind = DrawOp::Picture;
    op.x = x;
    op.y = y;
    op.width = width;
    op.height = height;
    op.texture = image.texture;
    ops.push_back(op);
}

void RecordingCanvas::endFrame() {
    DrawOp op;
    op.kind = DrawOp::End;
    ops.push_back(op);
}

std::vector<const DrawOp*> RecordingCanvas::textsAt(int x, int y) const {
    std::vector<const DrawOp*> out;
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Text && op.x == x && op.y == y) out.push_back(&op);
    return out;
}

const DrawOp* RecordingCanvas::findText(const std::string& s) const {
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Text && op.text == s) return &op;
    return nullptr;
}

std::vector<const DrawOp*> RecordingCanvas::ofKind(DrawOp::Kind kind) const {
    std::vector<const DrawOp*> out;
    for (const DrawOp& op : ops)
        if (op.kind == kind) out.push_back(&op);
    return out;
}

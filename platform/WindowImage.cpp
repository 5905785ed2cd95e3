#include "platform/WindowImage.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>

#include "app/Canvas.h"

struct WindowImage::Shared {
    Display* display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    XShmSegmentInfo segment{};
    XImage* image = nullptr;
    bool attached = false;
};

namespace {

// Set while the server is asked to attach a segment: a server that cannot reach the program's
// memory (another machine) answers with an error, which must not end the program.
bool attachFailed = false;
int SDLCALL noteAttachError(Display*, XErrorEvent*) {
    attachFailed = true;
    return 0;
}

}  // namespace

WindowImage::WindowImage() = default;

// The program ends after SDL has closed its connection to the X server, so the server is not
// spoken to here; it lets go of the segment and the drawing context with the connection.
WindowImage::~WindowImage() { release(false); }

void WindowImage::release(bool withServer) {
    if (!shared_) return;
    Shared& s = *shared_;
    if (withServer && s.attached) {
        XShmDetach(s.display, &s.segment);
        XSync(s.display, False);
    }
    if (s.image) {
        s.image->data = nullptr;  // the segment is not XImage's to free
        XDestroyImage(s.image);
    }
    if (s.segment.shmaddr && s.segment.shmaddr != reinterpret_cast<char*>(-1)) shmdt(s.segment.shmaddr);
    if (withServer && s.gc) XFreeGC(s.display, s.gc);
    shared_.reset();
}

bool WindowImage::resize(int width, int height) {
    release(true);
    if (width <= 0 || height <= 0) return false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) <= 0 || info.subsystem != SDL_SYSWM_X11) return false;
    Display* display = info.info.x11.display;
    const Window window = info.info.x11.window;
    if (!display || !window || !XShmQueryExtension(display)) return false;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || !attributes.visual) return false;
    const Visual& visual = *attributes.visual;
    // The frame's bytes go in as they are: the window must keep 32-bit pixels, blue in the low
    // byte, in this machine's byte order.
    if (visual.red_mask != 0xFF0000 || visual.green_mask != 0xFF00 || visual.blue_mask != 0xFF) return false;

    shared_ = std::make_unique<Shared>();
    Shared& s = *shared_;
    s.display = display;
    s.window = window;
    s.image = XShmCreateImage(display, attributes.visual, unsigned(attributes.depth), ZPixmap, nullptr,
                              &s.segment, unsigned(width), unsigned(height));
    if (!s.image || s.image->bits_per_pixel != 32 || s.image->byte_order != LSBFirst ||
        s.image->bytes_per_line != width * 4) {
        release(true);
        return false;
    }
    s.segment.shmid = shmget(IPC_PRIVATE, size_t(s.image->bytes_per_line) * size_t(height), IPC_CREAT | 0600);
    if (s.segment.shmid < 0) {
        release(true);
        return false;
    }
    s.segment.shmaddr = static_cast<char*>(shmat(s.segment.shmid, nullptr, 0));
    if (s.segment.shmaddr == reinterpret_cast<char*>(-1)) {
        shmctl(s.segment.shmid, IPC_RMID, nullptr);
        release(true);
        return false;
    }
    s.image->data = s.segment.shmaddr;
    s.segment.readOnly = True;
    attachFailed = false;
    XSync(display, False);
    XErrorHandler previous = XSetErrorHandler(noteAttachError);
    const bool attached = XShmAttach(display, &s.segment);
    XSync(display, False);
    XSetErrorHandler(previous);
    // Marked for removal now that both sides hold it: it goes when both let go, even if the
    // program ends without a word.
    shmctl(s.segment.shmid, IPC_RMID, nullptr);
    s.attached = attached && !attachFailed;
    if (!s.attached) {
        release(true);
        return false;
    }
    s.gc = XCreateGC(display, window, 0, nullptr);
    // Black, opaque: what the GL clear around the picture gives.
    std::fill_n(reinterpret_cast<uint32_t*>(s.image->data), size_t(width) * size_t(height), 0xFF000000u);
    whole_ = true;
    return true;
}

void WindowImage::show(const uint8_t* frame, int scale, int x, int y) {
    if (!shared_) return;
    Shared& s = *shared_;
    const int imageWidth = s.image->width, imageHeight = s.image->height;
    // The part of the magnified picture inside the image (a window smaller than the picture shows
    // its top left part).
    const int width = std::min(WINDOW_WIDTH * scale, imageWidth - x);
    const int height = std::min(WINDOW_HEIGHT * scale, imageHeight - y);
    constexpr size_t ROW_BYTES = size_t(WINDOW_WIDTH) * 4;
    if (shown_.size() != ROW_BYTES * WINDOW_HEIGHT) {
        shown_.assign(ROW_BYTES * WINDOW_HEIGHT, 0);
        whole_ = true;
    }
    if (width > 0 && height > 0) {
        const int columns = (width + scale - 1) / scale;
        uint32_t* const pixels = reinterpret_cast<uint32_t*>(s.image->data);
        for (int line = 0; line * scale < height; ++line) {
            // Rows come bottom up. A row as it was last time is in the image already: most frames
            // change a few rows, and the blow-up is the largest part of the cost of a frame.
            const size_t at = size_t(WINDOW_HEIGHT - 1 - line) * ROW_BYTES;
            const uint8_t* from = frame + at;
            if (!whole_ && std::memcmp(from, &shown_[at], ROW_BYTES) == 0) continue;
            std::memcpy(&shown_[at], from, ROW_BYTES);
            uint32_t* const first = pixels + size_t(y + line * scale) * size_t(imageWidth) + size_t(x);
            uint32_t* to = first;
            if (scale == 2) {
                for (int column = 0; column < columns; ++column, to += 2) {
                    uint32_t pixel;
                    std::memcpy(&pixel, from + size_t(column) * 4, 4);
                    const uint64_t pair = uint64_t(pixel) << 32 | pixel;
                    std::memcpy(to, &pair, 8);
                }
            } else {
                for (int column = 0; column < columns; ++column) {
                    uint32_t pixel;
                    std::memcpy(&pixel, from + size_t(column) * 4, 4);
                    for (int k = 0; k < scale; ++k) *to++ = pixel;
                }
            }
            for (int k = 1; k < scale && line * scale + k < height; ++k)
                std::memcpy(first + size_t(k) * size_t(imageWidth), first, size_t(width) * 4);
        }
    }
    whole_ = false;
    // All of it, every frame: the server may have lost any part of the window's pixels (another
    // window over it) since the last one.
    XShmPutImage(s.display, s.window, s.gc, s.image, 0, 0, 0, 0, unsigned(imageWidth), unsigned(imageHeight),
                 False);
    // The server has read the image once the round trip is back; the next frame may then be
    // written into it.
    XSync(s.display, False);
}

#include "platform/Window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <deque>

#include "app/Canvas.h"
#include "app/ScreenScale.h"
#include "app/UriList.h"
#include "assets/BuiltinAssets.h"
#include "platform/GlCanvas.h"
#include "platform/Images.h"

namespace {

// Files dropped on the window. With the SDL 1.2 API on top of SDL 2, the library answers the
// drag-and-drop protocol itself but does not pass the dropped names on; they arrive in the
// text/uri-list selection that it requests on a drop. The event filter reads that selection when
// it comes, while the X event is still at hand (a system-window message is only valid inside
// the filter), and queues the first local file named.
struct DropState {
    Display* display = nullptr;
    Atom xdndSelection = None;
    Atom uriList = None;
    std::deque<std::string> files;
};
DropState drops;

int SDLCALL eventFilter(const SDL_Event* event) {
    if (event->type != SDL_SYSWMEVENT || !event->syswm.msg || !drops.display) return 1;
    if (event->syswm.msg->subsystem != SDL_SYSWM_X11) return 1;
    const XEvent& x = event->syswm.msg->event.xevent;
    if (x.type != SelectionNotify || x.xselection.selection != drops.xdndSelection ||
        x.xselection.target != drops.uriList || x.xselection.property == None)
        return 1;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    // Up to 64 KiB of names; the first one is all that is used.
    if (XGetWindowProperty(drops.display, x.xselection.requestor, x.xselection.property, 0, 16384, False,
                           AnyPropertyType, &type, &format, &count, &remaining, &data) == Success &&
        data && format == 8) {
        const std::string path = firstFileOfUriList(std::string(reinterpret_cast<char*>(data), count));
        if (!path.empty()) drops.files.push_back(path);
    }
    if (data) XFree(data);
    return 1;
}

void acceptDrops() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) <= 0 || info.subsystem != SDL_SYSWM_X11) return;
    drops.display = info.info.x11.display;
    drops.xdndSelection = XInternAtom(drops.display, "XdndSelection", False);
    drops.uriList = XInternAtom(drops.display, "text/uri-list", False);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    SDL_SetEventFilter(eventFilter);
}

// The window icon must be set before the video mode.
void setIcon() {
    Image icon;
    if (!decodeImage(builtinIconPng, builtinIconPngSize, icon)) return;
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceFrom(icon.pixels.data(), icon.width, icon.height, 32, icon.width * 4, 0x000000FF,
                                 0x0000FF00, 0x00FF0000, 0xFF000000);  // RGBA bytes
    if (!surface) return;
    SDL_WM_SetIcon(surface, nullptr);
    SDL_FreeSurface(surface);
}

// The screen's work area (without panels) as the window manager announces it, else the whole
// screen; zero when neither is known.
void workArea(int& width, int& height) {
    width = height = 0;
    if (Display* display = XOpenDisplay(nullptr)) {
        const Atom workarea = XInternAtom(display, "_NET_WORKAREA", True);
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        if (workarea != None &&
            XGetWindowProperty(display, DefaultRootWindow(display), workarea, 0, 4, False, XA_CARDINAL, &type,
                               &format, &count, &remaining, &data) == Success &&
            data && format == 32 && count >= 4) {
            const long* area = reinterpret_cast<const long*>(data);
            width = int(area[2]);
            height = int(area[3]);
        }
        if (data) XFree(data);
        if (width <= 0 || height <= 0) {
            width = DisplayWidth(display, DefaultScreen(display));
            height = DisplayHeight(display, DefaultScreen(display));
        }
        XCloseDisplay(display);
    }
    if (width <= 0 || height <= 0) {
        if (const SDL_VideoInfo* info = SDL_GetVideoInfo()) {
            width = info->current_w;
            height = info->current_h;
        }
    }
}

constexpr Uint32 VIDEO_FLAGS = SDL_OPENGL | SDL_RESIZABLE;

}  // namespace

void preferDirectWindowDrawing() {
    // The maintained SDL 1.2 library draws GL programs into a framebuffer of its own and copies it
    // to the window at every swap, in case the window is scaled. Ours never is: draw straight into
    // the window, as the classic library does, and save a full-window copy per frame. The library
    // reads the setting when it starts; a value the user set stands.
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 0);
}

void openWindow(const std::string& caption, int scaleSetting, int& width, int& height) {
    SDL_WM_SetCaption(caption.c_str(), nullptr);
    SDL_EnableKeyRepeat(500, 30);
    SDL_EnableUNICODE(1);
    setIcon();

    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    // The main loop paces the frames itself; buffer swaps must not wait for the retrace.
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 0);
    int areaWidth = 0, areaHeight = 0;
    if (scaleSetting < 1 || scaleSetting > MAX_WINDOW_SCALE) workArea(areaWidth, areaHeight);
    const int scale = chooseWindowScale(scaleSetting, areaWidth, areaHeight);
    width = WINDOW_WIDTH * scale;
    height = WINDOW_HEIGHT * scale;
    if (const SDL_Surface* screen = SDL_SetVideoMode(width, height, 32, VIDEO_FLAGS)) {
        width = screen->w;
        height = screen->h;
    }
    setupGl(WINDOW_WIDTH, WINDOW_HEIGHT);
    acceptDrops();
}

uint32_t SdlHost::ticks() const { return SDL_GetTicks(); }

void SdlHost::delay(uint32_t ms) { SDL_Delay(ms); }

void SdlHost::setTitle(const std::string& title) { SDL_WM_SetCaption(title.c_str(), nullptr); }

bool SdlHost::pollEvent(AppEvent& event) {
    clipboard_.serveRequests();
    SDL_Event e;
    for (;;) {
        if (!drops.files.empty()) {
            event.kind = AppEvent::FileDrop;
            event.path = drops.files.front();
            drops.files.pop_front();
            return true;
        }
        if (!SDL_PollEvent(&e)) break;
        switch (e.type) {
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                event.kind = AppEvent::Key;
                event.key.sym = uint32_t(e.key.keysym.sym);
                event.key.mod = uint32_t(e.key.keysym.mod);
                event.key.unicode = e.key.keysym.unicode;
                event.key.pressed = e.key.state == SDL_PRESSED;
                event.path.clear();
                return true;
            case SDL_VIDEORESIZE:
                if (e.resize.w > 0 && e.resize.h > 0) {
                    // The size the window really got, which the window manager may have adjusted.
                    const SDL_Surface* screen = SDL_SetVideoMode(e.resize.w, e.resize.h, 32, VIDEO_FLAGS);
                    if (onResize && screen) onResize(screen->w, screen->h);
                }
                break;
            case SDL_QUIT:
                event.kind = AppEvent::Quit;
                event.path.clear();
                return true;
            default:
                break;  // every other event is of no interest
        }
    }
    return false;
}

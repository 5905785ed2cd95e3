#include "platform/Window.h"

#include <SDL.h>

#include "app/Canvas.h"
#include "assets/BuiltinAssets.h"
#include "platform/GlCanvas.h"
#include "platform/Images.h"

namespace {

// The window icon must be set before the video mode.
void setIcon() {
    Image icon;
    if (!decodeImage(builtinIconPng, builtinIconPngSize, icon)) return;
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceFrom(icon.pixels.data(), icon.width, icon.height, 32, icon.width * 4,
                                 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000);  // RGBA bytes
    if (!surface) return;
    SDL_WM_SetIcon(surface, nullptr);
    SDL_FreeSurface(surface);
}

}  // namespace

void openWindow(const std::string& caption) {
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
    SDL_SetVideoMode(WINDOW_WIDTH, WINDOW_HEIGHT, 32, SDL_OPENGL);
    setupGl(WINDOW_WIDTH, WINDOW_HEIGHT);
}

uint32_t SdlHost::ticks() const { return SDL_GetTicks(); }

void SdlHost::delay(uint32_t ms) { SDL_Delay(ms); }

bool SdlHost::pollEvent(AppEvent& event) {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
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

#pragma once
// The program's window: SDL 1.2 with an OpenGL context, its events and its clock.

#include <string>

#include "app/Host.h"
#include "platform/X11Clipboard.h"

// Asks the SDL 1.2 library to draw straight into the window rather than through a scaling
// framebuffer of its own (which costs a full-window copy per frame). Call before SDL_Init.
void preferDirectWindowDrawing();

#include <functional>

// Opens the window at scale times 794 x 602 (scale from chooseWindowScale: the "window scale"
// setting, 1-8, or 0 for the largest that fits the screen's work area), resizable, with a
// double-buffered GL context (8 bits per colour and alpha, no depth buffer, no wait for vertical
// retrace), the built-in icon and the given caption; key repeat 500/30 ms and Unicode
// translation on; then sets up the GL state for the logical 794 x 602 picture. SDL's video
// subsystem must be initialised. Answers the window's size.
void openWindow(const std::string& caption, int scaleSetting, int& width, int& height);

// Events, ticks and sleeping through SDL. A file dropped on the window comes as a FileDrop event
// with the first file of the drop.
class SdlHost : public Host {
  public:
    uint32_t ticks() const override;
    // The system clipboard; its requests are served on every pollEvent.
    Clipboard& clipboard() { return clipboard_; }
    bool pollEvent(AppEvent& event) override;
    void delay(uint32_t ms) override;
    // Called with the new size after the user resized the window (the video mode already follows).
    std::function<void(int width, int height)> onResize;
    void setTitle(const std::string& title) override;

  private:
    X11Clipboard clipboard_;
};

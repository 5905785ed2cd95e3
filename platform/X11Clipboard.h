#pragma once
// The X11 CLIPBOARD selection, served from a small window of our own on a connection of our own,
// so that the windowing library (which has clipboard handling of its own on its window) never
// sees the requests meant for us.

#include <string>

#include "app/Clipboard.h"

class X11Clipboard : public Clipboard {
  public:
    // Connects to the display named by $DISPLAY; without one every operation fails quietly.
    X11Clipboard();
    ~X11Clipboard() override;
    X11Clipboard(const X11Clipboard&) = delete;
    X11Clipboard& operator=(const X11Clipboard&) = delete;

    bool putText(const std::string& text) override;
    // Asks the owner for UTF8_STRING, then STRING; waits up to a second for each answer.
    bool getText(std::string& text) override;

    // Answers other programs' requests for our text (TARGETS, UTF8_STRING, STRING). Call it
    // often, e.g. once per main-loop pass.
    void serveRequests();

    struct State;

  private:
    State* state_;
};

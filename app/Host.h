#pragma once
// What the program needs from the system it runs on, beyond drawing: events, time and sleeping.
// The window implements it; tests feed scripted events.

#include <cstdint>
#include <string>

#include "app/Clock.h"
#include "config/KeyEvent.h"

struct AppEvent {
    enum Kind { Key, Quit, FileDrop };
    Kind kind = Key;
    KeyEvent key;      // Key
    std::string path;  // FileDrop: the first dropped file
};

class Host : public Clock {
  public:
    // Takes the next pending event; false when none is waiting.
    virtual bool pollEvent(AppEvent& event) = 0;
    // Sleeps for the given number of milliseconds.
    virtual void delay(uint32_t ms) = 0;
    // Shows the text as the window's caption; without a window nothing happens.
    virtual void setTitle(const std::string& /*title*/) {}
};

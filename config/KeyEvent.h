#pragma once
// A key event as the core sees it: plain values, so that editors and tests need no SDL header.
// The platform layer fills one from each SDL 1.2 key event.

#include <cstdint>

struct KeyEvent {
    uint32_t sym = 0;      // SDL 1.2 key symbol (see KeyNames.h); 0 for a key SDL cannot name
    uint32_t mod = 0;      // SDL 1.2 modifier bits (KMOD_* values) held at the time of the event
    uint16_t unicode = 0;  // the character the key typed (0 when none, and on release)
    bool pressed = false;  // true for key down, false for key up
};

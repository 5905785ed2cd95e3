#pragma once
// Milliseconds since the program started (wraps after about 49 days, like the tick counter it
// stands for; compute ages with unsigned subtraction).

#include <cstdint>

class Clock {
  public:
    virtual ~Clock() = default;
    virtual uint32_t ticks() const = 0;
};

// A clock that shows whatever time it is told: for tests and offline drawing.
class ManualClock : public Clock {
  public:
    uint32_t now = 0;
    uint32_t ticks() const override { return now; }
};

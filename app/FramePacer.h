#pragma once
// Paces the main loop near a target redraw rate without busy-waiting: the delay after each frame
// starts at the nominal frame time and creeps by 1 ms per second toward the rate at which no
// more frames than the target are drawn per second. It never drops below 1 ms.

#include <cstdint>

class FramePacer {
  public:
    // A target below 1 counts as 25 frames per second.
    explicit FramePacer(int32_t targetFps);

    // Call once per drawn frame with the current tick count (ms). On the first call more than
    // 1000 ms after the last rate check: more frames than the target in that time add 1 ms to
    // the delay, otherwise (equal counts included) 1 ms comes off while it is above 1.
    void frameDrawn(uint32_t now);

    uint32_t delay() const { return delay_; }
    int32_t target() const { return target_; }

  private:
    int32_t target_;
    uint32_t delay_;
    int32_t frames_ = 0;
    uint32_t lastCheck_ = 0;
};

// Backups of the song are written when more than five minutes have passed since the last one
// (the first after five minutes of running).
constexpr uint32_t BACKUP_INTERVAL_MS = 300000;

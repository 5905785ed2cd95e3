#include "app/FramePacer.h"

FramePacer::FramePacer(int32_t targetFps) : target_(targetFps < 1 ? 25 : targetFps) {
    delay_ = uint32_t(1000 / target_);
    // A target above 1000 frames per second would give no pause at all; the loop always yields.
    if (delay_ < 1) delay_ = 1;
}

void FramePacer::frameDrawn(uint32_t now) {
    ++frames_;
    if (now - lastCheck_ <= 1000) return;
    lastCheck_ = now;
    if (frames_ > target_)
        ++delay_;
    else if (delay_ > 1)
        --delay_;
    frames_ = 0;
}

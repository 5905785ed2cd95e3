#include "app/StatusMessage.h"

void setStatus(StatusMessage& status, const Clock& clock, std::string text) {
    const uint32_t now = clock.ticks();
    status.text = std::move(text);
    // Unsigned arithmetic: a stamp 255 ms "before" a tick count below 255 wraps, and the age
    // computed from it by the same arithmetic is still 255.
    if (now - status.time < STATUS_FADE_IN_MS)
        status.time = now - STATUS_FADE_IN_MS;
    else
        status.time = now;
}

int statusOpacity(const StatusMessage& status, uint32_t now) {
    const uint32_t age = now - status.time;
    if (age < STATUS_FADE_IN_MS) return int(age);
    if (age < STATUS_FADE_OUT_MS) return 255;
    if (age < STATUS_GONE_MS) return int(STATUS_GONE_MS - age);
    return -1;
}

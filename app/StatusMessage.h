#pragma once
// The status line: one text that every command uses to report, fading in and out.

#include <cstdint>
#include <string>

#include "app/Clock.h"

struct StatusMessage {
    std::string text;
    uint32_t time = 0;  // clock ticks (ms) the fade is measured from
};

// Fade-in length, and the age from which the text fades out / is gone (milliseconds).
constexpr uint32_t STATUS_FADE_IN_MS = 255;
constexpr uint32_t STATUS_FADE_OUT_MS = 3500;
constexpr uint32_t STATUS_GONE_MS = 3755;

// Stores the text. A message that follows the previous one within 255 ms shows at full strength
// at once (its stamp is set 255 ms in the past); otherwise it fades in from now.
void setStatus(StatusMessage& status, const Clock& clock, std::string text);

// Opacity (0-255) of the status line at time now: the age for ages 0-254 ms, 255 up to 3499 ms,
// 3755 - age from 3500 to 3754 ms. Returns -1 from 3755 ms on: the line is not drawn.
int statusOpacity(const StatusMessage& status, uint32_t now);

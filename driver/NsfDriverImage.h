#pragma once
// The NSF playback driver's 6502 image (driver/nsf_driver.s), loaded at $E000: init at $EAE0,
// play at $EE3D. Built from source at build time.

#include <cstdint>

constexpr int NSF_DRIVER_IMAGE_SIZE = 4478;
extern const uint8_t nsfDriverImage[NSF_DRIVER_IMAGE_SIZE];

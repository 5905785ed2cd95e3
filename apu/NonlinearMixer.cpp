#include "apu/NonlinearMixer.h"

#include <algorithm>

#include "base/Require.h"

NonlinearMixer::NonlinearMixer() {
    for (int i = 0; i < kTableSize; ++i) {
        if (i <= kZeroIndex) {
            table[i] = static_cast<std::uint16_t>(i * 32);
            continue;
        }
        // The 2A03's triangle/noise/DMC output curve, 163.67 / (24329 / n + 100), over 0..202
        // units, scaled to 1.3 times full scale above the zero point.
        int j = std::min(i - kZeroIndex, 767);
        double n = j * 0.2633637548891786;
        table[i] =
            static_cast<std::uint16_t>(32768 + static_cast<int>(163.67 / (24329.0 / n + 100.0) * 42597.1));
    }
}

void NonlinearMixer::apply(std::uint16_t* entries, long count) noexcept {
    BF_REQUIRE(count >= 0 && (entries || count == 0));
    std::uint32_t acc = static_cast<std::uint32_t>(accumulator);
    int previous = entryFor(static_cast<std::int32_t>(acc));
    for (long i = 0; i < count; ++i) {
        acc += static_cast<std::uint32_t>(entries[i]) - 0x7F7Fu;
        int e = entryFor(static_cast<std::int32_t>(acc));
        entries[i] = static_cast<std::uint16_t>(e - previous + 0x7F7F);
        previous = e;
    }
    accumulator = static_cast<std::int32_t>(acc);
}

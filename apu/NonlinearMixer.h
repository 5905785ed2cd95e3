#pragma once
// The 2A03's non-linear mixing curve for triangle + noise + DMC, as a 2048-entry table applied to
// the running sum of the non-linear buffer's differences.

#include <cstdint>

class NonlinearMixer {
  public:
    static constexpr int kTableSize = 2048;
    // Table index of a zero sum; indices up to here pass through unchanged (entry = index * 32).
    static constexpr int kZeroIndex = 1024;

    NonlinearMixer();

    std::uint16_t table[kTableSize];
    std::int32_t accumulator = 0x8000;
    bool enabled = false;

    std::uint16_t entryFor(std::int32_t sum) const noexcept { return table[(sum >> 5) & (kTableSize - 1)]; }
    // Rewrites `count` (0 or more) running differences in place (biased by BandLimitedBuffer::kBias) as the
    // differences of the mixed curve, carrying the running sum in `accumulator`.
    void apply(std::uint16_t* entries, long count) noexcept;
};

#pragma once
// One mixing path of the output: a buffer of running differences into which band-limited
// amplitude steps are added at exact CPU times, integrated into samples when read.
//
// Times: CPU cycles since the start of the current frame (a frame is whatever span the caller
// closes with endFrame; the Apu closes one per scanline step). Resampled times are 16.16 fixed
// point output samples.

#include <cstdint>
#include <memory>

class BandLimitedBuffer {
  public:
    // Largest capacity in samples; also the capacity chosen by a length of 0 ms.
    static constexpr int kMaxSize = 65448;
    // Extra entries past the capacity, so a step kernel starting at the last sample still fits.
    static constexpr int kExtra = 24;
    // Stored value of a zero difference.
    static constexpr std::uint16_t kBias = 0x7F7F;

    BandLimitedBuffer() = default;
    BandLimitedBuffer(const BandLimitedBuffer&) = delete;
    BandLimitedBuffer& operator=(const BandLimitedBuffer&) = delete;

    // Output rate in Hz (> 0) and capacity in milliseconds (0 = the largest, 65448 samples).
    // Reallocates when the capacity changes, then clears. Returns nullptr, or "Out of memory"
    // (the buffer is then left empty: size 0, offset 0).
    const char* setSampleRate(long rate, int milliseconds = 0);
    // CPU clock in Hz (> 0); recomputes samples per cycle.
    void setClockRate(long clockRate);
    // High-pass corner in Hz (0 = none). 16 Hz by default.
    void setBassFrequency(int frequency);
    // Drops all samples and the integrator state.
    void clear();

    // Closes the current frame of `cycles` CPU cycles: its samples become readable. Samples that
    // would not fit the capacity are dropped rather than written past the end.
    void endFrame(int cycles) noexcept {
        const std::uint64_t next = offset_ + std::uint64_t{factor_} * static_cast<std::uint32_t>(cycles);
        // Nobody read for a long time: keep the write position inside the array.
        const std::uint64_t limit = static_cast<std::uint64_t>(size_) << 16;
        offset_ = static_cast<std::uint32_t>(next < limit ? next : limit);
    }
    // Whole samples finished and not yet read.
    long samplesAvailable() const noexcept { return static_cast<long>(offset_ >> 16); }
    // Forgets the first `count` finished samples (count <= samplesAvailable()).
    void removeSamples(long count) noexcept;

    // 16.16 sample position of CPU time `cycles` in the current frame.
    std::uint32_t resampledTime(int cycles) const noexcept {
        return static_cast<std::uint32_t>(cycles) * factor_ + offset_;
    }

    long sampleRate() const { return sampleRate_; }
    long clockRate() const { return clockRate_; }
    int bassFrequency() const { return bassFrequency_; }
    int bassShift() const { return bassShift_; }
    int length() const { return length_; }  // capacity in milliseconds
    int size() const { return size_; }      // capacity in samples
    std::uint32_t factor() const { return factor_; }
    std::uint32_t offset() const { return offset_; }

    // Entries a step may write to: size() + kExtra, or 0 without an array.
    std::uint32_t room() const noexcept { return room_; }
    // Raw access for the synthesisers and the reader: size() + kExtra entries.
    std::uint16_t* samples() noexcept { return samples_.get(); }
    const std::uint16_t* samples() const noexcept { return samples_.get(); }
    // Integrator state between reads (16.15 fixed point of the output).
    std::int32_t readerAccumulator = 0;

  private:
    std::uint32_t factor_ = 0xFFFFFFFFu;
    std::uint32_t offset_ = 0;
    std::unique_ptr<std::uint16_t[]> samples_;
    int size_ = 0;
    std::uint32_t room_ = 0;
    int bassShift_ = 0;
    long sampleRate_ = 44100;
    long clockRate_ = 0;
    int bassFrequency_ = 16;
    int length_ = 0;

    void updateBassShift();
};

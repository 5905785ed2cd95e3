#pragma once
// Adds band-limited amplitude steps into a BandLimitedBuffer. One synthesiser per kernel; a
// channel hands it amplitude changes in level steps, the synthesiser scales them by its volume
// unit. Per step the work is one 16-bit multiply-add per kernel entry of a precomputed table row.

#include <cstdint>
#include <cstring>

#include "apu/BandLimitedBuffer.h"

class BandLimitedSynth {
  public:
    static constexpr int kMaxWidth = 12;
    static constexpr int kRawRows = 17;
    static constexpr int kRows = 64;  // 32 sub-sample phases, times two for odd sample positions

    // Kernel width in samples: 8 or 12.
    explicit BandLimitedSynth(int width = 12);

    int width() const { return width_; }

    // Amplitude of one level step, as a fraction of full scale (1.0 = 65536 in the buffer).
    // Designs the kernel on first use; ignored when equal to the current unit.
    void setVolumeUnit(double unit);
    double volumeUnit() const { return volumeUnit_; }

    // Adds a step of `delta` level steps at CPU time `cycles` in the buffer's current frame.
    void addStep(int cycles, int delta, BandLimitedBuffer& buffer) const noexcept {
        addStepResampled(buffer.resampledTime(cycles), delta, buffer);
    }
    // Adds a step at a 16.16 resampled time. Steps that fall beyond the buffer are dropped.
    void addStepResampled(std::uint32_t time, int delta, BandLimitedBuffer& buffer) const noexcept {
        if (width_ == 12)
            addPairs<6>(time, delta, buffer);
        else
            addPairs<4>(time, delta, buffer);
    }

    // Adds steps for a timer loop: the resampled time runs on by a fixed amount per timer period
    // instead of being computed anew from the CPU time, and the buffer's bounds are taken once.
    // `Half` is width() / 2.
    template <int Half>
    class Cursor {
      public:
        // Adds a step of `delta` level steps at the current time; dropped beyond the buffer.
        void add(int delta) noexcept {
            const std::uint32_t s = (time_ >> 16) & ~1u;
            if (s >= bound_) return;
            addRow<Half>(samples_ + (12 - Half) + s, rows_[(time_ >> 11) & 63], delta);
        }
        // Moves on by one timer period.
        void next() noexcept { time_ += step_; }
        // Moves on by `periods` timer periods.
        void skip(int periods) noexcept { time_ += static_cast<std::uint32_t>(periods) * step_; }

      private:
        friend class BandLimitedSynth;
        const std::uint16_t (*rows_)[kMaxWidth];
        std::uint16_t* samples_;
        std::uint32_t bound_;  // sample indices below this take a whole kernel
        std::uint32_t time_;
        std::uint32_t step_;
    };

    // A cursor at CPU time `cycles` in the buffer's current frame, moving on by `period` cycles.
    template <int Half>
    Cursor<Half> cursor(BandLimitedBuffer& buffer, int cycles, int period) const noexcept {
        Cursor<Half> c;
        c.rows_ = rows_;
        c.samples_ = buffer.samples();
        const std::uint32_t room = buffer.room();
        c.bound_ = room >= 12 + Half ? room - (12 + Half) + 1 : 0;
        c.time_ = buffer.resampledTime(cycles);
        c.step_ = static_cast<std::uint32_t>(period) * buffer.factor();
        return c;
    }
    // Calls `loop` with the cursor for this synthesiser's width.
    template <class Loop>
    void withCursor(BandLimitedBuffer& buffer, int cycles, int period, Loop&& loop) const {
        if (width_ == 12)
            loop(cursor<6>(buffer, cycles, period));
        else
            loop(cursor<4>(buffer, cycles, period));
    }

    // Design results, exposed for tests.
    const std::uint16_t* rawKernel() const { return raw_; }    // 17 x width
    const std::uint16_t* stepTable() const { return table_; }  // 64 x width
    std::uint32_t biasWord() const { return bias_; }
    bool kernelPending() const { return kernelPending_; }

  private:
    int width_;
    double trebleDb_ = 0.0;
    long cutoffHz_ = 0;
    long designRate_ = 44100;
    double volumeUnit_ = -1.0;
    bool kernelPending_ = true;
    std::uint16_t raw_[kRawRows * kMaxWidth] = {};
    std::uint16_t table_[kRows * kMaxWidth] = {};
    // Per row, each entry minus the unit (modulo 2^16): what one level step adds to each sample.
    std::uint16_t rows_[kRows][kMaxWidth] = {};
    std::uint32_t bias_ = 0;

    void designKernel();
    void scaleKernel();     // from the cache of scaled tables, or scaleRawKernel
    void scaleRawKernel();  // table_ and rows_ from raw_ and the unit in bias_

    // Each sample of a kernel row takes its own 16-bit addition (modulo 2^16). Samples are
    // running differences biased to mid-range, so they stay inside 16 bits and no carry from one
    // sample into its neighbour ever matters; the fixed-width loop compiles to a few vector
    // multiply-adds.
    template <int Half>
    void addPairs(std::uint32_t time, int delta, BandLimitedBuffer& buffer) const noexcept {
        std::uint16_t* samples = buffer.samples();
        const std::uint32_t s = (time >> 16) & ~1u;
        // A reader that fell far behind: drop the step rather than write past the array.
        if (!samples || s + 12 + Half > buffer.room()) return;
        addRow<Half>(samples + (12 - Half) + s, rows_[(time >> 11) & 63], delta);
    }

    // Eight and four 16-bit lanes: a kernel row of width 8 is one vector, of width 12 one and a half.
    using Lanes8 = std::uint16_t __attribute__((vector_size(16)));
    using Lanes4 = std::uint16_t __attribute__((vector_size(8)));

    template <int Half>
    static void addRow(std::uint16_t* p, const std::uint16_t* row, int delta) noexcept {
        static_assert(Half == 4 || Half == 6);
        const auto d = static_cast<std::uint16_t>(delta);  // lanes wrap modulo 2^16
        Lanes8 acc, add;
        std::memcpy(&acc, p, sizeof acc);
        std::memcpy(&add, row, sizeof add);
        acc += add * d;
        std::memcpy(p, &acc, sizeof acc);
        if constexpr (Half == 6) {
            Lanes4 acc4, add4;
            std::memcpy(&acc4, p + 8, sizeof acc4);
            std::memcpy(&add4, row + 8, sizeof add4);
            acc4 += add4 * d;
            std::memcpy(p + 8, &acc4, sizeof acc4);
        }
    }
};

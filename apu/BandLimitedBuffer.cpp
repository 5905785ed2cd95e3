#include "apu/BandLimitedBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// The bias repeats one byte, so a run of it is a memset: a loop over the 16-bit entries is not
// always made one, and buffers are cleared whole on every configure and reset.
static_assert((BandLimitedBuffer::kBias >> 8) == (BandLimitedBuffer::kBias & 0xFF));
void fillBias(std::uint16_t* to, long count) {
    std::memset(to, BandLimitedBuffer::kBias & 0xFF, size_t(count) * sizeof(std::uint16_t));
}

}  // namespace

const char* BandLimitedBuffer::setSampleRate(long rate, int milliseconds) {
    if (rate <= 0) rate = 44100;  // a zero rate would divide by zero below
    long newSize = kMaxSize;
    if (milliseconds > 0) {
        long long wanted = ((static_cast<long long>(milliseconds) + 1) * rate + 999) / 1000;
        newSize = static_cast<long>(std::min<long long>(kMaxSize, wanted));
    }
    if (newSize != size_ || !samples_) {
        samples_.reset();
        size_ = 0;
        room_ = 0;
        offset_ = 0;
        samples_.reset(new (std::nothrow) std::uint16_t[newSize + kExtra]);
        if (!samples_) return "Out of memory";
        size_ = static_cast<int>(newSize);
        room_ = static_cast<std::uint32_t>(newSize + kExtra);
    }
    sampleRate_ = rate;
    length_ = static_cast<int>(size_ * 1000L / rate - 1);
    if (clockRate_ != 0) setClockRate(clockRate_);
    updateBassShift();
    clear();
    return nullptr;
}

void BandLimitedBuffer::setClockRate(long clockRate) {
    if (clockRate <= 0) return;
    clockRate_ = clockRate;
    factor_ =
        static_cast<std::uint32_t>(std::floor(static_cast<double>(sampleRate_) / clockRate * 65536.0 + 0.5));
}

void BandLimitedBuffer::setBassFrequency(int frequency) {
    bassFrequency_ = frequency;
    updateBassShift();
}

void BandLimitedBuffer::updateBassShift() {
    if (bassFrequency_ <= 0) {
        bassShift_ = 31;
        return;
    }
    // log2 of how many samples the high-pass time constant spans.
    int shift =
        1 + static_cast<int>(std::floor(std::log(sampleRate_ * 0.124 / bassFrequency_) * 1.442695041));
    bassShift_ = std::clamp(shift, 0, 24);
}

void BandLimitedBuffer::clear() {
    offset_ = 0;
    readerAccumulator = 0;
    if (samples_) fillBias(samples_.get(), size_ + kExtra);
}

void BandLimitedBuffer::removeSamples(long count) noexcept {
    if (!samples_ || count <= 0) return;
    count = std::min(count, samplesAvailable());
    offset_ -= static_cast<std::uint32_t>(count) << 16;
    // Everything still pending: the unread samples plus the tail a kernel may reach into.
    long keep = std::min<long>((offset_ >> 16) + kExtra + 1, size_ + kExtra - count);
    std::memmove(samples_.get(), samples_.get() + count, keep * sizeof(std::uint16_t));
    fillBias(samples_.get() + keep, count);
}

#pragma once
// Abstract output object the Apu renders into: hands out per-channel buffers, takes the step
// ends, and gives out 16-bit mono samples.

#include <cstdint>

#include "apu/BandLimitedBuffer.h"

// The buffers a channel adds its steps to. The output is mono, so all three are the same buffer
// in practice.
struct ChannelBuffers {
    BandLimitedBuffer* centre = nullptr;
    BandLimitedBuffer* left = nullptr;
    BandLimitedBuffer* right = nullptr;
};

class Multi_Buffer {
  public:
    Multi_Buffer() = default;
    Multi_Buffer(const Multi_Buffer&) = delete;
    Multi_Buffer& operator=(const Multi_Buffer&) = delete;
    virtual ~Multi_Buffer();

    // Accepts any count; returns nullptr (no error).
    virtual const char* prepareChannels(int count);
    // Buffers for channel `index` (0-1 pulses, 2 triangle, 3 noise, 4 DMC, others expansion).
    virtual ChannelBuffers buffersForChannel(int index) = 0;
    // Output rate in Hz and capacity in ms (0 = largest). nullptr, or "Out of memory".
    virtual const char* setSampleRate(long rate, int milliseconds = 0) = 0;
    // CPU clock in Hz.
    virtual void setClockRate(long clockRate) = 0;
    // High-pass corner in Hz.
    virtual void setBassFrequency(int frequency) = 0;
    // Drops every sample not yet read.
    virtual void clear() = 0;
    // Closes a frame of `cycles` CPU cycles. `stereo` is ignored by mono buffers.
    virtual void endFrame(int cycles, bool stereo = false) = 0;
    // Writes up to `count` signed 16-bit samples to `destination`; returns how many it wrote
    // (fewer when fewer are available).
    virtual long readSamples(std::int16_t* destination, long count) = 0;
    // Samples ready to be read.
    virtual long samplesAvailable() const = 0;

    long sampleRate() const { return sampleRate_; }
    int length() const { return length_; }  // milliseconds

  protected:
    long sampleRate_ = 0;
    int length_ = 0;
};

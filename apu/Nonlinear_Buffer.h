#pragma once
// The program's output: a linear buffer (2A03 pulses, VRC6) and a non-linear buffer (triangle,
// noise, DMC) whose running sum goes through the NonlinearMixer; both are integrated, high-passed
// and added into 16-bit mono samples.

#include "apu/BandLimitedBuffer.h"
#include "apu/Multi_Buffer.h"
#include "apu/NonlinearMixer.h"

class Nonlinear_Buffer : public Multi_Buffer {
  public:
    Nonlinear_Buffer() = default;
    ~Nonlinear_Buffer() override;

    // Triangle, noise and DMC (2, 3, 4) get the non-linear buffer; every other index the linear.
    ChannelBuffers buffersForChannel(int index) override;
    const char* setSampleRate(long rate, int milliseconds = 0) override;
    void setClockRate(long clockRate) override;
    void setBassFrequency(int frequency) override;
    // Mixer accumulator back to 0x8000, both buffers cleared.
    void clear() override;
    void endFrame(int cycles, bool stereo = false) override;
    long readSamples(std::int16_t* destination, long count) override;
    long samplesAvailable() const override { return linear.samplesAvailable(); }

    // Switches the non-linear curve on or off (off at construction; Apu::configure turns it on).
    void enableNonlinear(bool on) { mixer.enabled = on; }

    BandLimitedBuffer linear;
    BandLimitedBuffer nonlinear;
    NonlinearMixer mixer;
};

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
    void endFrame(int cycles, bool /*stereo*/ = false) final {
        linear.endFrame(cycles);
        nonlinear.endFrame(cycles);
    }
    long readSamples(std::int16_t* destination, long count) override;
    long samplesAvailable() const override { return linear.samplesAvailable(); }

    // A renderer that puts off adding its steps installs a hook here (null: none). It is called
    // before samples are read, and before and after the buffers are cleared or retimed, so that
    // everything added up to the last endFrame is in place and the renderer can plan anew.
    // endFrame itself does not call it: steps added later at times before the frame end still
    // land correctly, as long as the buffer did not run full meanwhile.
    using RenderHook = void (*)(void* context);
    void setRenderHook(RenderHook hook, void* context) {
        renderHook_ = hook;
        renderContext_ = context;
    }

    // Switches the non-linear curve on or off (off at construction; Apu::configure turns it on).
    void enableNonlinear(bool on) { mixer.enabled = on; }

    BandLimitedBuffer linear;
    BandLimitedBuffer nonlinear;
    NonlinearMixer mixer;

  private:
    RenderHook renderHook_ = nullptr;
    void* renderContext_ = nullptr;
    void renderPending() {
        if (renderHook_) renderHook_(renderContext_);
    }
};

#pragma once
// A self-contained Apu with its output buffer, for tests and tools that want to listen to a
// register stream: write registers, end scanline steps or whole frames, read the samples, and
// measure pitch and loudness of what came out.

#include <cstdint>
#include <vector>

#include "apu/Apu.h"
#include "apu/Nonlinear_Buffer.h"

class ApuHarness {
  public:
    static constexpr int kStepsPerFrame = 312;

    // Configures for the TV system and output rate; throws std::runtime_error on failure.
    explicit ApuHarness(bool ntsc = false, long sampleRate = 44100);

    void write(std::uint16_t address, std::uint8_t value) { apu.writeRegister(address, value); }
    void endSteps(int count);
    void endFrames(int count) { endSteps(count * kStepsPerFrame); }
    // Runs scanline steps until at least `count` samples are ready, then reads exactly that many.
    std::vector<std::int16_t> render(long count);
    // Renders `seconds` of audio at the configured rate.
    std::vector<std::int16_t> renderSeconds(double seconds);
    // Reads whatever is ready.
    std::vector<std::int16_t> drain();

    long sampleRate() const { return sampleRate_; }

    Nonlinear_Buffer buffer;
    Apu apu{buffer};

  private:
    long sampleRate_;
};

// Pitch of a periodic signal in Hz, from the mean spacing of its rising crossings of the mean
// level (interpolated between samples). 0 when fewer than two crossings are found.
double measureFrequency(const std::vector<std::int16_t>& samples, long sampleRate);
// Fraction of each period spent above the mean level, averaged over the whole signal.
double measureDutyCycle(const std::vector<std::int16_t>& samples);
// Root-mean-square level about the mean.
double measureRms(const std::vector<std::int16_t>& samples);
// Largest minus smallest sample.
int measurePeakToPeak(const std::vector<std::int16_t>& samples);

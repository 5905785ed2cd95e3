#include "apu/Nonlinear_Buffer.h"

#include <algorithm>

Nonlinear_Buffer::~Nonlinear_Buffer() = default;

ChannelBuffers Nonlinear_Buffer::buffersForChannel(int index) {
    BandLimitedBuffer* b = (index >= 2 && index <= 4) ? &nonlinear : &linear;
    return {b, b, b};
}

const char* Nonlinear_Buffer::setSampleRate(long rate, int milliseconds) {
    renderPending();
    const char* error = linear.setSampleRate(rate, milliseconds);
    if (const char* e = nonlinear.setSampleRate(rate, milliseconds)) error = e;
    sampleRate_ = linear.sampleRate();
    length_ = linear.length();
    renderPending();
    return error;
}

void Nonlinear_Buffer::setClockRate(long clockRate) {
    renderPending();
    linear.setClockRate(clockRate);
    nonlinear.setClockRate(clockRate);
    renderPending();
}

void Nonlinear_Buffer::setBassFrequency(int frequency) {
    linear.setBassFrequency(frequency);
    nonlinear.setBassFrequency(frequency);
}

void Nonlinear_Buffer::clear() {
    renderPending();
    mixer.accumulator = 0x8000;
    linear.clear();
    nonlinear.clear();
    renderPending();
}

namespace {
// One integrator step: the output is the state before this sample's difference, then the state
// leaks by 2^-shift (the high-pass) and takes the difference in (a stored entry less the bias,
// times 2^15, here already in that form).
inline std::int32_t integrate(std::int32_t acc, int shift, std::uint32_t difference) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(acc) -
                                     static_cast<std::uint32_t>(acc >> shift) + difference);
}

inline std::uint32_t scaledDifference(std::uint16_t entry) {
    return static_cast<std::uint32_t>(entry - 0x7F7F) << 15;
}

struct MixState {
    std::int32_t linAcc, nonAcc;
    std::uint32_t mixAcc;
    int previous;
};

// Both buffers integrated and added into `count` samples. `Curve`: the non-linear path's
// running sum goes through the mixer table, whose differences are integrated instead of the
// entries. `SameShift`: both integrators leak alike (the usual case), which frees a register.
// `Shift` above 0: that is the shift of both, known at compile time (the common output rates).
template <bool Curve, bool SameShift, int Shift = 0>
void mixSamples(const std::uint16_t* lin, const std::uint16_t* non, const NonlinearMixer& mixer, int linShift,
                int nonShift, MixState& m, std::int16_t* destination, long count) {
    if constexpr (Shift > 0) linShift = nonShift = Shift;
    std::int32_t linAcc = m.linAcc, nonAcc = m.nonAcc;
    std::uint32_t mixAcc = m.mixAcc;
    int previous = m.previous;
    for (long i = 0; i < count; ++i) {
        std::int32_t s = (linAcc >> 15) + (nonAcc >> 15);
        linAcc = integrate(linAcc, linShift, scaledDifference(lin[i]));
        std::uint16_t entry = non[i];
        if constexpr (Curve) {
            mixAcc += static_cast<std::uint32_t>(entry) - 0x7F7Fu;
            const int e = mixer.entryFor(static_cast<std::int32_t>(mixAcc));
            // The curve's difference is stored biased in 16 bits like any entry.
            entry = static_cast<std::uint16_t>(e - previous + 0x7F7F);
            previous = e;
        }
        nonAcc = integrate(nonAcc, SameShift ? linShift : nonShift, scaledDifference(entry));
        if (static_cast<std::int16_t>(s) != s) [[unlikely]]
            s = 0x7FFF - (s >> 24);
        destination[i] = static_cast<std::int16_t>(s);
    }
    m = {linAcc, nonAcc, mixAcc, previous};
}
}  // namespace

long Nonlinear_Buffer::readSamples(std::int16_t* destination, long count) {
    renderPending();
    if (!linear.samples() || !nonlinear.samples() || count <= 0) return 0;
    count = std::min({count, nonlinear.samplesAvailable(), linear.samplesAvailable()});
    if (count <= 0) return 0;

    const std::uint16_t* lin = linear.samples();
    const std::uint16_t* non = nonlinear.samples();
    const int linShift = linear.bassShift();
    const int nonShift = nonlinear.bassShift();
    // The mixer curve turns the non-linear path's running sum into its differences on the fly;
    // this is the same as rewriting the entries first, in one pass.
    const std::uint32_t mixAcc = static_cast<std::uint32_t>(mixer.accumulator);
    MixState m{linear.readerAccumulator, nonlinear.readerAccumulator, mixAcc,
               mixer.entryFor(static_cast<std::int32_t>(mixAcc))};
    const bool same = linShift == nonShift;
    if (mixer.enabled) {
        if (same && linShift == 9)  // 32-63 kHz
            mixSamples<true, true, 9>(lin, non, mixer, linShift, nonShift, m, destination, count);
        else if (same)
            mixSamples<true, true>(lin, non, mixer, linShift, nonShift, m, destination, count);
        else
            mixSamples<true, false>(lin, non, mixer, linShift, nonShift, m, destination, count);
        mixer.accumulator = static_cast<std::int32_t>(m.mixAcc);
    } else if (same) {
        mixSamples<false, true>(lin, non, mixer, linShift, nonShift, m, destination, count);
    } else {
        mixSamples<false, false>(lin, non, mixer, linShift, nonShift, m, destination, count);
    }
    linear.readerAccumulator = m.linAcc;
    nonlinear.readerAccumulator = m.nonAcc;
    linear.removeSamples(count);
    nonlinear.removeSamples(count);
    return count;
}

#include "apu/BandLimitedSynth.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace {
// The one equaliser every kernel is designed with: a gentle treble roll-off like the console's
// own output filter. The same kernel serves every output rate.
constexpr double kTrebleDb = -8.87;
constexpr long kCutoffHz = 8800;
constexpr long kDesignRate = 44100;
constexpr int kHarmonics = 4096;
constexpr int kPhases = 32;  // sub-sample resolution of the step table
}  // namespace

BandLimitedSynth::BandLimitedSynth(int width) : width_(width == 8 ? 8 : 12) {}

// The raw kernel depends only on the width, so it is designed once per width and process: every
// Apu (and every fuzz input, which makes a new one) copies it instead of taking ~1,500 cosines.
namespace {
using RawKernel = std::array<std::uint16_t, BandLimitedSynth::kRawRows * BandLimitedSynth::kMaxWidth>;

RawKernel designRawKernel(int w) {
    RawKernel raw{};
    const int size = kPhases * (w - 2) / 2;
    std::vector<float> impulse(size);

    // Closed form of a band-limited step's derivative whose harmonics above the cutoff fall off
    // geometrically to the treble level at the Nyquist rate.
    double treble = std::pow(10.0, kTrebleDb * 0.05);
    if (treble < 0.000005) treble = 0.000005;
    const double pt = 44100.0 / kDesignRate;
    double cutoff = 2.0 * kCutoffHz / kDesignRate;
    if (cutoff >= pt * 0.95 || cutoff >= 0.95) {
        cutoff = 0.5;
        treble = 1.0;
    }
    const double n = kHarmonics;
    const double rolloff = std::pow(treble, 1.0 / (n * pt - n * cutoff));
    const double rescale = 1.0 / std::pow(rolloff, n * cutoff);
    const double an = rescale * std::pow(rolloff, n);
    const double anc = rescale * std::pow(rolloff, n * cutoff);
    const double nc = n * cutoff;

    double total = 0.0;
    for (int i = size - 1; i >= 0; --i) {
        const double angle = (2 * i + 1) * 1.1984224905356572e-05;  // pi / (2 * N * 32) per half step
        const double c1 = std::cos(angle);
        const double cnc = std::cos(nc * angle);
        const double cnc1 = std::cos((nc - 1.0) * angle);
        const double b = 2.0 - 2.0 * c1;
        const double a = 1.0 - c1 - cnc + cnc1;
        const double d = 1.0 + rolloff * (rolloff - 2.0 * c1);
        const double c = an * rolloff * std::cos((n - 1.0) * angle) - an * std::cos(n * angle) -
                         anc * rolloff * cnc1 + anc * cnc;
        const float y = static_cast<float>((a * d + c * b) / (b * d));
        impulse[i] = y;
        total += y;
    }

    // Integrate the impulse over each tap's span of 32 sub-steps: 17 rows of phase 0..16/32
    // (the other 15 phases are the mirror image).
    const double factor = 16384.0 / total;
    auto at = [&](int index) -> double {
        if (index < 0) index = -index - 1;  // the impulse is symmetric about zero
        return index < size ? impulse[index] : 0.0;
    };
    for (int row = 0; row < BandLimitedSynth::kRawRows; ++row) {
        const int start = kPhases - row;
        for (int k = -w / 2; k < w / 2; ++k) {
            double sum = 0.0;
            for (int j = 0; j < kPhases; ++j) sum += at(k * kPhases + start + j);
            raw[row * w + (k + w / 2)] =
                static_cast<std::uint16_t>(static_cast<int>(std::floor(sum * factor + 16384.5)));
        }
    }

    return raw;
}
}  // namespace

void BandLimitedSynth::designKernel() {
    trebleDb_ = kTrebleDb;
    cutoffHz_ = kCutoffHz;
    designRate_ = kDesignRate;
    static const RawKernel narrow = designRawKernel(8), wide = designRawKernel(12);
    const RawKernel& raw = width_ == 8 ? narrow : wide;
    std::memcpy(raw_, raw.data(), sizeof raw_);

    kernelPending_ = false;
    if (volumeUnit_ >= 0.0) {
        double unit = volumeUnit_;
        volumeUnit_ = -1.0;
        setVolumeUnit(unit);
    }
}

void BandLimitedSynth::setVolumeUnit(double unit) {
    if (unit == volumeUnit_) return;
    if (kernelPending_) designKernel();
    volumeUnit_ = unit;
    // The unit is a 16-bit fraction of full scale.
    const double scaled = std::clamp(std::floor(unit * 65536.0 + 0.5), 0.0, 65535.0);
    bias_ = 0x10001u * static_cast<std::uint32_t>(scaled);
    scaleKernel();
}

// Scaled tables depend only on the width and the unit, and an Apu sets the same few units every
// time it is configured: the last ones made are kept for every synthesiser of the process.
namespace {
struct ScaledKernel {
    int width;
    std::uint32_t bias;
    std::uint16_t table[BandLimitedSynth::kRows * BandLimitedSynth::kMaxWidth];
    std::uint16_t rows[BandLimitedSynth::kRows][BandLimitedSynth::kMaxWidth];
};
std::mutex scaledMutex;
std::array<ScaledKernel, 16> scaled;
std::size_t scaledCount = 0, scaledNext = 0;
}  // namespace

void BandLimitedSynth::scaleKernel() {
    std::lock_guard<std::mutex> lock(scaledMutex);
    for (std::size_t i = 0; i < scaledCount; ++i) {
        if (scaled[i].width != width_ || scaled[i].bias != bias_) continue;
        std::memcpy(table_, scaled[i].table, sizeof table_);
        std::memcpy(rows_, scaled[i].rows, sizeof rows_);
        return;
    }
    scaleRawKernel();
    ScaledKernel& slot = scaled[scaledNext];
    scaledCount = std::max(scaledCount, scaledNext + 1);
    scaledNext = (scaledNext + 1) % scaled.size();
    slot.width = width_;
    slot.bias = bias_;
    std::memcpy(slot.table, table_, sizeof table_);
    std::memcpy(slot.rows, rows_, sizeof rows_);
}

void BandLimitedSynth::scaleRawKernel() {
    const int w = width_;
    const std::int32_t u = static_cast<std::int32_t>(bias_ & 0xFFFF);
    std::uint16_t* out = table_;

    // Scale each raw row to the unit; the rounding error goes to the row's middle tap so every
    // row adds exactly one unit in total.
    int pos = 0;
    for (int row = 0; row < kRawRows; ++row) {
        std::int32_t error = u;
        for (int k = 0; k < w; ++k) {
            // 64-bit: a unit near full scale times a raw entry does not fit in 32 bits.
            const std::int32_t a =
                static_cast<std::int32_t>((static_cast<std::int64_t>(raw_[row * w + k]) * u +
                                           (static_cast<std::int64_t>(u) + 1) * 16384) >>
                                          15);
            out[pos++] = static_cast<std::uint16_t>(a);
            error -= a - u;
        }
        out[pos - (w / 2 + 1)] = static_cast<std::uint16_t>(out[pos - (w / 2 + 1)] + error);
    }
    // Phases 17..31 are the earlier rows reversed; the last entry completes the final step.
    for (int k = 0; k < 15 * w - 1; ++k) out[17 * w + k] = out[16 * w - 2 - k];
    out[32 * w - 1] = static_cast<std::uint16_t>(u);
    // Odd sample positions: the same table one sample later.
    out[32 * w] = static_cast<std::uint16_t>(u);
    std::memcpy(out + 32 * w + 1, out, (32 * w - 1) * sizeof(std::uint16_t));

    for (int row = 0; row < kRows; ++row)
        for (int k = 0; k < w; ++k) rows_[row][k] = static_cast<std::uint16_t>(out[row * w + k] - u);
}

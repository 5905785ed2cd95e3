#include "apu/ApuHarness.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

ApuHarness::ApuHarness(bool ntsc, long sampleRate) : sampleRate_(sampleRate) {
    if (const char* error = apu.configure(ntsc, sampleRate)) throw std::runtime_error(error);
}

void ApuHarness::endSteps(int count) {
    for (int i = 0; i < count; ++i) apu.endScanline();
}

std::vector<std::int16_t> ApuHarness::render(long count) {
    std::vector<std::int16_t> out;
    out.reserve(static_cast<std::size_t>(std::max(0L, count)));
    std::int16_t chunk[4096];
    while (static_cast<long>(out.size()) < count) {
        const long want = std::min<long>(count - static_cast<long>(out.size()), 4096);
        while (buffer.samplesAvailable() < want) apu.endScanline();
        const long got = buffer.readSamples(chunk, want);
        out.insert(out.end(), chunk, chunk + got);
    }
    return out;
}

std::vector<std::int16_t> ApuHarness::renderSeconds(double seconds) {
    return render(static_cast<long>(std::lround(seconds * static_cast<double>(sampleRate_))));
}

std::vector<std::int16_t> ApuHarness::drain() {
    std::vector<std::int16_t> out(static_cast<std::size_t>(buffer.samplesAvailable()));
    out.resize(static_cast<std::size_t>(buffer.readSamples(out.data(), static_cast<long>(out.size()))));
    return out;
}

namespace {
double mean(const std::vector<std::int16_t>& s) {
    double sum = 0;
    for (auto v : s) sum += v;
    return s.empty() ? 0.0 : sum / static_cast<double>(s.size());
}
}  // namespace

double measureFrequency(const std::vector<std::int16_t>& samples, long sampleRate) {
    const double m = mean(samples);
    // Rising crossings of the mean with a little hysteresis, so ringing near an edge does not
    // count twice.
    double lo = 0, hi = 0;
    for (auto v : samples) {
        lo = std::min(lo, v - m);
        hi = std::max(hi, v - m);
    }
    const double band = (hi - lo) * 0.05;
    double first = -1, last = -1;
    long crossings = 0;
    bool armed = false;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const double a = samples[i - 1] - m, b = samples[i] - m;
        if (b < -band) armed = true;
        if (armed && a < 0 && b >= 0) {
            const double at = static_cast<double>(i - 1) + (-a) / (b - a);
            if (first < 0) first = at;
            last = at;
            ++crossings;
            armed = false;
        }
    }
    if (crossings < 2) return 0.0;
    return static_cast<double>(sampleRate) * static_cast<double>(crossings - 1) / (last - first);
}

double measureDutyCycle(const std::vector<std::int16_t>& samples) {
    if (samples.empty()) return 0.0;
    const double m = mean(samples);
    long above = 0;
    for (auto v : samples) above += v > m;
    return static_cast<double>(above) / static_cast<double>(samples.size());
}

double measureRms(const std::vector<std::int16_t>& samples) {
    if (samples.empty()) return 0.0;
    const double m = mean(samples);
    double sum = 0;
    for (auto v : samples) sum += (v - m) * (v - m);
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

int measurePeakToPeak(const std::vector<std::int16_t>& samples) {
    if (samples.empty()) return 0;
    auto [lo, hi] = std::minmax_element(samples.begin(), samples.end());
    return *hi - *lo;
}

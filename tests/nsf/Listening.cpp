#include "Listening.h"

#include <algorithm>
#include <cmath>

#include "apu/ApuHarness.h"

namespace {

// Pitch of `length` samples from `start` by the normalised difference function; 0 when the
// window has no clear pitch between 40 Hz and 2 kHz (or is silent).
double clearPitch(const std::vector<double>& s, size_t start, size_t length) {
    const size_t minLag = LISTEN_RATE / 2000, maxLag = LISTEN_RATE / 40;
    if (start + length > s.size() || length <= maxLag + 64) return 0;
    const size_t span = length - maxLag - 1;  // samples compared at every lag (up to maxLag + 1)
    if (measureRms({s.begin() + long(start), s.begin() + long(start + length)}) < 10.0) return 0;  // silence
    // d(t) = sum (x[i] - x[i+t])^2, normalised by its running mean; the first dip below 0.1
    // (to its bottom) is the period.
    std::vector<double> d(maxLag + 2, 0.0);
    double running = 0;
    for (size_t lag = 1; lag <= maxLag + 1; ++lag) {
        double sum = 0;
        for (size_t i = start; i < start + span; ++i) sum += (s[i] - s[i + lag]) * (s[i] - s[i + lag]);
        running += sum;
        d[lag] = running > 0 ? sum * double(lag) / running : 1.0;
    }
    for (size_t lag = minLag; lag <= maxLag; ++lag) {
        if (d[lag] >= 0.1) continue;
        while (lag + 1 <= maxLag && d[lag + 1] < d[lag]) ++lag;
        // Parabola through the dip's neighbours for a fraction of a sample.
        double a = d[lag - 1], b = d[lag], c = d[lag + 1];
        double den = a - 2 * b + c;
        double shift = den > 0 ? 0.5 * (a - c) / den : 0.0;
        return LISTEN_RATE / (double(lag) + shift);
    }
    return 0;
}

}  // namespace

std::vector<double> rmsEnvelope(const std::vector<double>& s, size_t window, size_t skip) {
    std::vector<double> out;
    for (size_t at = skip; at + window <= s.size(); at += window)
        out.push_back(measureRms({s.begin() + long(at), s.begin() + long(at + window)}));
    return out;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = std::min(a.size(), b.size());
    if (n < 2) return 0;
    double ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
    ma /= double(n), mb /= double(n);
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < n; ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

Heard compareHeard(const std::vector<double>& ours, const std::vector<double>& theirs, size_t lead,
                   double pitchRatio) {
    const size_t window = LISTEN_RATE / 20;
    Heard h;
    h.envelopeCorrelation = correlation(rmsEnvelope(ours, window), rmsEnvelope(theirs, window, lead));
    for (size_t at = 0; at + window <= ours.size() && lead + at + window <= theirs.size(); at += window) {
        const double mine = clearPitch(ours, at, window);
        if (mine <= 0) continue;
        ++h.clear;
        const double other = clearPitch(theirs, lead + at, window);
        if (other <= 0) continue;
        ++h.bothClear;
        if (std::fabs(other / (mine * pitchRatio) - 1.0) < 0.03) ++h.agreed;
    }
    return h;
}

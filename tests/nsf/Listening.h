#pragma once
// What a listener hears of two renders (pitch, loudness), so that an exported file can be compared
// with our own render of the song.

#include <cstddef>
#include <vector>

constexpr int LISTEN_RATE = 44100;

// Root mean square of each `window`-sample window about its mean (a DC level the output's
// high-pass filter is still removing is not heard), after skipping `skip` samples.
std::vector<double> rmsEnvelope(const std::vector<double>& s, size_t window, size_t skip = 0);

// Pearson correlation of two sequences over their common length.
double correlation(const std::vector<double>& a, const std::vector<double>& b);

// Our render against theirs, window by window (50 ms), theirs read `lead` samples later.
struct Heard {
    double envelopeCorrelation = 0;  // of the loudness envelopes
    int clear = 0;                   // windows of ours with a clear pitch
    int bothClear = 0;               // of them, the windows where theirs has one too
    int agreed = 0;                  // of those, the windows theirs plays at `pitchRatio` times it (3 %)
};
Heard compareHeard(const std::vector<double>& ours, const std::vector<double>& theirs, size_t lead,
                   double pitchRatio = 1.0);

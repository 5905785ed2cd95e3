#pragma once
// Listening to exported files: libgme renders an NSF as an independent player would, and the
// helpers here measure what a listener hears in both renders (pitch, loudness, onsets), so the
// exported file can be compared with our own render of the song.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int LISTEN_RATE = 44100;

// Mono samples of the NSF as libgme plays it (treble 0, bass 1 Hz, silence not skipped).
std::vector<double> gmeRender(const std::vector<uint8_t>& nsf, double seconds);

// Samples by which the file's frame 0 begins after our render's: a player calls play first one
// play period (the header's 20000 µs PAL, 16667 µs NTSC) after init, which ends within it.
inline size_t firstPlayLead(bool ntsc) { return ntsc ? 735 : 882; }

// Pitch of `length` samples from `start` by the normalised difference function; 0 when the
// window has no clear pitch between 40 Hz and 2 kHz (or is silent).
double clearPitch(const std::vector<double>& s, size_t start, size_t length);

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
// Prints the comparison and expects it alike: envelopes correlated above 0.9, at least
// `minClear` clear windows, and the pitch agreeing in nine of ten.
void expectHeardAlike(const Heard& h, int minClear, const std::string& what);

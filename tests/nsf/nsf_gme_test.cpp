#include <gme/gme.h>
#include <gtest/gtest.h>

#include <cmath>

#include "SongRig.h"
#include "player/OfflinePlayback.h"

namespace {

// Mono samples of the NSF as libgme plays it, with its own tone filters flattened.
std::vector<double> gmeRender(const std::vector<uint8_t>& nsf, double seconds) {
    Music_Emu* emu = nullptr;
    EXPECT_EQ(gme_open_data(nsf.data(), long(nsf.size()), &emu, 44100), nullptr);
    if (!emu) return {};
    std::unique_ptr<Music_Emu, void (*)(Music_Emu*)> owner(emu, gme_delete);
    EXPECT_EQ(gme_track_count(emu), 1);
    gme_ignore_silence(emu, 1);
    gme_equalizer_t eq = {};
    eq.treble = 0;
    eq.bass = 1;
    gme_set_equalizer(emu, &eq);
    EXPECT_EQ(gme_start_track(emu, 0), nullptr);
    std::vector<short> stereo(size_t(2 * 44100 * seconds));
    EXPECT_EQ(gme_play(emu, int(stereo.size()), stereo.data()), nullptr);
    std::vector<double> mono;
    for (size_t i = 0; i < stereo.size(); i += 2) mono.push_back(stereo[i]);
    return mono;
}

// Frequency from rising crossings of the middle level, with hysteresis, over [from, to) seconds.
double frequency(const std::vector<double>& s, double from, double to) {
    size_t a = size_t(from * 44100), b = std::min(s.size(), size_t(to * 44100));
    double lo = 1e9, hi = -1e9;
    for (size_t i = a; i < b; ++i) lo = std::min(lo, s[i]), hi = std::max(hi, s[i]);
    const double mean = (lo + hi) / 2, band = (hi - lo) * 0.2;
    bool high = s[a] > mean;
    std::vector<size_t> rises;
    for (size_t i = a; i < b; ++i) {
        if (!high && s[i] > mean + band) high = true, rises.push_back(i);
        if (high && s[i] < mean - band) high = false;
    }
    if (rises.size() < 3) return 0;
    return 44100.0 * double(rises.size() - 1) / double(rises.back() - rises.front());
}

}  // namespace

// An independent NSF player accepts the file, runs init and the never-returning play routine,
// and the example song comes out as sound, not silence.
TEST(NsfGme, ExampleSongPlaysInAnotherPlayer) {
    SongRig rig;
    ASSERT_TRUE(rig.loadDemo());
    const std::vector<double> s = gmeRender(rig.nsf(), 3.0);
    double loudest = 0;
    for (size_t second = 0; second + 44100 <= s.size(); second += 44100) {
        double sum = 0;
        for (size_t i = second; i < second + 44100; ++i) sum += s[i] * s[i];
        loudest = std::max(loudest, std::sqrt(sum / 44100));
    }
    EXPECT_GT(loudest, 500.0);
}

// Pitch comparison: held notes on a pulse, the triangle, the DPCM channel's software pulse and
// a looping PCM sample sound at the same frequency from the exported file in libgme as from our
// own render, in PAL and in NTSC (where the PCM data is re-timed).
TEST(NsfGme, HeldNotesKeepTheirPitch) {
    for (int test = 0; test < 8; ++test) {
        const int kind = test % 4;  // pulse, triangle, software pulse, PCM sample
        const int channel = kind == 0 ? CH_PULSE1 : kind == 1 ? CH_TRIANGLE : CH_DPCM;
        SongRig rig;
        Song* song = rig.song.get();
        song->ntsc = test >= 4;
        Envelope& volume = song->instruments[1].envelopes[ENV_VOLUME];
        volume.values[0] = 255;
        if (kind == 2) {
            song->instruments[1].type = INST_PCM_PULSE;
            song->instruments[1].envelopes[ENV_DUTY].values[0] = 128;
        } else if (kind == 3) {
            std::vector<uint8_t> square(1560);  // 20-byte periods: 390 Hz at 7801 bytes/s
            for (size_t i = 0; i < square.size(); ++i) square[i] = i % 20 < 10 ? 0x20 : 0x60;
            song->instruments[1].type = INST_PCM;
            song->instruments[1].pcm.assign(square.data(), uint32_t(square.size()), true);
        }
        song->patterns[0].at(channel, 0) = PatternCell{40, 1, 0, 0};
        std::vector<double> theirs = gmeRender(rig.nsf(), 2.0);
        std::vector<int16_t> rendered = renderSong(rig.play(), *rig.apu, 44100, 2.0);
        std::vector<double> ours(rendered.begin(), rendered.end());
        double want = frequency(ours, 0.5, 1.5), got = frequency(theirs, 0.5, 1.5);
        ASSERT_GT(want, 50.0) << channel;
        EXPECT_NEAR(got / want, 1.0, 0.01)
            << "kind " << kind << (song->ntsc ? " NTSC: " : " PAL: ") << got << " vs " << want;
    }
}

// Timing: a note that changes every 32 rows (3.84 s at speed 6 in PAL) changes at the same
// moments in libgme as in our render, apart from a constant start-up delay (init, and the
// driver writing the registers late in its frame): the driver's frame is the editor's frame.
TEST(NsfGme, NoteChangesStayOnTime) {
    SongRig rig;
    rig.song->instruments[1].envelopes[ENV_VOLUME].values[0] = 255;
    rig.song->patterns[0].at(CH_PULSE1, 0) = PatternCell{40, 1, 0, 0};   // 311 Hz
    rig.song->patterns[0].at(CH_PULSE1, 32) = PatternCell{47, 1, 0, 0};  // 466 Hz
    const double seconds = 20.0;
    std::vector<double> theirs = gmeRender(rig.nsf(), seconds);
    std::vector<int16_t> rendered = renderSong(rig.play(), *rig.apu, 44100, seconds);
    std::vector<double> ours(rendered.begin(), rendered.end());
    // When the higher note is first heard after t0.
    auto change = [](const std::vector<double>& s, double t0) {
        for (double x = t0 - 0.1; x < t0 + 0.3; x += 0.005)
            if (frequency(s, x, x + 0.03) > 400) return x;
        return -1.0;
    };
    double first = -1;
    for (int k : {1, 3, 5}) {
        const double t = 3.84 * k;
        double delay = change(theirs, t) - change(ours, t);
        if (first < 0) first = delay;
        EXPECT_GE(delay, 0.0) << k;
        EXPECT_LT(delay, 0.12) << k;
        EXPECT_NEAR(delay, first, 0.015) << "change " << k;
    }
}

// Listening comparison: songs exported to NSF and played by libgme sound like our own render of
// them, window by window: the same pitch wherever a window has a clear one, and the same loudness
// envelope. Each song (tests/data/nsf) keeps one voice at a time where pitch matters, so that a
// clear pitch exists; together they cover every kind of sound the driver makes:
// - tones: pulses with duty and volume envelopes, slides, portamento and vibrato, the triangle,
//   noise in both modes; orders 0, 1, 0, 2 where pattern 2 jumps back to order 1 (Bxx);
// - dmc: hardware DPCM alone, a looping sample (a triangle wave from the DMC) and a one-shot one;
// - pcm: the DMC level written by the driver, a PCM sample, then the software pulse and saw.

#include <gtest/gtest.h>

#include "Listening.h"
#include "SongRig.h"
#include "player/OfflinePlayback.h"

namespace {

void expectSongHeardAlike(const std::string& name, double seconds, int minClear,
                          double ntscPitchRatio = 1.0) {
    for (bool ntsc : {false, true}) {
        SongRig rig;
        ASSERT_TRUE(rig.load(BF_SOURCE_DIR "/tests/data/nsf/" + name + ".zcm"));
        rig.song->ntsc = ntsc;
        const std::vector<double> theirs = gmeRender(rig.nsf(), seconds + 0.1);
        const std::vector<int16_t> rendered = renderSong(rig.play(), *rig.apu, LISTEN_RATE, seconds);
        const Heard h = compareHeard({rendered.begin(), rendered.end()}, theirs, firstPlayLead(ntsc),
                                     ntsc ? ntscPitchRatio : 1.0);
        expectHeardAlike(h, minClear, name + (ntsc ? " NTSC" : " PAL"));
    }
}

}  // namespace

TEST(NsfListening, TonesSoundAlike) { expectSongHeardAlike("tones", 30.0, 300); }

// The editor clocks the DMC from its PAL rate row in both TV systems; an NTSC machine plays the
// same rate index from its own row, whose periods at the top rates are 8 % longer (54 against
// 50 cycles at rate 15, 72 against 67 at rate 14): the file cannot ask it for more.
TEST(NsfListening, DmcSamplesSoundAlike) { expectSongHeardAlike("dmc", 5.0, 40, 50.0 / 54.0); }

TEST(NsfListening, PcmSampleAndWavesSoundAlike) { expectSongHeardAlike("pcm", 4.5, 40); }

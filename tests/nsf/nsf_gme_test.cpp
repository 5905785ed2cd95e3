#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "Listening.h"
#include "apu/ApuHarness.h"
#include "SongRig.h"
#include "player/OfflinePlayback.h"

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
        // Over the second from 0.5 s to 1.5 s of each render.
        const auto hz = [](const auto& s) {
            return measureFrequency({s.begin() + LISTEN_RATE / 2, s.begin() + LISTEN_RATE * 3 / 2}, LISTEN_RATE);
        };
        const double got = hz(gmeRender(rig.nsf(), 2.0)), want = hz(renderSong(rig.play(), *rig.apu, LISTEN_RATE, 2.0));
        ASSERT_GT(want, 50.0) << channel;
        EXPECT_NEAR(got / want, 1.0, 0.01)
            << "kind " << kind << (song->ntsc ? " NTSC: " : " PAL: ") << got << " vs " << want;
    }
}

// Timing: a note starts after silence every 32 rows; over a minute its onsets in libgme come
// one play period after ours (the player's first call, see firstPlayDelaySeconds) to within
// half a millisecond, at the start and at the end alike: the driver's frame is the editor's
// frame and nothing drifts.
TEST(NsfGme, NoteOnsetsStayOnTimeForAMinute) {
    for (bool ntsc : {false, true}) {
        SongRig rig;
        rig.song->ntsc = ntsc;
        rig.song->instruments[1].envelopes[ENV_VOLUME].values[0] = 255;
        // A high pulse note at half duty: its first high step comes within 0.1 ms of its volume
        // write wherever the duty sequencer stood. The rests are the same note on a silent
        // instrument: a note-off would have the editor write the period of pitch 0, whose long
        // countdown delays the next note by up to 2.3 ms, where the file holds the period.
        rig.song->instruments[1].envelopes[ENV_DUTY].values[0] = 128;
        for (int row : {0, 32}) {
            rig.song->patterns[0].at(CH_PULSE1, row) = PatternCell{80, 1, 0, 0};
            rig.song->patterns[0].at(CH_PULSE1, row + 16) = PatternCell{80, 2, 0, 0};
        }
        const double seconds = 61.0;
        const std::vector<double> theirs = gmeRender(rig.nsf(), seconds);
        const std::vector<int16_t> rendered = renderSong(rig.play(), *rig.apu, LISTEN_RATE, seconds);
        const std::vector<double> ours(rendered.begin(), rendered.end());

        const double lead = firstPlayDelaySeconds(ntsc);
        std::vector<double> late;  // ms after the player's first call
        std::vector<double> when;  // s
        for (long at = 0;;) {
            long mine = onsetAfter(ours, size_t(at), 300);
            if (mine < 0 || mine > long(seconds - 1.0) * LISTEN_RATE) break;
            const size_t from = size_t(std::max(0L, mine - LISTEN_RATE / 50));  // still quiet
            long other = onsetAfter(theirs, from + size_t(lead * LISTEN_RATE), 300);
            ASSERT_GE(other, 0);
            late.push_back(1000.0 * (double(other - mine) / LISTEN_RATE - lead));
            when.push_back(double(mine) / LISTEN_RATE);
            at = mine + LISTEN_RATE * 5 / 2;  // into the silence after the note's 16 rows
        }
        ASSERT_GE(late.size(), 15u);
        std::printf(
            "[ timing   ] %s: libgme onsets minus ours, less the first-call delay of %.3f ms: "
            "%.3f ms at the start, %.3f ms after %.0f s\n",
            ntsc ? "NTSC" : "PAL", 1000 * lead, late.front(), late.back(), when.back());
        for (size_t k = 0; k < late.size(); ++k) {
            EXPECT_NEAR(late[k], 0.0, 0.5) << "note " << k << (ntsc ? " NTSC" : " PAL");
            EXPECT_NEAR(late[k], late.front(), 0.3) << "drift at note " << k;
        }
    }
}

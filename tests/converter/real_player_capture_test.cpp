// Song and sound-effect captures driven by the real Player through PlayerCapture.

#include <gtest/gtest.h>

#include "FakePlayer.h"
#include "TestData.h"

#include "export/ConverterEntry.h"
#include "export/Effect.h"

namespace {

struct Rig : ConverterSetup {
    Rig() {
        // Instrument 1 sounds at full volume for as long as the note lasts (the default Volume
        // envelope is silent and would cut every note at once).
        song->instruments[1].envelopes[ENV_VOLUME].values[0] = 0xF0;
    }
    CapturedSong captureSong() {
        CapturedSong captured;
        ::captureSong(capture, recorder, captured);
        return captured;
    }
    CapturedEffect captureEffect() { return ::captureEffect(capture, recorder); }
};

// Stretches and loop points after breaks, jumps and stops, waits, folded notes, effects closed at
// stretch ends, instruments carried over, the DPCM channel's own vocabulary, and the register
// stream of effects: each song's capture against tests/data/converter/<song>.capture. A second
// capture gives the same (it is not cut short by the first), and each leaves the Player stopped.
TEST(RealPlayerCapture, SongsCaptureAsRecorded) {
    for (const char* name :
         {"three-entries", "break-and-jump", "waits-fold", "effects-close", "instrument-carries",
          "dpcm-channel", "speed-zero", "speed-zero-at-start", "two-notes", "two-notes-and-samples"}) {
        Rig r, fx;
        loadSongScript(*r.song, std::string("converter/") + name);
        loadSongScript(*fx.song, std::string("converter/") + name);
        const CapturedSong first = r.captureSong(), second = r.captureSong();
        EXPECT_EQ(first.channels, second.channels) << name;
        expectTestData("converter/" + std::string(name) + ".capture",
                       captureText(first) + captureText(fx.captureEffect()));
        EXPECT_FALSE(fx.player->captureMode || fx.player->playing) << name;
        EXPECT_TRUE(fx.recorder.recording()) << name;
    }
}

TEST(RealPlayerCapture, PhasesLeaveThePlayerAsFound) {
    Rig r;
    Player& p = *r.player;
    p.currentOrder = 2, p.currentRow = 17, p.frameInRow = 3, p.tempoAccumulator = 1234;
    p.patternMode = true, p.repeatBlockOn = true;
    r.song->tempo = 150, r.song->speed = 4;
    p.pcm.pcmInstrument = 9, p.pcm.position = 77.5;
    loadSongScript(*r.song, "converter/speed-zero");
    r.capture.savePlaybackState();
    r.captureSong();
    r.captureEffect();
    p.resetRequest = false;
    r.capture.restorePlaybackState();
    EXPECT_EQ(std::tuple(p.currentOrder, p.currentRow, p.frameInRow, p.tempoAccumulator, r.song->tempo,
                         r.song->speed, p.pcm.pcmInstrument, p.pcm.position),
              std::tuple(2, 17, 3, 1234, 150, 4, 9, 77.5));
    EXPECT_TRUE(p.patternMode && p.repeatBlockOn && p.resetRequest);
    EXPECT_FALSE(p.playing || p.captureMode);
}

}  // namespace

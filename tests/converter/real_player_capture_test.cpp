// Song and sound-effect captures driven by the real Player through PlayerCapture, on songs built
// here: stretches and loop points, waits, folded notes, effects closed at stretch ends, the DPCM
// channel's own vocabulary, speed 0, and the register stream of effects.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <tuple>

#include "apu/Apu.h"
#include "apu/Nonlinear_Buffer.h"
#include "export/Effect.h"
#include "export/PlayerCapture.h"

// Readable failures: code and argument.
void PrintTo(const DriverCommand& c, std::ostream* os) {
    *os << c.code;
    for (int32_t a : c.args) *os << "(" << a << ")";
}

namespace {

struct Rig {
    std::unique_ptr<Song> song = std::make_unique<Song>();
    std::unique_ptr<Nonlinear_Buffer> buffer = std::make_unique<Nonlinear_Buffer>();
    std::unique_ptr<Apu> apu = std::make_unique<Apu>(*buffer);
    std::unique_ptr<Player> player = std::make_unique<Player>(*song, *apu);
    DriverCommandRecorder recorder;
    PlayerCapture capture{*player, recorder};

    Rig() {
        // Instrument 1 sounds at full volume for as long as the note lasts (the default Volume
        // envelope is silent and would cut every note at once).
        song->instruments[1].envelopes[ENV_VOLUME].values[0] = 0xF0;
    }
    PatternCell& cell(int pattern, int channel, int row) { return song->patterns[pattern].at(channel, row); }
    void note(int pattern, int channel, int row, int note, int instrument = 1) {
        cell(pattern, channel, row).note = uint8_t(note);
        cell(pattern, channel, row).instrument = uint8_t(instrument);
    }
    void orders(std::initializer_list<int> patterns) {
        song->orders.count = int32_t(patterns.size());
        int i = 0;
        for (int p : patterns) song->orders.entries[i++] = p;
    }
    CapturedSong captureSong() {
        CapturedSong captured;
        ::captureSong(capture, recorder, captured);
        return captured;
    }
    CapturedEffect captureEffect() { return ::captureEffect(capture, recorder); }
    int32_t period(int note) const { return player->periodForPitch(note * 256); }
};

DriverCommand cmd(int32_t code) { return DriverCommand{code, {}}; }
DriverCommand cmd(int32_t code, int32_t arg) { return DriverCommand{code, {arg}}; }

// Frames a list's waits add up to (channels 0-3; 0x00 alone is a wait of 256).
int waitedFrames(const CommandList& list) {
    int frames = 0;
    for (const DriverCommand& c : list) {
        if (c.code < 64) frames += c.code == 0 ? 256 : c.code;
        if (c.code == DRV_LONG_WAIT) frames += c.args.at(0);
    }
    return frames;
}

int count(const CommandList& list, int32_t code) {
    int n = 0;
    for (const DriverCommand& c : list) n += c.code == code;
    return n;
}

TEST(RealPlayerCapture, StretchesFollowOrderBreaksAndJumps) {
    {
        // Three entries played straight through: one stretch each, looping to the first. Every
        // stretch records the instrument and volume of its first note again.
        Rig r;
        r.orders({0, 1, 0});
        r.note(0, 0, 0, 37);
        r.note(1, 0, 0, 38);
        const CapturedSong s = r.captureSong();
        EXPECT_EQ(s.loopIndex, 0);
        for (int c = 0; c < CHANNEL_COUNT; ++c) ASSERT_EQ(s.channels[c].size(), 3u) << c;
        for (int i = 0; i < 3; ++i) {
            const CommandList& lead = s.channels[0][i];
            const int note = i == 1 ? 38 : 37;
            EXPECT_EQ(lead, (CommandList{cmd(DRV_INSTRUMENT, 1), cmd(DRV_NOTE + note), cmd(DRV_VOLUME + 15),
                                         cmd(0), cmd(DRV_LONG_WAIT, 128), cmd(DRV_END_PATTERN)}))
                << i;
            for (int c = 1; c < 4; ++c) EXPECT_EQ(waitedFrames(s.channels[c][i]), 64 * 6);
        }
    }
    {
        // A break into row 16 starts a stretch keyed there; the same entry reached later at row 0
        // is captured again; the jump back to an entry already captured at its row ends it all.
        Rig r;
        r.orders({0, 1, 2});
        r.cell(0, 1, 3).setEffect(0xD, 0x16);  // rows are given in decimal
        r.cell(2, 1, 0).setEffect(0xB, 0x01);
        r.note(1, 0, 16, 50);
        const CapturedSong s = r.captureSong();
        ASSERT_EQ(s.channels[0].size(), 4u);
        EXPECT_EQ(s.loopIndex, 2);
        const int frames[4] = {4 * 6, 48 * 6, 6, 64 * 6};  // (0,0) (1,16) (2,0) (1,0)
        for (int i = 0; i < 4; ++i) EXPECT_EQ(waitedFrames(s.channels[3][i]), frames[i]) << i;
        // The note on row 16 opens the stretch that starts there, and is heard 16 rows into
        // the one that starts at row 0.
        EXPECT_EQ(s.channels[0][1].front(), cmd(DRV_INSTRUMENT, 1));
        EXPECT_EQ(s.channels[0][3].front(), cmd(DRV_LONG_WAIT, 96));
    }
}

TEST(RealPlayerCapture, WaitsAndNotesFold) {
    Rig r;
    r.cell(0, 3, 0).setEffect(0xF, 8);  // speed 8: rows of exactly 8 frames
    r.note(0, 0, 0, 70);
    r.note(0, 0, 32, 12);  // 256 frames later
    r.note(0, 1, 0, 40);
    r.note(0, 1, 37, 41);  // 296 frames later, and delayed by 4 more
    r.cell(0, 1, 37).setEffect(0xE, 0xD4);
    r.note(0, 2, 0, 30);
    r.note(0, 2, 8, 31);  // 64 frames later, and delayed by 1 more
    r.cell(0, 2, 8).setEffect(0xE, 0xD1);
    const CapturedSong s = r.captureSong();
    ASSERT_EQ(s.channels[0].size(), 1u);
    // Per channel, commands from index 3 on: 256 frames in one byte, 300 = 256 + 44, and 65
    // frames in the long form.
    const auto at = [&](int c, size_t from, size_t n) {
        const CommandList& l = s.channels[c][0];
        return l.size() < from + n ? CommandList{} : CommandList(l.begin() + from, l.begin() + from + n);
    };
    EXPECT_EQ(at(0, 1, 1), CommandList{cmd(DRV_LONG_NOTE, 70)});
    EXPECT_EQ(at(0, 3, 2), (CommandList{cmd(0), cmd(0x4C)}));
    EXPECT_EQ(at(1, 3, 3), (CommandList{cmd(0), cmd(0x2C), cmd(DRV_NOTE + 41)}));
    EXPECT_EQ(at(2, 3, 2), (CommandList{cmd(DRV_LONG_WAIT, 65), cmd(DRV_NOTE + 31)}));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(waitedFrames(s.channels[c][0]), 64 * 8) << c;
}

TEST(RealPlayerCapture, RunningEffectsCloseAtStretchEnd) {
    Rig r;
    r.orders({0, 1});
    r.note(0, 0, 0, 40);
    r.cell(0, 0, 0).setEffect(0xC, 0x2F);   // duty 1, full volume
    r.cell(0, 0, 63).setEffect(0xA, 0x01);  // volume slide down, still running at the end
    r.note(1, 0, 0, 40);
    r.cell(1, 0, 0).setEffect(0xC, 0x2F);  // the same duty again
    const CapturedSong s = r.captureSong();
    ASSERT_EQ(s.channels[0].size(), 2u);
    const CommandList& first = s.channels[0][0];
    ASSERT_GE(first.size(), 3u);
    EXPECT_EQ(CommandList(first.end() - 3, first.end()),
              (CommandList{cmd(DRV_VOLSLIDE_OFF), cmd(DRV_DUTY_RELEASE), cmd(DRV_END_PATTERN)}));
    EXPECT_EQ(count(first, DRV_DUTY + 1), 1);
    // The next stretch starts clean: no slide to close, and the duty the driver was told to
    // release is set again.
    const CommandList& second = s.channels[0][1];
    EXPECT_EQ(count(second, DRV_VOLSLIDE_OFF), 0);
    EXPECT_EQ(count(second, DRV_DUTY + 1), 1);
    EXPECT_EQ(count(second, DRV_DUTY_RELEASE), 1);
}

// A channel enters the next order entry with its instrument: a note held over sounds on, and
// the first note there states the instrument although its cell names none. A sample instrument
// named on a tone channel is never stated there (it has no envelopes in the song data).
TEST(RealPlayerCapture, InstrumentCarriesIntoTheNextStretch) {
    Rig r;
    r.orders({0, 1});
    r.note(0, 0, 0, 40);
    r.note(0, 2, 60, 40);  // held into entry 1
    r.note(1, 0, 4, 41, 0);
    r.song->instruments[2].type = INST_PCM;
    r.note(0, 1, 0, 40, 2);
    r.note(1, 1, 0, 45, 0);
    const CapturedSong s = r.captureSong();
    ASSERT_EQ(s.channels[0].size(), 2u);
    EXPECT_EQ(s.channels[0][1],
              (CommandList{cmd(24), cmd(DRV_INSTRUMENT, 1), cmd(DRV_NOTE + 41), cmd(DRV_VOLUME + 15), cmd(0),
                           cmd(DRV_LONG_WAIT, 104), cmd(DRV_END_PATTERN)}));
    EXPECT_EQ(count(s.channels[2][0], DRV_NOTE_CUT) + count(s.channels[2][1], DRV_NOTE_CUT), 0);
    EXPECT_EQ(count(s.channels[1][1], DRV_INSTRUMENT), 0);
    EXPECT_EQ(count(s.channels[1][1], DRV_NOTE + 45), 1);
}

TEST(RealPlayerCapture, DpcmChannelKeepsItsOwnCommands) {
    Rig r;
    r.orders({0, 0});
    const uint8_t bytes[64] = {};
    r.song->instruments[3].type = INST_DPCM;
    r.song->instruments[3].dpcm.assign(bytes, 64, false);
    for (int row = 0; row < 64; row += 8) r.note(0, CH_DPCM, row, 0x0F, 3);
    // A plain instrument on the DPCM channel reports note, instrument and volume; none of it
    // belongs to the DPCM channel's data, not even the wait before it.
    r.note(0, CH_DPCM, 4, 40, 1);
    r.note(0, CH_DPCM, 5, 0x0F, 3);
    const CapturedSong s = r.captureSong();
    ASSERT_EQ(s.channels[CH_DPCM].size(), 2u);
    // The row-5 sample plays with the rate unchanged; then one sample every 48 frames.
    CommandList expected{cmd(DRV_DPCM_RATE, 0x0F), cmd(DRV_DPCM_PLAY, 3), cmd(DRV_DPCM_BASE + 30),
                         cmd(DRV_DPCM_PLAY, 3), cmd(DRV_DPCM_BASE + 18)};
    for (int i = 1; i < 8; ++i)
        expected.insert(expected.end(), {cmd(DRV_DPCM_PLAY, 3), cmd(DRV_DPCM_BASE + 48)});
    expected.push_back(cmd(DRV_DPCM_END_PATTERN));
    // The rate is recorded afresh in each stretch.
    EXPECT_EQ(s.channels[CH_DPCM][0], expected);
    EXPECT_EQ(s.channels[CH_DPCM][1], expected);
}

TEST(RealPlayerCapture, SpeedZeroEndsTheCapture) {
    {
        // Stopping on row 5: the stopping stretch, then one frame at the stop position.
        Rig r;
        r.note(0, 0, 0, 40);
        r.cell(0, 1, 5).setEffect(0xF, 0x00);
        for (int pass = 0; pass < 2; ++pass) {  // a second capture is not cut short by the first
            const CapturedSong s = r.captureSong();
            ASSERT_EQ(s.channels[0].size(), 2u) << pass;
            EXPECT_EQ(s.loopIndex, 1);
            EXPECT_EQ(waitedFrames(s.channels[1][0]), 5 * 6 + 1);
            EXPECT_EQ(s.channels[1][1], (CommandList{cmd(1), cmd(DRV_END_PATTERN)}));
        }
    }
    {
        // Stopping on the row where the stretch began ends the capture at once.
        Rig r;
        r.orders({0, 1});
        r.cell(1, 1, 0).setEffect(0xF, 0x00);
        const CapturedSong s = r.captureSong();
        ASSERT_EQ(s.channels[0].size(), 2u);
        EXPECT_EQ(s.loopIndex, 1);
        EXPECT_EQ(waitedFrames(s.channels[1][1]), 1);
    }
}

// The trimmed silent tail is checked on scripted registers in effect_test.
TEST(RealPlayerEffect, RegisterStream) {
    const auto lo = [](int32_t period) { return uint8_t(period & 0xFF); };
    const auto hi = [](int32_t period) { return uint8_t(0x80 + (period >> 8)); };
    {
        // 120 frames without change between two notes, whose periods differ in the low byte
        // only; the second is held to the end of the song.
        Rig r;
        r.note(0, 0, 0, 40);
        r.note(0, 0, 20, 41);
        const int32_t p = r.period(40), q = r.period(41);
        ASSERT_EQ(p >> 8, q >> 8);
        const std::vector<uint8_t> plain{0x0F,  0xCA, lo(p), hi(p), 0xFF, 0xFF, 0xE4,      0xCA,
                                         lo(q), 0xFF, 0xFF,  0xFF,  0xFF, 0xFF, 0xCE + 19, 0xCD};
        EXPECT_EQ(r.captureEffect().bytes, plain);
        EXPECT_FALSE(r.player->captureMode || r.player->playing);
        EXPECT_TRUE(r.recorder.recording());
        // Samples, a PCM sample and the software waves on the DPCM channel leave no trace.
        const uint8_t bytes[256] = {};
        r.song->instruments[3].type = INST_DPCM;
        r.song->instruments[3].dpcm.assign(bytes, 256, true);
        r.song->instruments[4].type = INST_PCM;
        r.song->instruments[4].pcm.assign(bytes, 256, false);
        r.song->instruments[5].type = INST_PCM_PULSE;
        r.song->instruments[5].envelopes[ENV_VOLUME].values[0] = 0xF0;
        r.note(0, CH_DPCM, 0, 0x0F, 3);
        r.note(0, CH_DPCM, 10, 40, 4);
        r.note(0, CH_DPCM, 30, 40, 5);
        EXPECT_EQ(r.captureEffect().bytes, plain);
    }
    // EEy looping back to the start is checked end to end in converter_test.
}

TEST(RealPlayerCapture, PhasesLeaveThePlayerAsFound) {
    Rig r;
    Player& p = *r.player;
    p.currentOrder = 2, p.currentRow = 17, p.frameInRow = 3, p.tempoAccumulator = 1234;
    p.patternMode = true, p.repeatBlockOn = true;
    r.song->tempo = 150, r.song->speed = 4;
    p.pcm.pcmInstrument = 9, p.pcm.position = 77.5;
    r.note(0, 0, 0, 40);
    r.cell(0, 1, 1).setEffect(0xF, 0x00);
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

// Captures: the recorder (scripts in tests/data/converter/recorder); stretches and sound effects
// with a scripted player; songs with the real Player, and the Player left as it was found.

#include <gtest/gtest.h>

#include <functional>
#include <iomanip>
#include <set>

#include "TestData.h"
#include "export/Capture.h"
#include "export/CapturePlayer.h"
#include "export/ConverterEntry.h"
#include "export/Effect.h"
#include "tests/TraceScripts.h"

namespace {

// A scripted stand-in for the Player: a row clock walking the order list (the position after a
// tick is the one the next tick plays) and a per-tick hook that reports driver commands, sets
// register values and asks for jumps.
struct FakePlayer : CapturePlayer {
    DriverCommandRecorder* recorder = nullptr;
    int orders = 1, rows = 64, framesPerRow = 6;
    std::function<void(FakePlayer&, int order, int row, int frame)> onTick;
    int jumpOrder = -1;  // taken at the end of the current row, to its row 0

    int order = 0, row = 0, frame = 0;
    bool playing = false, capture = false, loopFlag = false;
    bool active[CHANNEL_COUNT][DRIVER_EFFECT_COUNT] = {};
    int volume[CHANNEL_COUNT] = {}, instrument[CHANNEL_COUNT] = {}, duty[CHANNEL_COUNT] = {};
    EffectRegisters regs{};

    void report(int channel, int code, std::vector<int32_t> args = {}) {
        if (capture && recorder) recorder->recordDriverCommand(channel, code, args);
    }

    void frameTick() override {
        if (onTick) onTick(*this, order, row, frame);
        if (++frame < framesPerRow) return;
        frame = 0;
        if (jumpOrder >= 0) {
            order = jumpOrder, row = 0, jumpOrder = -1;
        } else if (++row >= rows) {
            row = 0;
            order = (order + 1) % orders;
        }
    }

    void reset() override {}
    void setTempo(int) override {}
    void setSpeed(int) override {}
    void setPosition(int o, int r) override { order = o, row = r; }
    void setFrameInRow(int f) override { frame = f; }
    void setTempoAccumulator(int) override {}
    void setPatternMode(bool) override {}
    void setBlockRepeat(bool) override {}
    void setPlaying(bool on) override { playing = on; }
    void setCaptureMode(bool on) override { capture = on; }
    int currentOrder() const override { return order; }
    int currentRow() const override { return row; }
    bool endOfSong() const override { return false; }
    void setChannelVolume(int c, int v) override { volume[c] = v; }
    void setChannelInstrument(int c, int s) override { instrument[c] = s; }
    int channelInstrument(int c) const override { return instrument[c]; }
    bool effectActive(int c, DriverEffect e) const override { return active[c][e]; }
    bool dutyOverrideHeard(int) const override { return false; }
    void clearEffectActive(int c, DriverEffect e) override { active[c][e] = false; }
    void clearLastReportedDuty(int c) override { duty[c] = -1; }
    EffectRegisters effectRegisters() const override { return regs; }
    void clearEffectRegisters() override {
        for (int32_t& f : regs.field) f = -1;
    }
    bool loopRequested() const override { return loopFlag; }
    void setLoopRequested(bool on) override { loopFlag = on; }
    void savePlaybackState() override {}
    void restorePlaybackState() override {}
};

// Commands as text: codes in two hexadecimal digits, arguments in brackets.
std::string commandsText(const CommandList& list) {
    std::ostringstream out;
    for (const DriverCommand& d : list) {
        out << " " << std::hex << std::uppercase << std::setw(2) << std::setfill('0') << d.code << std::dec;
        for (int32_t a : d.args) out << "(" << a << ")";
    }
    return out.str();
}

// A song capture as text: its loop point, then each channel's stretches ("CHANNEL.STRETCH:").
std::string captureText(const CapturedSong& s) {
    std::string out = "loop " + std::to_string(s.loopIndex) + "\n";
    for (int c = 0; c < CHANNEL_COUNT; ++c)
        for (size_t i = 0; i < s.channels[c].size(); ++i)
            out += std::to_string(c) + "." + std::to_string(i) + ":" + commandsText(s.channels[c][i]) + "\n";
    return out;
}

// A sound effect capture as text: its loop offset and bytes in hexadecimal.
std::string captureText(const CapturedEffect& e) {
    std::ostringstream out;
    out << "effect loop " << e.loopOffset << ":" << std::hex << std::uppercase << std::setfill('0');
    for (uint8_t b : e.bytes) out << " " << std::setw(2) << int(b);
    return out.str() + "\n";
}

// A recorder script (tests/data/converter/recorder/): "rec CHANNEL CODE [ARGUMENT]", "restate
// CHANNEL SLOT", "advance FRAMES", "recording 0|1" and "stretch" drive the recorder; "pending
// CHANNEL", "end" (every channel's list) and "used SLOT" print, codes in hex.
std::string runRecorder(std::istream& script) {
    DriverCommandRecorder r;
    r.beginCapture();
    std::ostringstream out;
    for (std::string line; std::getline(script, line) && line != "--- trace";) {
        std::istringstream in(line);
        std::string op;
        int a = 0, b = 0, c = -1;
        if (!(in >> op) || op[0] == '#') continue;
        in >> a >> b >> c;
        out << line << " |";
        static const std::set<std::string> ops = {"rec",     "restate", "advance", "recording",
                                                  "stretch", "pending", "used",    "end"};
        if (!ops.count(op)) throw std::runtime_error("unknown line: " + line);
        if (op == "rec" && c < 0) r.recordDriverCommand(a, b);
        if (op == "rec" && c >= 0) r.recordDriverCommand(a, b, c);
        if (op == "restate") r.restateInstrument(a, b);
        for (int n = 0; op == "advance" && n < a; ++n) r.advanceFrame();
        if (op == "recording") r.setRecording(a != 0);
        if (op == "stretch") r.beginStretch();
        if (op == "pending") out << commandsText(r.pending(a));
        if (op == "used") out << " " << int(r.usedFlags()[size_t(a)]);
        if (op == "end") {
            for (const CommandList& list : r.endStretch()) out << " [" << commandsText(list) << " ]";
        }
        out << "\n";
    }
    return out.str();
}

KEPT_TRACE_SUITE(RecorderScript, std::filesystem::path(BF_SOURCE_DIR "/tests/data/converter/recorder"),
                 runRecorder);

using Script = std::function<void(FakePlayer&, int order, int row, int frame)>;

CapturedEffect runEffect(int orders, int rows, int framesPerRow, Script script) {
    FakePlayer p;
    DriverCommandRecorder r;
    p.recorder = &r;
    p.orders = orders, p.rows = rows, p.framesPerRow = framesPerRow;
    p.onTick = [script](FakePlayer& f, int o, int row, int frame) {
        script(f, o, row, frame);
        f.report(0, DRV_NOTE, {1});  // recording is off during an effect capture
    };
    CapturedEffect e = captureEffect(p, r);
    EXPECT_TRUE(r.pending(0).empty());
    EXPECT_TRUE(r.recording());
    EXPECT_FALSE(p.capture || p.playing);
    return e;
}

void note(EffectRegisters& r, int dutyVolume, int period) {
    r.field[0] = dutyVolume, r.field[1] = period & 0xFF, r.field[2] = period >> 8;
}
void silence(EffectRegisters& r) { r.field[0] = 0x30, r.field[1] = r.field[2] = -1; }

struct Rig : ConverterSetup {
    Rig() {
        // Instrument 1 sounds at full volume for as long as the note lasts (the default Volume
        // envelope is silent and would cut every note at once).
        song->instruments[1].envelopes[ENV_VOLUME].values[0] = 0xF0;
    }
};

}  // namespace

// Three order entries of a fake song, captured against tests/data/converter/stretches.capture.
TEST(CaptureSong, OneStretchPerOrderEntryWithEffectsClosedAtItsEnd) {
    FakePlayer p;
    p.orders = 3, p.rows = 4, p.framesPerRow = 2;
    p.onTick = [](FakePlayer& f, int order, int row, int frame) {
        if (row == 0 && frame == 0) {
            // Every stretch starts with the remembered volume and the duty last reported
            // forgotten; the channel keeps the instrument it plays with.
            EXPECT_EQ(f.volume[0] + f.duty[0], -1);
            EXPECT_EQ(f.instrument[0], order == 0 ? 0 : 1);
            f.volume[0] = 63, f.duty[0] = 2;
            // The last stretch names no instrument: the one still playing is stated for it.
            if (order < 2) f.instrument[0] = 1, f.report(0, DRV_INSTRUMENT, {1});
            f.report(0, DRV_NOTE, {order + 1});
        }
        if (order == 1 && row == 2 && frame == 1) {
            f.report(2, DRV_VOLSLIDE_UP, {3});
            for (bool& on : f.active[2]) on = true;
            f.active[4][DRV_VIBRATO] = true;  // no such command on the DPCM channel
        }
    };
    DriverCommandRecorder r;
    p.recorder = &r;
    CapturedSong song;
    captureSong(p, r, song);
    EXPECT_FALSE(p.playing || p.capture);
    expectTestData("converter/stretches.capture", captureText(song));
}

// Each capture against tests/data/converter/effect-changes.capture.
TEST(EffectCapture, ChangesWaitsAndTheTrimmedTail) {
    // One note, then silence until the song wraps: the silencing change and all after it go.
    std::string out = captureText(runEffect(1, 24, 1, [](FakePlayer& f, int, int row, int) {
        if (row == 0) note(f.regs, 0xBF, 0x1FC);
        if (row == 10) silence(f.regs);
        f.regs.field[3] = 0x40;  // pulse 2 starts silent: never written
    }));
    out += captureText(runEffect(1, 200, 1, [](FakePlayer& f, int, int row, int) {
        EffectRegisters& r = f.regs;
        if (row == 0) note(r, 0x0F, 0x1FC);
        if (row == 1) note(r, 0x0F, 0x1FD);  // only the low byte changes
        if (row == 121) r.field[0] = 0x0E;   // 120 frames later
        if (row == 122)
            r.field[6] = 0x81, r.field[7] = 0x20, r.field[8] = 3, r.field[9] = 15, r.field[10] = 0x13;
        if (row == 123) r.field[6] = 0x80, r.field[7] = r.field[8] = -1;
        if (row == 124) r.field[0] = 0x00, r.field[9] = 0;  // the noise is the last to stop
    }));
    // Pulse 2 sounds on after pulse 1 and the noise fell silent; only its own silencing goes.
    out += captureText(
        CapturedEffect{trimEffectEvents({3, 0x4F, 9, 5, 0, 0x00, 11, 4, 9, 0, 11, 7, 3, 0x40, EFX_END, 0})});
    expectTestData("converter/effect-changes.capture", out);
}

// Each capture against tests/data/converter/effect-loops.capture.
TEST(EffectCapture, LoopsOnlyWhenAskedToAndNeverWithoutTime) {
    // Order 0 plays a note, order 1 silence, and at its end jumps to `loopTo` (EEy if asked).
    const auto script = [](bool askLoop, int loopTo) -> Script {
        return [=](FakePlayer& f, int order, int row, int) {
            if (order == 0 && row == 0) note(f.regs, 0x0F, 0x100);
            if (order == 0 && row == 2) f.regs.field[0] = 0x0C;
            if (order == 1 && row == 0) silence(f.regs);
            if (order == 1 && row == 3) f.loopFlag = askLoop, f.jumpOrder = loopTo;
        };
    };
    // The first two as assembler text too: a .word back to the loop offset only with EEy.
    LabelTable labels;
    labels.labelFor("first");
    CapturedEffect e = runEffect(2, 4, 2, script(true, 0));
    std::string out = captureText(e) + effectText(e, labels, "fx");
    e = runEffect(2, 4, 2, script(false, 0));
    out += captureText(e) + effectText(e, labels, "fx");
    // The repeated position (order 1) lies in the trimmed tail: the loop restarts from the top.
    out += captureText(runEffect(3, 4, 2, script(true, 1)));
    // A loop into a sounding part keeps its place.
    out += captureText(runEffect(2, 2, 1, [](FakePlayer& f, int order, int row, int) {
        if (order == 0 && row == 0) note(f.regs, 0x0F, 0x100);
        if (order == 1 && row == 0) f.regs.field[1] = 0x80;
        if (order == 1 && row == 1) f.loopFlag = true, f.jumpOrder = 1;
    }));
    // Nothing audible at all: only the end remains, even with EEy.
    out += captureText(
        runEffect(1, 4, 6, [](FakePlayer& f, int, int, int) { f.regs.field[0] = 0x30, f.loopFlag = true; }));
    // A loop body of register writes only would give the driver no frame to end on: it ends.
    out += captureText(encodeEffectEvents({0, 0x0F, 11, 3, 0, 0x0E, EFX_END_LOOP, 0}, 4));
    expectTestData("converter/effect-loops.capture", out);
}

// Each song's capture and effect capture against tests/data/converter/<song>.capture. A second
// capture gives the same (it is not cut short by the first), and each leaves the Player stopped.
TEST(RealPlayerCapture, SongsCaptureAsRecorded) {
    for (const char* name :
         {"three-entries", "break-and-jump", "waits-fold", "effects-close", "instrument-carries",
          "dpcm-channel", "speed-zero", "speed-zero-at-start", "two-notes", "two-notes-and-samples"}) {
        Rig r, fx;
        loadSongScript(*r.song, std::string("converter/") + name);
        loadSongScript(*fx.song, std::string("converter/") + name);
        CapturedSong first, second;
        captureSong(r.capture, r.recorder, first);
        captureSong(r.capture, r.recorder, second);
        EXPECT_EQ(first.channels, second.channels) << name;
        expectTestData("converter/" + std::string(name) + ".capture",
                       captureText(first) + captureText(captureEffect(fx.capture, fx.recorder)));
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
    CapturedSong song;
    captureSong(r.capture, r.recorder, song);
    captureEffect(r.capture, r.recorder);
    p.resetRequest = false;
    r.capture.restorePlaybackState();
    EXPECT_EQ(std::tuple(p.currentOrder, p.currentRow, p.frameInRow, p.tempoAccumulator, r.song->tempo,
                         r.song->speed, p.pcm.pcmInstrument, p.pcm.position),
              std::tuple(2, 17, 3, 1234, 150, 4, 9, 77.5));
    EXPECT_TRUE(p.patternMode && p.repeatBlockOn && p.resetRequest);
    EXPECT_FALSE(p.playing || p.captureMode);
}

// Captures: the recorder and sound effects (scripts in tests/data/converter/recorder, effects);
// stretches with a scripted player; songs with the real Player, and the Player left as found.

#include <gtest/gtest.h>

#include <functional>
#include <iomanip>
#include <iterator>

#include "TestData.h"
#include "export/Capture.h"
#include "export/CapturePlayer.h"
#include "export/ConverterEntry.h"
#include "export/Effect.h"
#include "tests/TraceScripts.h"

namespace {

// A scripted Player: a row clock walking the order list (the position after a tick is the one
// the next tick plays), and a hook per tick that reports commands, sets registers and jumps.
struct FakePlayer : CapturePlayer {
    DriverCommandRecorder recorder;
    int orders = 1, rows = 64, framesPerRow = 6;
    std::function<void(FakePlayer&, int order, int row, int frame)> onTick;
    int jumpOrder = -1;  // taken at the end of the current row, to its row 0

    int order = 0, row = 0, frame = 0;
    bool playing = false, capture = false, loopFlag = false;
    bool active[CHANNEL_COUNT][DRIVER_EFFECT_COUNT] = {};
    int volume[CHANNEL_COUNT] = {}, instrument[CHANNEL_COUNT] = {}, duty[CHANNEL_COUNT] = {};
    EffectRegisters regs{};

    void report(int channel, int code, std::vector<int32_t> args = {}) {
        if (capture) recorder.recordDriverCommand(channel, code, args);
    }

    void frameTick() override {
        if (onTick) onTick(*this, order, row, frame);
        if (++frame < framesPerRow) return;
        frame = 0;
        row = jumpOrder >= 0 ? 0 : (row + 1) % rows;
        order = jumpOrder >= 0 ? jumpOrder : row == 0 ? (order + 1) % orders : order;
        jumpOrder = -1;
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

// A capture script, each line printed with what it prints after " |", codes and bytes in hex.
// The recorder: "rec CHANNEL CODE [ARGUMENT]", "restate CHANNEL SLOT", "advance FRAMES", "recording
// 0|1" and "stretch" drive it; "pending CHANNEL", "end" (every channel's list) and "used SLOT" print.
// Sound effects: "player ORDERS ROWS FRAMES_PER_ROW" starts a scripted song; "at ORDER|* ROW|*
// FIELD=VALUE|loop=1|jump=ORDER..." sets register fields, asks for a loop (EEy) or jumps at the end
// of the row, on every tick of the row; "capture" prints the effect captured, "text" its assembler
// text too; "trim EVENT..." and "encode LOOP EVENT..." an event list trimmed or encoded.
std::string runCaptureScript(std::istream& script) {
    const auto at = [](const std::string& rule, int n) { return rule == "*" || rule == std::to_string(n); };
    DriverCommandRecorder r;
    r.beginCapture();
    std::vector<std::vector<std::string>> rules;
    int orders = 1, rows = 64, framesPerRow = 6;
    LabelTable labels;
    labels.labelFor("first");
    std::ostringstream out;
    for (std::string line; std::getline(script, line) && line != "--- trace";) {
        std::istringstream in(line.substr(0, line.find('#')));
        const std::vector<std::string> w{std::istream_iterator<std::string>(in), {}};
        if (w.empty()) continue;
        const std::string& op = w[0];
        int a = 0, b = 0, c = -1;
        std::istringstream(line.substr(op.size())) >> a >> b >> c;
        out << line << " |";
        const std::string ops =
            " rec restate advance recording stretch pending used end player at capture text trim encode ";
        if (ops.find(" " + op + " ") == std::string::npos) throw std::runtime_error("unknown line: " + line);
        if (op == "rec") r.recordDriverCommand(a, b, std::vector<int32_t>(c < 0 ? 0 : 1, c));
        if (op == "restate") r.restateInstrument(a, b);
        for (int n = 0; op == "advance" && n < a; ++n) r.advanceFrame();
        if (op == "recording") r.setRecording(a != 0);
        if (op == "stretch") r.beginStretch();
        if (op == "pending") out << commandsText(r.pending(a));
        if (op == "used") out << " " << int(r.usedFlags()[size_t(a)]);
        if (op == "end") {
            for (const CommandList& list : r.endStretch()) out << " [" << commandsText(list) << " ]";
        }
        if (op == "player") {
            rules.clear();
            orders = a, rows = b, framesPerRow = c;
        }
        if (op == "at") rules.push_back(w);
        if (op == "capture" || op == "text") {
            FakePlayer p;
            p.orders = orders, p.rows = rows, p.framesPerRow = framesPerRow;
            p.onTick = [&](FakePlayer& f, int order, int row, int) {
                for (const std::vector<std::string>& rule : rules)
                    for (size_t i = 3; at(rule[1], order) && at(rule[2], row) && i < rule.size(); ++i) {
                        const std::string key = rule[i].substr(0, rule[i].find('='));
                        const int value = std::stoi(rule[i].substr(key.size() + 1), nullptr, 0);
                        if (key == "loop") f.loopFlag = value != 0;
                        if (key == "jump") f.jumpOrder = value;
                        if (key != "loop" && key != "jump") f.regs.field[std::stoi(key)] = value;
                    }
                f.report(0, DRV_NOTE, {1});  // recording is off during an effect capture
            };
            const CapturedEffect e = captureEffect(p, p.recorder);
            EXPECT_TRUE(p.recorder.pending(0).empty()) << line;
            EXPECT_TRUE(p.recorder.recording()) << line;
            EXPECT_FALSE(p.capture || p.playing) << line;
            out << " " << captureText(e) << (op == "text" ? effectText(e, labels, "fx") : "");
        }
        if (op == "trim" || op == "encode") {
            std::vector<uint8_t> events;
            for (size_t i = op == "trim" ? 1 : 2; i < w.size(); ++i)
                events.push_back(uint8_t(std::stoi(w[i], nullptr, 0)));
            out << " "
                << captureText(op == "trim" ? CapturedEffect{trimEffectEvents(events)}
                                            : encodeEffectEvents(events, a));
        }
        out << "\n";
    }
    return out.str();
}

KEPT_TRACE_SUITE(RecorderScript, std::filesystem::path(BF_SOURCE_DIR "/tests/data/converter/recorder"),
                 runCaptureScript);
KEPT_TRACE_SUITE(EffectScript, std::filesystem::path(BF_SOURCE_DIR "/tests/data/converter/effects"),
                 runCaptureScript);

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
    CapturedSong song;
    captureSong(p, p.recorder, song);
    EXPECT_FALSE(p.playing || p.capture);
    expectTestData("converter/stretches.capture", captureText(song));
}

// Each song's capture and effect capture against tests/data/converter/<song>.capture. A second
// capture gives the same (it is not cut short by the first), and each leaves the Player stopped;
// between a save and a restore of its state, the Player is left as it was found.
TEST(RealPlayerCapture, SongsCaptureAsRecordedAndPhasesLeaveThePlayerAsFound) {
    for (const char* name :
         {"three-entries", "break-and-jump", "waits-fold", "effects-close", "instrument-carries",
          "dpcm-channel", "speed-zero", "speed-zero-at-start", "two-notes", "two-notes-and-samples"}) {
        ConverterSetup r, fx;
        for (ConverterSetup* s : {&r, &fx}) {
            songScriptLine(*s->song, "env 1 volume 0 240", name);  // the default Volume is silent
            loadSongScript(*s->song, std::string("converter/") + name);
        }
        CapturedSong first, second;
        captureSong(r.capture, r.recorder, first);
        captureSong(r.capture, r.recorder, second);
        EXPECT_EQ(first.channels, second.channels) << name;
        expectTestData("converter/" + std::string(name) + ".capture",
                       captureText(first) + captureText(captureEffect(fx.capture, fx.recorder)));
        EXPECT_FALSE(fx.player->captureMode || fx.player->playing) << name;
        EXPECT_TRUE(fx.recorder.recording()) << name;
    }
    ConverterSetup r;
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

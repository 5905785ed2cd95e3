#pragma once
// A scripted stand-in for the Player: a row clock walking the order list (the position after a
// tick is the one the next tick plays) and a per-tick hook that reports driver commands, sets
// register values and asks for jumps.

#include <functional>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "export/Capture.h"
#include "export/CapturePlayer.h"
#include "export/Effect.h"

// Commands as text: codes in two hexadecimal digits, arguments in brackets.
inline std::string commandsText(const CommandList& list) {
    std::ostringstream out;
    for (const DriverCommand& d : list) {
        out << " " << std::hex << std::uppercase << std::setw(2) << std::setfill('0') << d.code << std::dec;
        for (int32_t a : d.args) out << "(" << a << ")";
    }
    return out.str();
}

// A song capture as text: its loop point, then each channel's stretches ("CHANNEL.STRETCH:").
inline std::string captureText(const CapturedSong& s) {
    std::string out = "loop " + std::to_string(s.loopIndex) + "\n";
    for (int c = 0; c < CHANNEL_COUNT; ++c)
        for (size_t i = 0; i < s.channels[c].size(); ++i)
            out += std::to_string(c) + "." + std::to_string(i) + ":" + commandsText(s.channels[c][i]) + "\n";
    return out;
}

// A sound effect capture as text: its loop offset and bytes in hexadecimal.
inline std::string captureText(const CapturedEffect& e) {
    std::ostringstream out;
    out << "effect loop " << e.loopOffset << ":" << std::hex << std::uppercase << std::setfill('0');
    for (uint8_t b : e.bytes) out << " " << std::setw(2) << int(b);
    return out.str() + "\n";
}

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

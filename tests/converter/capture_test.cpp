// Song capture: the recorder's waits, folding and DPCM-channel filter (scripts with kept traces in
// tests/data/converter/recorder), and stretches closing their effects. Breaks, jumps and stops
// are followed with the real Player in real_player_capture_test.

#include <gtest/gtest.h>

#include <set>

#include "FakePlayer.h"
#include "export/Capture.h"
#include "tests/TraceScripts.h"

namespace {

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

#pragma once
// A song, an Apu and a Player wired as the program wires them, with per-frame register capture.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "apu/Apu.h"
#include "player/AudioRenderer.h"
#include "player/Player.h"

struct RegisterWrite {
    uint16_t address;
    uint8_t value;
    bool operator==(const RegisterWrite&) const = default;
};

struct PlayerRig : RegisterTraceSink {
    std::unique_ptr<Song> songPtr = std::make_unique<Song>();
    Song& song = *songPtr;
    Nonlinear_Buffer buffer;
    Apu apu{buffer};
    Player player{song, apu};
    AudioRenderer renderer{player, apu};
    std::vector<RegisterWrite> writes;  // the register writes traced

    explicit PlayerRig(bool ntsc = false) {
        song.ntsc = ntsc;
        initPlayback(player, apu, 44100);
        player.reset();
        player.traceSink = this;
    }

    // Starts the song from order 0, row 0 and serves the requests, as a play command does.
    void play(bool patternMode = false) {
        player.currentOrder = 0;
        player.currentRow = 0;
        player.frameInRow = 0;
        player.start(patternMode);
        player.serveRequests();
        writes.clear();
    }

    // Runs one frame (frame tick and 312 scanline steps); returns its register writes.
    std::vector<RegisterWrite> frame() {
        writes.clear();
        do renderer.runScanline();
        while (renderer.scanline() != 0);
        std::vector<int16_t> drop(size_t(buffer.samplesAvailable()));
        buffer.readSamples(drop.data(), long(drop.size()));
        return writes;
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) frame();
    }

    void registerWritten(uint16_t address, uint8_t value) override { writes.push_back({address, value}); }
    PatternCell& cell(int pattern, int channel, int row) { return song.patterns[pattern].at(channel, row); }
    void put(int pattern, int channel, int row, int note, int instrument = 0, int effect = 0, int param = 0) {
        PatternCell& c = cell(pattern, channel, row);
        c.note = uint8_t(note);
        c.instrument = uint8_t(instrument);
        c.setEffect(effect, param);
    }
    static void setEnvelope(Envelope& env, const std::vector<int>& values, int loopPoint) {
        env.loopPoint = loopPoint;
        for (size_t i = 0; i < values.size(); ++i) env.values[i] = values[i];
        env.values[values.size()] = END_MARKER;
    }
};

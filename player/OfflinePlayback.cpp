#include "player/OfflinePlayback.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "apu/Apu.h"

OfflinePlayback::OfflinePlayback(Player& player, Apu& apu, long sampleRate)
    : player_(player), apu_(apu), renderer_(player, apu) {
    if (const char* error = initPlayback(player, apu, sampleRate)) throw std::runtime_error(error);
    player_.reset();
}

void OfflinePlayback::startSong() {
    player_.currentOrder = 0;
    player_.currentRow = player_.repeatBlockOn ? std::min(player_.repeatMarkA, player_.repeatMarkB) : 0;
    player_.frameInRow = 0;
    player_.start(false);
    player_.serveRequests();
    player_.endOfSongFlag = false;
    for (auto& order : visited_) std::fill(std::begin(order), std::end(order), false);
    loopReached_ = false;
    frames_ = 0;
}

void OfflinePlayback::nextPass() {
    player_.endOfSongFlag = false;
    for (auto& order : visited_) std::fill(std::begin(order), std::end(order), false);
    loopReached_ = false;
}

bool OfflinePlayback::finished() const {
    if (!player_.playing || player_.endOfSongFlag || loopReached_) return true;
    if (player_.frameInRow != 0) return false;
    int order = std::clamp(player_.currentOrder, 0, MAX_ORDERS - 1);
    int row = std::clamp(player_.currentRow, 0, ROWS_PER_PATTERN - 1);
    return visited_[order][row];
}

void OfflinePlayback::runFrame(std::vector<int16_t>* samples) {
    if (player_.playing && player_.frameInRow == 0) {
        int order = std::clamp(player_.currentOrder, 0, MAX_ORDERS - 1);
        int row = std::clamp(player_.currentRow, 0, ROWS_PER_PATTERN - 1);
        if (visited_[order][row]) loopReached_ = true;
        visited_[order][row] = true;
    }
    renderer_.finishFrame();
    ++frames_;
    // Read out every frame so that the output buffer never runs full.
    std::vector<int16_t>& into = samples ? *samples : scratch_;
    if (!samples) scratch_.clear();
    Nonlinear_Buffer& buffer = apu_.output();
    long available = buffer.samplesAvailable();
    size_t start = into.size();
    into.resize(start + size_t(available));
    long got = buffer.readSamples(into.data() + start, available);
    into.resize(start + size_t(std::max(0L, got)));
}

std::vector<int16_t> renderSong(Player& player, Apu& apu, long sampleRate, double seconds,
                                double maxSeconds) {
    OfflinePlayback playback(player, apu, sampleRate);
    playback.startSong();
    const bool fixed = seconds > 0.0;
    const size_t wanted = size_t((fixed ? seconds : maxSeconds) * double(sampleRate));
    std::vector<int16_t> samples;
    // Most songs end within a minute; longer ones grow the buffer as they go.
    samples.reserve(std::min(wanted, size_t(60 * sampleRate)) + 4096);
    while (samples.size() < wanted && (fixed || !playback.finished())) playback.runFrame(&samples);
    if (samples.size() > wanted) samples.resize(wanted);
    return samples;
}

namespace {

struct LineTrace : RegisterTraceSink {
    std::string line;
    void registerWritten(uint16_t address, uint8_t value) override {
        char text[16];
        std::snprintf(text, sizeof text, " %04X=%02X", unsigned(address), unsigned(value));
        line += text;
    }
};

}  // namespace

std::vector<std::string> traceSong(Player& player, Apu& apu, long frames, long maxFrames) {
    OfflinePlayback playback(player, apu);
    playback.startSong();
    LineTrace trace;
    RegisterTraceSink* previous = player.traceSink;
    player.traceSink = &trace;
    std::vector<std::string> lines;
    const bool fixed = frames > 0;
    const long limit = fixed ? frames : maxFrames;
    while (playback.frames() < limit && (fixed || !playback.finished())) {
        trace.line = std::to_string(playback.frames()) + ":";
        playback.runFrame();
        lines.push_back(trace.line);
    }
    player.traceSink = previous;
    return lines;
}

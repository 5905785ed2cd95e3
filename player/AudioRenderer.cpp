#include "player/AudioRenderer.h"

#include "apu/Apu.h"
#include "player/Player.h"

const char* initPlayback(Player& player, Apu& apu, long sampleRate) {
    player.sampleRate = sampleRate;
    apu.setSampleReader(&Player::readSampleMemory, &player);
    return apu.configure(player.song.ntsc, sampleRate);
}

namespace {
// The scanline step itself, in line in both loops below.
[[gnu::always_inline]] inline void scanlineStep(Player& player, Apu& apu, int& scanline) {
    if (scanline == 0) player.frameTick();
    player.scanlineTick();
    apu.endScanline();
    if (++scanline == SCANLINES_PER_FRAME) scanline = 0;
}
}  // namespace

void AudioRenderer::runScanline() { scanlineStep(player_, apu_, scanline_); }

void AudioRenderer::finishFrame() {
    // A local counter: the player and the Apu cannot see it, so it stays in a register.
    int scanline = scanline_;
    do scanlineStep(player_, apu_, scanline);
    while (scanline != 0);
    scanline_ = scanline;
}

void AudioRenderer::renderAudio(int16_t* output, long count) {
    Nonlinear_Buffer& buffer = apu_.output();
    while (buffer.samplesAvailable() < count) runScanline();
    buffer.readSamples(output, count);
}

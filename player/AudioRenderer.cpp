#include "player/AudioRenderer.h"

#include "apu/Apu.h"
#include "player/Player.h"

const char* initPlayback(Player& player, Apu& apu, long sampleRate) {
    player.sampleRate = sampleRate;
    apu.setSampleReader(&Player::readSampleMemory, &player);
    return apu.configure(player.song.ntsc, sampleRate);
}

void AudioRenderer::runScanline() {
    if (scanline_ == 0) player_.frameTick();
    player_.scanlineTick();
    apu_.endScanline();
    if (++scanline_ == SCANLINES_PER_FRAME) scanline_ = 0;
}

void AudioRenderer::finishFrame() {
    do runScanline();
    while (scanline_ != 0);
}

void AudioRenderer::renderAudio(int16_t* output, long count) {
    Nonlinear_Buffer& buffer = apu_.output();
    while (buffer.samplesAvailable() < count) runScanline();
    buffer.readSamples(output, count);
}

#include "platform/Audio.h"

#include <SDL.h>

#include <stdexcept>

namespace {

RenderFunction renderFunction = nullptr;
void* renderContext = nullptr;

void audioCallback(void*, Uint8* stream, int length) {
    renderFunction(renderContext, reinterpret_cast<int16_t*>(stream), length / 2);
}

}  // namespace

void openAudio(int sampleRate, uint16_t samples, RenderFunction render, void* context) {
    renderFunction = render;
    renderContext = context;
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = 1;
    wanted.samples = samples;
    wanted.callback = audioCallback;
    wanted.userdata = nullptr;
    // Without an "obtained" record SDL guarantees the callback this exact format and converts
    // for the hardware itself; the callback could not cope with any other format.
    if (SDL_OpenAudio(&wanted, nullptr) < 0) throw std::runtime_error("SDL_OpenAudio failed");
    SDL_PauseAudio(0);
}

void SdlAudioLock::lock() { SDL_LockAudio(); }
void SdlAudioLock::unlock() { SDL_UnlockAudio(); }
void SdlAudioLock::pauseDevice(bool paused) { SDL_PauseAudio(paused ? 1 : 0); }

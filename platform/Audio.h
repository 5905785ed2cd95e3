#pragma once
// The sound device: signed 16-bit little-endian mono through SDL's callback audio.

#include <cstdint>

#include "app/AudioLock.h"

// Fills `count` samples at `output`; called on SDL's audio thread.
using RenderFunction = void (*)(void* context, int16_t* output, long count);

// Opens the device at sampleRate Hz with a buffer of `samples` samples and starts it. The render
// function runs on the audio thread from then on. Throws std::runtime_error("SDL_OpenAudio
// failed") when the device cannot be opened. SDL's audio subsystem must be initialised.
void openAudio(int sampleRate, uint16_t samples, RenderFunction render, void* context);

// The device's lock: while it is held the callback does not run.
class SdlAudioLock : public AudioLock {
  public:
    void lock() override;
    void unlock() override;
    // SDL_PauseAudio: while paused the callback is not called at all.
    void pauseDevice(bool paused) override;
};

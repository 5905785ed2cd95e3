#pragma once
// What the game driver's benchmarks play: a short sound effect beside the song, started again
// every 24 frames from the NMI handler, which marks bleep_update's start and end with writes to
// the unused register $4009.

#include <string>
#include <vector>

#include "song/Song.h"

inline void driverBenchEnvelope(Envelope& env, const std::vector<int>& values, int loopPoint) {
    env.loopPoint = loopPoint;
    for (size_t i = 0; i < values.size(); ++i) env.values[i] = values[i];
    env.values[values.size()] = END_MARKER;
}

// A pulse note with a fading volume and a slide, and a noise hit, about 30 frames long.
inline void driverBenchEffect(Song& s) {
    driverBenchEnvelope(s.instruments[1].envelopes[ENV_VOLUME],
                           {240, 224, 208, 192, 176, 160, 144, 128, 112, 96, 80, 64, 48, 32, 16, 0}, 15);
    driverBenchEnvelope(s.instruments[2].envelopes[ENV_VOLUME], {240, 160, 80, 0}, 3);
    s.patterns[0].at(CH_PULSE1, 0).note = 40;
    s.patterns[0].at(CH_PULSE1, 0).instrument = 1;
    s.patterns[0].at(CH_PULSE1, 0).setEffect(0x1, 0x40);
    s.patterns[0].at(CH_NOISE, 0).note = 20;
    s.patterns[0].at(CH_NOISE, 0).instrument = 2;
}

inline const std::string driverBenchNmi =
    " dec $20\n bpl :+\n lda #23\n sta $20\n lda #0\n ldx #0\n jsr bleep_sfx\n"
    ": sta $4009\n jsr bleep_update\n sta $4009\n rti";

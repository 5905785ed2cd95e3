#pragma once
// Per-channel playback state and the per-frame register image the exporters read.

#include <cstdint>

constexpr int HISTORY_LENGTH = 50;  // frames of register and period history kept for the echo

// The state of one channel (0 Pulse 1, 1 Pulse 2, 2 Triangle, 3 Noise, 4 DPCM channel).
// Plain data: Player::reset zeroes it and then sets the few non-zero starting values.
struct ChannelState {
    int32_t pitch;            // 1/256 semitone: note x 256 at a note start, moved by slides
    int32_t slideSpeed;       // memory of effects 1, 2, 3 (1/256 semitone per frame)
    int32_t arpeggioOffset;   // semitones added by the arpeggio
    int32_t noteEnvOffset;    // semitones from a relative Note-envelope value
    int32_t portaTarget;      // target note of tone portamento, 0 = none
    int32_t vibratoOffset;    // 1/256 semitone added by vibrato
    int32_t noteEnvAbsolute;  // note from an absolute Note-envelope value, 0 = none
    int32_t lastPeriod;       // last period sent to the hardware, -1 forces a full write
    int32_t envPos[4];        // read positions of Volume, Note, Duty/Mode, Fine-tune
    int32_t volume;           // 0-63
    uint8_t noteOn;           // the sounding note, 0 = channel off
    uint8_t instrument;       // current instrument slot
    uint8_t effectByte;       // byte 2 of the last started cell (effect, parameter high nibble)
    uint8_t paramLow;         // low nibble: parameter low nibble of that cell
    int32_t volumeValue;      // current Volume-envelope value 0-255
    int32_t noteValue;        // current raw Note-envelope value
    int32_t dutyValue;        // current Duty/Mode-envelope value 0-255
    int32_t fineTune;         // current Fine-tune value - 127 (1/256 semitone)
    int32_t volSlideUp, volSlideDown;
    int32_t vibSpeed, vibDepth, vibPos;       // shared by vibrato and tremolo
    int32_t tremoloOffset;                    // volume units added by tremolo
    int32_t arpeggioStep;                     // 0-3
    int32_t noteDelay;                        // frames until a delayed note starts
    int32_t dutyOverride;                     // duty 0-3 from effect Cxy, -1 none
    int32_t echoDelay;                        // frames, 0 = echo off
    int32_t echoDecay;                        // volume steps lost per echo pass
    int32_t historyPos;                       // 0-49
    int32_t periodHistory[HISTORY_LENGTH];    // periods of the last 50 frames (channel 4: PCM steps)
    int32_t registerHistory[HISTORY_LENGTH];  // register-0 values (channel 4: PCM amplitudes)
    int32_t noteCut;                          // frames until a note cut, 0 = none
    int32_t glissandoMask;                    // 0xFF, or 0 to play whole semitones
    uint8_t lastNote;                         // re-used when a cell names only an instrument

    // Driver-command memories: what was last reported, so that a running effect is reported
    // once when it starts or changes and once when it ends. The export capture reads and clears
    // the six *Active flags and lastReportedDuty.
    bool slideActive, arpeggioActive, vibratoActive, tremoloActive, volumeSlideActive, dutyOverrideActive;
    int32_t reportedSlide;     // signed slide speed last reported (negative = downward)
    int32_t reportedArpeggio;  // xy of the last arpeggio report
    int32_t reportedVibrato;   // (speed << 4) | depth of the last vibrato report
    int32_t reportedTremolo;   // (speed << 4) | depth of the last tremolo report
    int32_t reportedVolSlide;  // +up or -down speed of the last volume-slide report
    int32_t lastReportedDuty;  // -1 none
};

// The register image of the current frame, read by the NSF export and the sound-effect capture.
// Every field is an integer so that a reader can set the whole image to -1 ("nothing known").
struct FrameSnapshot {
    int32_t pulse1PeriodHigh, pulse1PeriodLow, pulse1DutyVolume;  // periods -1 when volume is 0
    int32_t pulse2PeriodHigh, pulse2PeriodLow, pulse2DutyVolume;
    int32_t trianglePeriodHigh, trianglePeriodLow;  // -1 when the triangle is off
    int32_t triangleControl;                        // $4008 value, 0x80 or 0x81
    int32_t noisePeriod;                            // mode in bit 4, -1 when the volume is 0
    int32_t noiseVolume;                            // 0-15
    int32_t dpcmKind;       // 0 PCM sample, 1 hardware DPCM, 2 software pulse, 3 software saw
    int32_t dpcmRate;       // DPCM: rate index; software voice: step >> 8
    int32_t dpcmValue;      // DPCM/PCM: instrument of the row; software voice: step & 0xFF
    int32_t pcmAmplitude;   // software voice amplitude 0-125
    int32_t pcmThreshold;   // software pulse width 0-255
    int32_t dpcmTriggered;  // 1 when the current row started a DPCM or PCM sample
    int32_t sampleStarted;  // set to 1 when a sample starts; cleared only by its reader

    void fill(int32_t v) {
        pulse1PeriodHigh = pulse1PeriodLow = pulse1DutyVolume = v;
        pulse2PeriodHigh = pulse2PeriodLow = pulse2DutyVolume = v;
        trianglePeriodHigh = trianglePeriodLow = triangleControl = v;
        noisePeriod = noiseVolume = v;
        dpcmKind = dpcmRate = dpcmValue = pcmAmplitude = pcmThreshold = dpcmTriggered = sampleStarted = v;
    }
};

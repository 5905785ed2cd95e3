#pragma once
// The sound driver's command codes: what the Player reports in capture mode (channels 0-3 use
// the codes below 232, the DPCM channel its own vocabulary) and what the exporters store after
// folding arguments into the codes.

#include <cstdint>

enum DriverCode : int32_t {
    DRV_WAIT = 0,          // argument frames 1-256 (stored as n & 255)
    DRV_NOTE = 64,         // argument note 1-96
    DRV_INSTRUMENT = 128,  // argument slot 1-255, renumbered by the writer
    DRV_VOLUME = 192,      // argument level 0-15
    DRV_DUTY = 208,        // argument duty 0-3
    DRV_LONG_WAIT = 212,   // folded wait of 64-255 frames
    DRV_LONG_NOTE = 213,   // folded note of 64 and above
    DRV_NOTE_CUT = 214,
    DRV_END_PATTERN = 215,
    DRV_ARPEGGIO_ON = 217,
    DRV_ARPEGGIO_OFF = 218,
    DRV_SLIDE_UP = 219,
    DRV_SLIDE_DOWN = 220,
    DRV_SLIDE_OFF = 221,
    DRV_SLIDE_ARRIVED = 222,  // argument the note the portamento reached
    DRV_VIBRATO_ON = 223,
    DRV_VIBRATO_OFF = 224,
    DRV_VOLSLIDE_UP = 225,
    DRV_VOLSLIDE_DOWN = 226,
    DRV_VOLSLIDE_OFF = 227,
    DRV_TREMOLO_ON = 228,
    DRV_TREMOLO_OFF = 229,
    DRV_GLISSANDO = 230,  // argument 1 on, 0 off
    DRV_DUTY_RELEASE = 231,
    // DPCM channel: its own vocabulary, offset by 232 so it cannot be confused with the above.
    DRV_DPCM_BASE = 232,       // 232 + n: wait n frames, n < 128
    DRV_DPCM_LONG_WAIT = 360,  // wait of 128-256 frames (256 stored as 0)
    DRV_DPCM_END_PATTERN = 361,
    DRV_DPCM_PLAY = 362,    // argument instrument slot, replaced by the writer
    DRV_DPCM_RATE = 365,    // argument rate index | 0x40 when the sample loops
    DRV_DPCM_EFFECT = 366,  // argument y of effect EEy
    DRV_DPCM_LIMIT = 367,
};

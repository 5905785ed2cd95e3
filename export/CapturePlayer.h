#pragma once
// What the offline song and sound-effect captures need from the Player, as a small interface.
// The application provides an adapter over the real Player; tests drive the captures with
// scripted fakes. Every operation acts at once; nothing here touches the sound device.

#include <cstdint>

// The six effects a channel can leave running, whose "off" command the capture must record when
// a stretch of playback ends. The Player raises a flag when it reports the matching "on" command.
enum DriverEffect : int {
    DRV_SLIDE = 0,
    DRV_VIBRATO = 1,
    DRV_TREMOLO = 2,
    DRV_ARPEGGIO = 3,
    DRV_VOLUME_SLIDE = 4,
    DRV_DUTY_OVERRIDE = 5,
};
constexpr int DRIVER_EFFECT_COUNT = 6;

// The eleven register values a sound effect is made of, published by the Player once per frame.
// -1 in a field means there is nothing to write for it (channel silent or value not set yet).
//   0 pulse 1 duty*16+volume, 1 pulse 1 period low byte, 2 pulse 1 period high bits,
//   3-5 the same for pulse 2,
//   6 triangle 0x81 sounding / 0x80 silent, 7 triangle period low byte, 8 its high bits,
//   9 noise volume 0-15, 10 noise mode*16+period index.
constexpr int EFFECT_FIELD_COUNT = 11;
struct EffectRegisters {
    int32_t field[EFFECT_FIELD_COUNT];
};

struct CapturePlayer {
    virtual ~CapturePlayer() = default;

    // Player::reset: channel states zeroed, tables rebuilt.
    virtual void reset() = 0;
    virtual void setTempo(int tempo) = 0;
    virtual void setSpeed(int speed) = 0;
    // Order entry 0-63 and row 0-63 that the next frame tick plays.
    virtual void setPosition(int order, int row) = 0;
    virtual void setFrameInRow(int frame) = 0;
    virtual void setTempoAccumulator(int value) = 0;
    virtual void setPatternMode(bool on) = 0;
    virtual void setBlockRepeat(bool on) = 0;
    virtual void setPlaying(bool on) = 0;
    // In capture mode the Player writes no register and reports driver commands instead.
    virtual void setCaptureMode(bool on) = 0;

    virtual int currentOrder() const = 0;
    virtual int currentRow() const = 0;
    // Set when the Player cannot advance any more (for example after speed 0).
    virtual bool endOfSong() const = 0;
    // One 50/60 Hz frame of the Player: rows, effects and envelopes.
    virtual void frameTick() = 0;

    // Per-channel fields (channel 0-4). Volume 0-63, instrument slot 0-255.
    virtual void setChannelVolume(int channel, int volume) = 0;
    virtual void setChannelInstrument(int channel, int slot) = 0;
    // The instrument the channel's next note plays with unless its cell names another; 0 when
    // none, or when it is a sample instrument, which plays no note on that channel.
    virtual int channelInstrument(int channel) const = 0;
    virtual bool effectActive(int channel, DriverEffect effect) const = 0;
    // A duty set by the song is heard on the channel: a note sounds on a pulse, and its
    // instrument's Duty/Mode envelope gives another duty than the one set.
    virtual bool dutyOverrideHeard(int channel) const = 0;
    virtual void clearEffectActive(int channel, DriverEffect effect) = 0;
    // Forget the duty last reported, so the next duty is reported again.
    virtual void clearLastReportedDuty(int channel) = 0;

    // Sound-effect capture: the register image of the last frame, setting it all to -1, and the
    // flag that effect EEy raises.
    virtual EffectRegisters effectRegisters() const = 0;
    virtual void clearEffectRegisters() = 0;
    virtual bool loopRequested() const = 0;
    virtual void setLoopRequested(bool on) = 0;

    // The converter keeps the Player as it found it: save the playback position, speed, tempo,
    // mode flags and software-voice state before a phase; restore them afterwards and ask the
    // audio side for a reset.
    virtual void savePlaybackState() = 0;
    virtual void restorePlaybackState() = 0;
};

#pragma once
// The offline captures driven by the real Player: CapturePlayer over Player, and the sink that
// hands the Player's driver-command reports to the capture's recorder.

#include "export/Capture.h"
#include "export/CapturePlayer.h"
#include "player/Player.h"

// Forwards the Player's reports to a DriverCommandRecorder; an argument of -1 means the command
// has none.
class RecorderSink : public DriverCommandSink {
  public:
    explicit RecorderSink(DriverCommandRecorder& recorder) : recorder_(recorder) {}
    void recordDriverCommand(int channel, int code, int argument) override;

  private:
    DriverCommandRecorder& recorder_;
};

// The captures' view of a Player. While it exists the Player reports its driver commands to
// `recorder` (the sink it had before is given back on destruction). Both must outlive it.
class PlayerCapture : public CapturePlayer {
  public:
    PlayerCapture(Player& player, DriverCommandRecorder& recorder);
    ~PlayerCapture() override;
    PlayerCapture(const PlayerCapture&) = delete;
    PlayerCapture& operator=(const PlayerCapture&) = delete;

    // Player::reset, and the end-of-song flag cleared: the Player only ever sets it, and a song
    // that stopped with speed 0 must not end the next capture before its first stretch.
    void reset() override;
    // Tempo and speed live in the song; Fxx rows change them there while the capture runs.
    void setTempo(int tempo) override { player_.song.tempo = tempo; }
    void setSpeed(int speed) override { player_.song.speed = speed; }
    void setPosition(int order, int row) override;
    void setFrameInRow(int frame) override { player_.frameInRow = frame; }
    void setTempoAccumulator(int value) override { player_.tempoAccumulator = value; }
    void setPatternMode(bool on) override { player_.patternMode = on; }
    void setBlockRepeat(bool on) override { player_.repeatBlockOn = on; }
    void setPlaying(bool on) override { player_.playing = on; }
    void setCaptureMode(bool on) override { player_.captureMode = on; }

    int currentOrder() const override { return player_.currentOrder; }
    int currentRow() const override { return player_.currentRow; }
    bool endOfSong() const override { return player_.endOfSongFlag; }
    void frameTick() override { player_.frameTick(); }

    // Channels outside 0-4 are ignored (effectActive answers false).
    void setChannelVolume(int channel, int volume) override;
    void setChannelInstrument(int channel, int slot) override;
    int channelInstrument(int channel) const override;
    bool effectActive(int channel, DriverEffect effect) const override;
    bool dutyOverrideHeard(int channel) const override;
    // Clearing the duty override also forgets the duty last reported, as the Player does when it
    // reports the release itself: after the capture has closed the override, the same duty
    // set again in a later stretch must be reported again.
    void clearEffectActive(int channel, DriverEffect effect) override;
    void clearLastReportedDuty(int channel) override;

    EffectRegisters effectRegisters() const override;
    void clearEffectRegisters() override { player_.snapshot.fill(-1); }
    bool loopRequested() const override { return player_.loopRequested; }
    void setLoopRequested(bool on) override { player_.loopRequested = on; }

    // Position, row clock, speed, tempo, pattern mode, repeat block, the playing and capture
    // flags and the software PCM voice. Restoring also raises resetRequest, so that the audio
    // side silences the registers and drops the sample memory the capture left behind.
    void savePlaybackState() override;
    void restorePlaybackState() override;

  private:
    struct SavedState {
        int tempo = 125, speed = 6;
        int order = 0, row = 0, frameInRow = 0, tempoAccumulator = 0;
        bool patternMode = false, repeatBlockOn = false, playing = false, captureMode = false;
        PcmVoice pcm;
    };

    ChannelState* channel(int c) { return c >= 0 && c < CHANNEL_COUNT ? &player_.channels[c] : nullptr; }
    const ChannelState* channel(int c) const {
        return c >= 0 && c < CHANNEL_COUNT ? &player_.channels[c] : nullptr;
    }

    Player& player_;
    RecorderSink sink_;
    DriverCommandSink* previousSink_;
    SavedState saved_;
};

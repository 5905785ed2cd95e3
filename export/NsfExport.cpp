#include "export/NsfExport.h"

#include <stdexcept>

#include "export/NsfCapture.h"
#include "export/NsfWriter.h"
#include "player/Player.h"

namespace {

class PlayerFrames : public NsfFrameSource {
  public:
    explicit PlayerFrames(Player& player) : p_(player) {}

    void beginStretch() override {
        FrameSnapshot& s = p_.snapshot;
        int32_t triggered = s.dpcmTriggered, started = s.sampleStarted;
        s.fill(-1);
        s.dpcmTriggered = triggered;
        s.sampleStarted = started;
    }

    NsfFrameReport runFrame() override {
        p_.frameTick();
        const FrameSnapshot& s = p_.snapshot;
        NsfFrameReport r;
        r.values = {s.pulse1PeriodHigh, s.pulse1PeriodLow,  s.pulse1DutyVolume,   s.pulse2PeriodHigh,
                    s.pulse2PeriodLow,  s.pulse2DutyVolume, s.trianglePeriodHigh, s.trianglePeriodLow,
                    s.triangleControl,  s.noisePeriod,      s.noiseVolume,        s.dpcmKind,
                    s.dpcmRate,         s.dpcmValue,        s.pcmAmplitude,       s.pcmThreshold};
        r.order = p_.currentOrder;
        r.row = p_.currentRow;
        r.endOfSong = p_.endOfSongFlag;
        r.sampleStarted = s.sampleStarted > 0;
        p_.snapshot.sampleStarted = 0;
        return r;
    }

    void setSampleIndex(int index) override { p_.snapshot.dpcmValue = index; }

  private:
    Player& p_;
};

// What the export changes in the player, put back however the export ends.
class SavedPlayback {
  public:
    explicit SavedPlayback(Player& p)
        : p_(p),
          tempo_(p.song.tempo),
          speed_(p.song.speed),
          order_(p.currentOrder),
          row_(p.currentRow),
          frameInRow_(p.frameInRow),
          accumulator_(p.tempoAccumulator),
          patternMode_(p.patternMode),
          repeatBlock_(p.repeatBlockOn),
          pcmPosition_(p.pcm.position),
          pcmInstrument_(p.pcm.pcmInstrument),
          playing_(p.playing) {}
    ~SavedPlayback() {
        // The capture leaves the channels as the song's last frame had them; a stopped player
        // goes on writing its channels every frame, so notes still sounding there would drone
        // on after the export. They are cleared as the reset before the capture cleared them, and the
        // reset asks the audio thread to start its channels afresh.
        p_.reset();
        p_.captureMode = false;
        p_.playing = playing_;
        p_.song.tempo = tempo_;
        p_.song.speed = speed_;
        p_.currentOrder = order_;
        p_.currentRow = row_;
        p_.frameInRow = frameInRow_;
        p_.tempoAccumulator = accumulator_;
        p_.patternMode = patternMode_;
        p_.repeatBlockOn = repeatBlock_;
        p_.pcm.position = pcmPosition_;
        p_.pcm.pcmInstrument = pcmInstrument_;
    }
    SavedPlayback(const SavedPlayback&) = delete;
    SavedPlayback& operator=(const SavedPlayback&) = delete;

  private:
    Player& p_;
    int tempo_, speed_, order_, row_, frameInRow_, accumulator_;
    bool patternMode_, repeatBlock_;
    double pcmPosition_;
    int pcmInstrument_;
    bool playing_;
};

}  // namespace

bool exportNsf(Player& player, std::vector<uint8_t>& file, std::string* error) {
    SavedPlayback saved(player);
    player.reset();
    player.song.tempo = 125;
    player.song.speed = 6;
    player.currentOrder = 0;
    player.currentRow = 0;
    player.frameInRow = 0;
    player.tempoAccumulator = 0;
    player.patternMode = false;
    player.repeatBlockOn = false;
    player.endOfSongFlag = false;
    player.snapshot.sampleStarted = 0;
    player.playing = true;
    player.captureMode = true;
    try {
        PlayerFrames frames(player);
        NsfCapture capture = captureNsf(player.song, frames);
        player.captureMode = false;
        player.playing = false;
        file = buildNsf(capture);
    } catch (const std::runtime_error& e) {
        if (error) *error = e.what();
        return false;
    }
    return true;
}

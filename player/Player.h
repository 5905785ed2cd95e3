#pragma once
// The Player turns the Song into sound-register writes, once per video frame, the way a NES
// sound driver would, and feeds the software PCM voice of the DPCM channel once per scanline.
// It never produces samples; the Apu it drives does.
//
// Threads: frameTick and scanlineTick run on the audio thread (or on the thread of an offline
// run while nothing else plays). The main thread only sets the request flags and calls start,
// reset, startNote, previewSample and releasePreview under the audio lock. Register writes that
// must come from the audio thread are made when it serves the requests, at its next scanline.

#include <atomic>
#include <cstdint>

#include "apu/CpuClock.h"
#include "base/Require.h"
#include "player/ChannelState.h"
#include "player/PitchTables.h"
#include "song/Song.h"

class Apu;

// Receives the driver commands the player reports in captureMode (the export's recorder).
class DriverCommandSink {
  public:
    virtual ~DriverCommandSink() = default;
    // channel 0-4; code a DriverCode (player/DriverCode.h): DRV_NOTE, DRV_INSTRUMENT,
    // DRV_VOLUME, DRV_DUTY, DRV_NOTE_CUT and the effects DRV_ARPEGGIO_ON to DRV_DUTY_RELEASE, and
    // on channel 4 also DRV_DPCM_PLAY, DRV_DPCM_RATE and DRV_DPCM_EFFECT (EEy); argument 0-255,
    // or -1 when the command has none.
    // DRV_DPCM_RATE is reported at every DPCM sample start; dropping repeats of the same byte is the
    // recorder's business, since it also forgets the last byte at each captured stretch.
    virtual void recordDriverCommand(int channel, int code, int argument) = 0;
};

// Sees every register write of the player, in order (the per-frame register trace).
class RegisterTraceSink {
  public:
    virtual ~RegisterTraceSink() = default;
    virtual void registerWritten(uint16_t address, uint8_t value) = 0;
};

// The software PCM voice of the DPCM channel: raw PCM samples and the pulse and saw waves.
struct PcmVoice {
    int pcmInstrument = 0;  // the "PCM" instrument playing, 0 = none
    double position = 0.0;  // read position in its sample, bytes
    bool holding = false;   // a looping sample reached its end and waits for the next frame
    uint16_t phase = 0;
    uint16_t step = 0;  // phase increment per wave update
    int amplitude = 0;  // 0-125 DMC levels
    int threshold = 0;  // pulse is high while phase >> 8 is below it
    bool saw = false;
    bool toggle = false;  // the wave is updated on every second scanline
};

// The row clock: every frame adds ceil(tempo x 256 / speed), and a row ends when the sum
// reaches the threshold. At 125 x 256 a row of tempo 125 lasts `speed` frames on PAL, the
// tracker convention. Frames are 312 scanlines on both systems, so they come faster on NTSC by
// the clock ratio; its threshold is raised by the same ratio (rounded) to keep the tempo.
constexpr int PAL_ROW_THRESHOLD = 125 * 256;
constexpr int NTSC_ROW_THRESHOLD = int(PAL_ROW_THRESHOLD * NTSC_PER_PAL_CYCLE + 0.5);
static_assert(NTSC_ROW_THRESHOLD == 34448);
constexpr int SCANLINES_PER_FRAME = 312;

class Player {
  public:
    // Installs readSampleMemory as the Apu's sample reader. Both must outlive the Player.
    Player(Song& song, Apu& apu);
    // Gives the Apu back its default sample reader.
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // --- Control (main thread, under the audio lock) ---

    // Rebuilds the period and vibrato tables for the song's TV system, raises resetRequest,
    // clears the five channel states and the pending jump and break, and zeroes the row clock.
    // Position, speed, tempo and the playing flag are left alone.
    void reset();
    // Starts playback from currentOrder/currentRow (set by the caller): keeps each channel's
    // echo settings and glissando mode across the reset, then plays the order list, or loops
    // the current pattern when patternMode is true.
    void start(bool patternMode);
    // Asks the audio thread to stop and silence the channels at its next scanline.
    void requestStop() { stopRequest = true; }
    // Asks the next idle frame to sound a "PCM" or "DPCM" instrument (note = DMC rate for DPCM).
    void previewSample(int instrument, int note);
    // Silences a previewed note (volume 0) on channel 0-4; other values are ignored.
    void releasePreview(int channel);
    // Starts the cell's note and instrument on the channel. Returns true when something started
    // whose envelopes were restarted. Channels outside 0-4 start nothing.
    bool startNote(int channel, const PatternCell& cell);

    // --- Audio thread ---

    // Once per frame: rows, effects, envelopes, channel writes and the metronome while playing;
    // channel writes, envelopes and sample preview while stopped.
    void frameTick();
    // Once per scanline: serves the main thread's requests, then writes the software PCM voice.
    // Does nothing in captureMode.
    void scanlineTick() {
        if (captureMode) return;
        // Most scanlines find nothing asked: a plain look at the flags, no call.
        if (requestPending()) serveRequests();
        // While a DPCM sample plays and no PCM one, the voice has nothing to do.
        if (pcm.pcmInstrument != 0 || !sampleMemory) servePcmVoice();
    }
    // The request part of scanlineTick alone (used before an offline run's first frame).
    void serveRequests();

    // --- Parts of the frame, public for the exporters and tests ---

    void processRow(int channel);
    void stepEnvelopes(int channel);
    void writeChannels();
    // The effect step of the frames after a row's first, for all five channels.
    void frameEffects();
    // Starts the DPCM or PCM sample of the current row's DPCM-channel cell, or stops it.
    void dpcmRowStep();
    // Every register write goes through here: to the Apu and then to the trace, if one is set.
    // In captureMode it does nothing at all: captures read the driver commands and the snapshot.
    void writeApu(uint16_t address, uint8_t value);
    // Reports a driver command of channel 0-4 to the sink, only in captureMode. argument 0-255,
    // or -1 for none.
    void recordDriverCommand(int channel, int code, int argument = -1);

    // The Apu's sample reader (the constructor installs it): byte (address - $C000) of the DPCM
    // sample being played, 0x55 outside it or when none plays. context is the Player.
    static uint8_t readSampleMemory(void* context, uint16_t address);

    // Pitch sum in 1/256 semitone (slides, vibrato, fine-tune, Note envelope, arpeggio).
    int32_t pitchSum(const ChannelState& ch) const;
    // Hardware timer period for a pitch sum, interpolated between table entries.
    int32_t periodForPitch(int32_t pitch) const;
    // Volume nibble 0-15 written for pulses, triangle and noise.
    static int effectiveLevel(const ChannelState& ch);

    // --- State ---

    Song& song;
    Apu& apu;
    long sampleRate = 44100;  // output rate handed to Apu::configure on a TV-system change

    bool playing = false;
    bool patternMode = false;
    bool captureMode = false;
    int currentOrder = 0;
    int currentRow = 0;
    int frameInRow = 0;
    int tempoAccumulator = 0;
    int pendingOrderJump = -1;
    int pendingRowBreak = -1;
    bool endOfSongFlag = false;
    bool loopRequested = false;  // set by effect EEy, read by the sound-effect capture
    ChannelState channels[CHANNEL_COUNT] = {};
    int channelMask = 31;  // bit c = channel c audible; bit 4 also gates all DMC output

    // The pattern editor's repeat block: rows between the two marks repeat while it is on.
    bool repeatBlockOn = false;
    int repeatMarkA = 0;
    int repeatMarkB = 63;
    // The editor's cursor follows playback by reading currentOrder and currentRow on the main
    // thread under the audio lock; the audio thread never writes editor state.

    bool metronomeOn = false;
    bool clickActive = false;
    int clickStep = 0;
    int clickPeriod = 0;
    int lastMetronomeRow = -1;

    std::atomic<bool> stopRequest{false};
    std::atomic<bool> resetRequest{false};
    std::atomic<bool> reconfigureRequest{false};
    std::atomic<bool> maskChanged{false};
    std::atomic<int> samplePreviewRequest{0};
    std::atomic<int> samplePreviewNote{0};

    PcmVoice pcm;
    FrameSnapshot snapshot = {};
    // The DMC sample memory mapped at $C000: the DPCM sample slot of the instrument being
    // played (read live, never copied), or none.
    const DpcmSample* sampleMemory = nullptr;

    int32_t periodTable[PERIOD_TABLE_SIZE] = {};
    int32_t vibratoTable[16][16] = {};

    DriverCommandSink* commandSink = nullptr;  // reports go nowhere when none
    RegisterTraceSink* traceSink = nullptr;

  private:
    bool requestPending() const {
        return reconfigureRequest.load(std::memory_order_relaxed) | maskChanged.load(std::memory_order_relaxed) |
               resetRequest.load(std::memory_order_relaxed) | stopRequest.load(std::memory_order_relaxed);
    }
    void idleTick();
    void advanceRow();
    void runMetronome();
    void servePcmVoice();
    void updatePcmParameters();
    // Channel CH_PULSE1 or CH_PULSE2.
    void writePulsePeriod(int channel, int32_t period);
    void startDpcmSample(int instrument, int rate);
    void startPcmSample(int instrument);
    void releaseSampleMemory() { sampleMemory = nullptr; }
    void frameEffect(int channel);
    // One frame's step of continuous effect 1-7 or A (others do nothing) on channel 0-4. On a row's first
    // frame the combined effects 5 and 6 only slide the volume; their portamento or vibrato waits for the
    // next frame.
    void continuousEffectStep(int channel, int effect, bool rowFrame);
    void arpeggioStep(ChannelState& ch, int parameter);
    void portamentoStep(int channel);
    static void volumeSlideStep(ChannelState& ch);
    void reportEffects(int channel, const PatternCell& cell);
    // Reports a running effect: `code` with `argument` when it is on and reportable and it was
    // not active or its `key` differs from the one `reported`; `offCode` when it goes off while
    // active. An effect on but not reportable (no speed or depth) reports nothing.
    void reportEffect(int channel, bool on, bool reportable, int key, int code, int argument, int offCode,
                      bool& active, int32_t& reported);
    void reportDuty(int channel);
    const PatternCell& currentCell(int channel) const;
    const Instrument& instrumentOf(const ChannelState& ch) const { return song.instruments[ch.instrument]; }
    int rowThreshold() const { return song.ntsc ? NTSC_ROW_THRESHOLD : PAL_ROW_THRESHOLD; }
};

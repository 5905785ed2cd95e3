#pragma once
// The emulated sound hardware: the 2A03's two pulses, triangle, noise and DMC with its frame
// sequencer, plus the VRC6 expansion sound, rendering into a Nonlinear_Buffer.
//
// Time is counted in CPU cycles. The caller advances it in scanline steps of 106 or 107 cycles
// (the pattern 1,0,1,0,1,1,0,1,0,1,1,0,1,0,1,0 added to 106, so 16 steps are 1705 cycles and a
// 312-step player frame is 33247.5 cycles). Register writes inside a step land 4 cycles apart
// from its start. The 2A03 always follows PAL timing rules (frame sequencer, DMC rates); only the
// clock rate given to the output buffer depends on the TV system.
//
// Channels whose output does not depend on how time is cut (pulses, triangle, sounding noise,
// an idle DMC, VRC6) render lazily: only when a write or a sequencer clock changes them, and when
// samples are read (the Apu installs itself as the output's render hook). A playing DMC and a
// muted noise channel render at every step end and write, as their results depend on it (the
// DMC reads sample memory, which its owner may change between steps). The timer state of a lazy channel (phase,
// shift register, delay) may therefore lag behind; catchUp() brings it up to date.
//
// Not thread-safe: every call must come from the audio thread, or while the audio device is
// locked or paused.

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "apu/ApuChannels.h"
#include "apu/CpuClock.h"
#include "apu/Nonlinear_Buffer.h"
#include "apu/Vrc6Sound.h"

class Apu {
  public:
    static constexpr long kNtscClock = NTSC_CPU_CLOCK;  // Hz, rounded (see apu/CpuClock.h)
    static constexpr long kPalClock = PAL_CPU_CLOCK;    // Hz
    static constexpr int kStepBase = 106;        // cycles per scanline step before the pattern
    static constexpr int kFramePeriodPal = 8314;
    static constexpr int kFramePeriodNtsc = 7458;

    // Builds the channels (none rendered yet), a sample reader that answers 0x55, and resets the
    // 2A03 part (PAL) and the VRC6. `output` must outlive the Apu.
    explicit Apu(Nonlinear_Buffer& output);
    ~Apu();
    Apu(const Apu&) = delete;
    Apu& operator=(const Apu&) = delete;

    // (Re)starts the output for a TV system and an output rate in Hz: sets the buffer's clock
    // (1789773 Hz NTSC, 1662607 Hz PAL) and sample rate (largest capacity), clears it, enables
    // the non-linear mixer, sets the channel volumes and routes the channels. Samples not yet
    // read are discarded; channel state is kept. Returns nullptr, or "Out of memory".
    const char* configure(bool ntsc, long sampleRate);

    // Writes `value` to the register at CPU address `address`, 4 cycles after the previous write
    // of this step. $4000-$4017: 2A03; $9000-$9002, $A000-$A002, $B000-$B002: VRC6 (address bits
    // 12-15 pick the oscillator, bits 0-1 the register). Anything else only advances the clock.
    void writeRegister(std::uint16_t address, std::uint8_t value);

    // Ends the current scanline step (106 or 107 cycles), renders it and hands it to the output
    // buffer with endFrame. Writes that ran past the end carry into the next step.
    void endScanline();

    // Renders every channel up to where it counts as run. Reading samples from the output does
    // this first by itself; call it before inspecting the timer state of a channel.
    void catchUp();

    // Installs the DMC's byte source; `context` is passed back on every call. A null reader
    // restores the default, which answers 0x55.
    void setSampleReader(SampleReader reader, void* context);

    // Cycles of the step that endScanline would close now.
    int currentStepLength() const { return kStepBase + kStepPattern[stepIndex_]; }
    // CPU cycles ended by endScanline since construction.
    std::uint64_t cyclesElapsed() const { return cyclesElapsed_; }

    Nonlinear_Buffer& output() { return output_; }

    // Channel state, readable by tests and tools.
    PulseChannel pulse1, pulse2;
    TriangleChannel triangle;
    NoiseChannel noise;
    DmcChannel dmc;
    Vrc6Sound vrc6;
    BandLimitedSynth pulseSynth{12};  // shared by both 2A03 pulses

    int channelEnables() const { return channelEnables_; }
    // Clears channel-enable bit 4 when a sample without loop runs out.
    void dmcFinished() { channelEnables_ &= ~0x10; }
    // IRQ bookkeeping (nothing consumes it): cycles from the start of the current step until the
    // earliest pending IRQ (0 when one is flagged), or DmcChannel::kNoTime.
    int earliestIrq() const { return earliestIrq_ == kNone ? kNone : std::max(0, earliestIrq_ - stepStart_); }

  private:
    static constexpr int kStepPattern[16] = {1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0};
    static constexpr int kNone = DmcChannel::kNoTime;

    // Times below (and the due/lastRun times and IRQ times of the channels) count CPU cycles
    // from a base that only moves when everything has been rendered, so that ending a step need
    // not touch every channel. stepStart_ is where the current step begins on that base; the
    // channels render and the buffers take steps relative to it. The VRC6 keeps its own times
    // relative to the current step.
    Nonlinear_Buffer& output_;
    int stepIndex_ = 0;
    int stepStart_ = 0;
    int writeClock_ = 0;  // relative to the current step
    int lastTime_ = 0;    // frame-sequencer position; no channel counts as run less far
    int allDue_ = 0;      // every 2A03 channel counts as run at least this far
    int framePeriod_ = kFramePeriodPal;
    int frameDelay_ = 1;
    int frameStep_ = 0;
    int frameMode_ = 0;
    int channelEnables_ = 0;
    bool frameIrqFlag_ = false;
    int frameIrq_ = kNone;
    int earliestIrq_ = kNone;
    bool pal_ = true;
    std::uint64_t cyclesElapsed_ = 0;

    // Step ends after which everything is rendered and the time base moved even if nobody
    // reads: keeps times far from overflow whatever the output rate.
    static constexpr int kMaxLazySteps = 4096;
    // Step ends that may still pass before catching up: no more than kMaxLazySteps, and few
    // enough that the buffers cannot run full meanwhile (lagging channels place their steps
    // relative to the buffers' write position, which stops moving when they are full).
    int stepsBeforeCatchUp_ = 0;
    void planCatchUp();

    std::array<ApuChannel*, 5> channels() { return {&pulse1, &pulse2, &triangle, &noise, &dmc}; }
    void reset2A03(bool pal);
    int dueOf(const ApuChannel& channel) const { return std::max(channel.due, allDue_); }
    // Counts every 2A03 channel as run, and runs the frame sequencer, up to `time`.
    void runUntil(int time) {
        if (time <= lastTime_) return;  // writes already carried emulation past this point
        if (time - lastTime_ > frameDelay_) {
            runSequencerUntil(time);
            return;
        }
        frameDelay_ -= time - lastTime_;
        lastTime_ = time;
        advanceChannels(time);
    }
    void runSequencerUntil(int time);
    void advanceChannels(int time) {
        if (time > allDue_) allDue_ = time;
        renderEagerChannels();
    }
    // Counts one channel (and the noise) as run up to `time` for a write to its own registers.
    // Falls back to a full run when a frame-sequencer clock lies before `time`.
    void runChannelUntil(ApuChannel& channel, int time);
    // The noise and the DMC render at every point they count as run up to while their output
    // depends on it: the muted noise always, the DMC while it plays a sample. An idle DMC (no
    // bits left, nothing fetched) only counts its timer down and holds its level, which only a
    // register write changes, and those render it first.
    void renderEagerChannels() {
        if (noiseMuted_) renderMutedNoise();
        if (!dmcIdle()) render(dmc);
    }
    bool dmcIdle() const { return dmc.silence && dmc.bufferEmpty; }
    // noise.muted(), kept up to date by everything that changes it: noise register writes,
    // $4015, sequencer clocks and configure. noiseQuiet_: its volume is 0 as well.
    bool noiseMuted_ = true;
    bool noiseQuiet_ = true;
    void updateNoiseMuted() {
        noiseMuted_ = noise.muted();
        noiseQuiet_ = noise.volume() == 0;
    }
    // render(noise) for the muted noise, which renders at every step end and write: while
    // nothing changed it since its last run and its volume is 0, a run only moves the timer on
    // and turns the register once when a period ends inside it, done here in line.
    void renderMutedNoise() {
        const int due = dueOf(noise);
        if (due <= noise.lastRun) return;
        if (noise.dirty || !noiseQuiet_) {
            render(noise);
            return;
        }
        noise.runQuiet(noise.lastRun, due);
        noise.lastRun = due;
    }
    template <class Channel>
    void render(Channel& channel);
    // Renders the pulses, the triangle and the noise up to where they count as run (before
    // anything changes all of them at once).
    void renderLazyChannels();
    static void renderHook(void* apu) { static_cast<Apu*>(apu)->catchUp(); }
    void clockFrameSequencer(int time);
    void write2A03(int time, int address, int value);
    void recalcIrq();
    friend struct DmcChannel;
};

// The program's DMC byte source: `context` points to the DPCM sample image (a
// std::vector<std::uint8_t> whose byte 0 sits at $C000), or is null when there is none. Answers
// image[address - $C000], or 0x55 below $C000, at or beyond the image end, or without an image.
std::uint8_t readSampleMemory(void* context, std::uint16_t address);

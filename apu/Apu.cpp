#include "apu/Apu.h"

#include <algorithm>

#include "apu/ApuRegisters.h"

namespace {
// Length counter loads, indexed by bits 3-7 of a channel's fourth register.
constexpr std::uint8_t kLengthTable[32] = {10, 254, 20, 2,  40, 4,  80, 6,  160, 8,  60, 10, 14, 12, 26, 14,
                                           12, 16,  24, 18, 48, 20, 96, 22, 192, 24, 72, 26, 16, 28, 32, 30};

std::uint8_t openBus(void*, std::uint16_t) { return 0x55; }

// Level-step sizes of each synthesiser as a fraction of full scale. Triangle, noise and DMC are
// 3, 2 and 1 times 0.36/202 so that their weighted sum (0..202) spans the mixer table.
constexpr double kPulseUnit = 0.11272086207720806 / 15;
constexpr double kTriangleUnit = 0.005346534653465346;
constexpr double kNoiseUnit = 0.003564356435643564;
constexpr double kDmcUnit = 0.001782178217821782;
constexpr double kVrc6PulseUnit = 0.0064466666666666665;
constexpr double kVrc6SawUnit = 0.006238709677419354;
}  // namespace

template <class Channel>
void Apu::render(Channel& channel) {
    const int due = dueOf(channel);
    if (due > channel.lastRun) {
        const int start = channel.lastRun - stepStart_, end = due - stepStart_;
        if (!channel.idleThrough(start, end)) channel.run(start, end);
        channel.lastRun = due;
    }
}

Apu::Apu(Nonlinear_Buffer& output) : output_(output) {
    pulse1.synth = &pulseSynth;
    pulse2.synth = &pulseSynth;
    dmc.apu = this;
    dmc.reader = openBus;
    dmc.readerContext = nullptr;
    reset2A03(true);
    vrc6.reset();
    output_.setRenderHook(&Apu::renderHook, this);
}

Apu::~Apu() { output_.setRenderHook(nullptr, nullptr); }

void Apu::renderLazyChannels() {
    render(pulse1);
    render(pulse2);
    render(triangle);
    render(noise);
}

void Apu::catchUp() {
    renderLazyChannels();
    render(dmc);
    vrc6.catchUp();

    // Everything is rendered: move the time base to the current step start.
    const int shift = stepStart_;
    stepStart_ = 0;
    lastTime_ -= shift;
    for (ApuChannel* c : channels()) {
        // A channel nobody writes keeps an old due time that allDue_ stands in for; raising it
        // to allDue_ changes nothing it plays and keeps it from drifting down without bound
        // (past the int range after some twenty minutes of emulated time).
        c->due = std::max(c->due, allDue_) - shift;
        c->lastRun -= shift;
    }
    allDue_ -= shift;
    if (frameIrq_ != kNone) frameIrq_ -= shift;
    if (dmc.nextIrq != kNone) dmc.nextIrq -= shift;
    if (earliestIrq_ != kNone) earliestIrq_ = std::max(0, earliestIrq_ - shift);
    planCatchUp();
}

void Apu::planCatchUp() {
    long long steps = kMaxLazySteps;
    for (const BandLimitedBuffer* b : {&output_.linear, &output_.nonlinear}) {
        const long long room = (static_cast<long long>(b->size()) << 16) - b->offset();
        const long long perStep = static_cast<long long>(b->factor()) * (kStepBase + 1);
        steps = std::min(steps, room > 0 && perStep > 0 ? room / perStep : 0);
    }
    stepsBeforeCatchUp_ = static_cast<int>(steps);
}

void Apu::setSampleReader(SampleReader reader, void* context) {
    dmc.reader = reader ? reader : openBus;
    dmc.readerContext = reader ? context : nullptr;
}

void Apu::reset2A03(bool pal) {
    pal_ = pal;
    dmc.pal = pal;
    framePeriod_ = pal ? kFramePeriodPal : kFramePeriodNtsc;
    pulse1.reset();
    pulse2.reset();
    triangle.reset();
    noise.reset();
    dmc.reset();
    stepStart_ = 0;
    lastTime_ = 0;
    allDue_ = 0;
    channelEnables_ = 0;
    frameIrqFlag_ = false;
    frameIrq_ = kNone;
    earliestIrq_ = kNone;
    frameDelay_ = 1;
    frameStep_ = 0;
    frameMode_ = 0;

    write2A03(0, APU_FRAME_COUNTER, 0x00);
    write2A03(0, APU_STATUS, 0x00);
    for (int address = APU_FIRST; address <= APU_CHANNEL_LAST; ++address)
        write2A03(0, address, (address & 3) == 0 ? CONTROL_CONSTANT_VOLUME : 0x00);
    dmc.dac = 0;
    dmc.lastAmplitude = 0;
}

const char* Apu::configure(bool ntsc, long sampleRate) {
    catchUp();  // into the old buffers, with the old clock
    vrc6.setOutput(output_.buffersForChannel(5).centre);
    output_.setClockRate(ntsc ? kNtscClock : kPalClock);
    const char* error = output_.setSampleRate(sampleRate, 0);
    output_.clear();
    output_.enableNonlinear(true);

    pulseSynth.setVolumeUnit(kPulseUnit);
    triangle.synth.setVolumeUnit(kTriangleUnit);
    noise.synth.setVolumeUnit(kNoiseUnit);
    dmc.synth.setVolumeUnit(kDmcUnit);
    vrc6.pulseSynth.setVolumeUnit(kVrc6PulseUnit);
    vrc6.sawSynth.setVolumeUnit(kVrc6SawUnit);
    for (ApuChannel* c : channels()) {
        c->lastAmplitude = 0;
        c->dirty = true;
    }

    pulse1.output = output_.buffersForChannel(0).centre;
    pulse2.output = output_.buffersForChannel(1).centre;
    triangle.output = output_.buffersForChannel(2).centre;
    noise.output = output_.buffersForChannel(3).centre;
    dmc.output = output_.buffersForChannel(4).centre;
    updateNoiseMuted();
    planCatchUp();
    return error;
}

void Apu::writeRegister(std::uint16_t address, std::uint8_t value) {
    writeClock_ += 4;
    if (address >= 0x8000) {
        const int osc = (address >> 12) - 9;
        const int reg = address & 3;
        if (osc >= 0 && osc < Vrc6Sound::kOscCount && reg < 3)
            vrc6.writeOsc(writeClock_, osc, reg, value);
        else
            vrc6.advance(writeClock_);
    } else if (address >= APU_FIRST && address <= APU_LAST) {
        write2A03(stepStart_ + writeClock_, address, value);
    }
}

void Apu::endScanline() {
    const int length = currentStepLength();
    stepIndex_ = (stepIndex_ + 1) & 15;
    writeClock_ = 0;

    runUntil(stepStart_ + length);
    vrc6.advance(length);
    if (stepsBeforeCatchUp_ <= 0) catchUp();
    --stepsBeforeCatchUp_;

    stepStart_ += length;
    vrc6.endFrame(length);
    output_.endFrame(length);
    cyclesElapsed_ += static_cast<std::uint64_t>(length);
}

void Apu::runSequencerUntil(int time) {
    for (;;) {
        const int t = std::min(lastTime_ + frameDelay_, time);
        frameDelay_ = lastTime_ + frameDelay_ - t;
        advanceChannels(t);
        lastTime_ = t;
        if (t == time) break;
        clockFrameSequencer(t);
    }
}

void Apu::runChannelUntil(ApuChannel& channel, int time) {
    // Channels only depend on each other through the frame sequencer, so a write to one channel
    // moves only that channel on, as long as no sequencer clock comes first. The noise goes
    // along: while muted it turns its shift register once per run, so it must see every write to
    // keep the same sequence.
    if (lastTime_ + frameDelay_ < time) {
        runUntil(time);
    } else {
        if (time > channel.due) channel.due = time;
        if (time > noise.due) noise.due = time;
        renderEagerChannels();
    }
}

void Apu::clockFrameSequencer(int time) {
    renderLazyChannels();
    frameDelay_ = framePeriod_;
    switch (frameStep_++) {
        case 0:
            if (!(frameMode_ & (FRAME_FIVE_STEP | FRAME_IRQ_INHIBIT))) {
                frameIrq_ = time + framePeriod_ * 4 + 1;
                frameIrqFlag_ = true;
            }
            [[fallthrough]];
        case 2:
            pulse1.clockLength(CONTROL_LENGTH_HALT);
            pulse2.clockLength(CONTROL_LENGTH_HALT);
            noise.clockLength(CONTROL_LENGTH_HALT);
            triangle.clockLength(TRIANGLE_CONTROL);
            // Pulse 1 negates in ones' complement, pulse 2 in two's complement.
            pulse1.clockSweep(-1);
            pulse2.clockSweep(0);
            break;
        case 1:
            frameDelay_ -= 2;
            break;
        case 3:
            frameStep_ = 0;
            if (frameMode_ & FRAME_FIVE_STEP) frameDelay_ = framePeriod_ * 2 - 6;  // five-step mode
            break;
        default:
            frameStep_ = 0;
            break;
    }
    triangle.clockLinearCounter();
    pulse1.clockEnvelope();
    pulse2.clockEnvelope();
    noise.clockEnvelope();
    pulse1.dirty = pulse2.dirty = triangle.dirty = noise.dirty = true;
    updateNoiseMuted();
}

void Apu::recalcIrq() {
    if (frameIrqFlag_ || dmc.irqFlag)
        earliestIrq_ = stepStart_;  // now
    else
        earliestIrq_ = std::min(frameIrq_, dmc.nextIrq);
}

void Apu::write2A03(int time, int address, int value) {
    if (address <= APU_CHANNEL_LAST) {
        const int index = (address - APU_FIRST) >> 2;
        const int reg = address & 3;
        ApuChannel& channel = *channels()[index];
        // Writes carried past the step end by a long burst take effect where emulation is.
        time = std::max(time, dueOf(channel));
        runChannelUntil(channel, time);
        switch (index) {
            case 0:
                render(pulse1);
                break;
            case 1:
                render(pulse2);
                break;
            case 2:
                render(triangle);
                break;
            case 3:
                render(noise);
                break;
            default:
                render(dmc);  // already there unless idle
                break;
        }
        channel.regs[reg] = static_cast<std::uint8_t>(value);
        channel.regWritten[reg] = true;
        channel.dirty = true;
        if (index == 4) {
            dmc.writeRegister(reg, value);
        } else if (reg == 3) {
            // A disabled channel ignores length loads.
            if (channelEnables_ & (1 << index)) channel.lengthCounter = kLengthTable[(value >> 3) & 31];
            if (index < 2) static_cast<PulseChannel&>(channel).phase = 7;
        }
        if (index == 3) updateNoiseMuted();
        return;
    }

    // Status and frame-counter writes touch every channel: bring them all up to date.
    time = std::max({time, dueOf(pulse1), dueOf(pulse2), dueOf(triangle), dueOf(noise), dueOf(dmc)});
    runUntil(time);
    if (address == APU_STATUS) {
        renderLazyChannels();
        render(dmc);
        const auto all = channels();
        for (int i = 0; i < 5; ++i) {
            if (!(value & (1 << i))) all[i]->lengthCounter = 0;
            all[i]->dirty = true;
        }
        updateNoiseMuted();
        const bool dmcIrqWasSet = dmc.irqFlag;
        dmc.irqFlag = false;
        const int previous = channelEnables_;
        channelEnables_ = value;
        if (!(value & STATUS_DMC)) {
            dmc.nextIrq = kNone;
            recalcIrq();
        } else if (!(previous & STATUS_DMC)) {
            dmc.start();
        }
        if (dmcIrqWasSet) recalcIrq();
    } else if (address == APU_FRAME_COUNTER) {
        frameDelay_ &= 1;
        if (value & FRAME_IRQ_INHIBIT) frameIrqFlag_ = false;
        frameMode_ = value;
        frameIrq_ = kNone;
        frameStep_ = 0;
        if (!(value & FRAME_FIVE_STEP)) {
            frameStep_ = 1;
            frameDelay_ += framePeriod_;
            if (!(value & FRAME_IRQ_INHIBIT)) frameIrq_ = time + frameDelay_ + framePeriod_ * 3;
        }
        recalcIrq();
    }
}

std::uint8_t readSampleMemory(void* context, std::uint16_t address) {
    const auto* image = static_cast<const std::vector<std::uint8_t>*>(context);
    if (!image || address < 0xC000) return 0x55;
    const std::size_t offset = address - 0xC000u;
    return offset < image->size() ? (*image)[offset] : 0x55;
}

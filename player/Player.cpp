// The frame loop: row clock, order walk, requests from the main thread, metronome.

#include "player/Player.h"

#include <algorithm>
#include <cmath>

#include "apu/Apu.h"
#include "apu/ApuRegisters.h"
#include "apu/CpuClock.h"

namespace {

constexpr int METRONOME_VOLUME[6] = {15, 15, 12, 9, 3, 0};

// Clears a request flag and says whether it was set. The plain load first keeps the common case
// (nothing asked) free of a locked read-modify-write on every scanline.
bool takeRequest(std::atomic<bool>& flag) {
    return flag.load(std::memory_order_relaxed) && flag.exchange(false, std::memory_order_acquire);
}

}  // namespace

Player::Player(Song& s, Apu& a) : song(s), apu(a) {
    buildPeriodTable(song.ntsc, periodTable);
    buildVibratoTable(vibratoTable);
    snapshot.fill(0);
    apu.setSampleReader(&Player::readSampleMemory, this);
}

Player::~Player() { apu.setSampleReader(nullptr, nullptr); }

void Player::reset() {
    buildPeriodTable(song.ntsc, periodTable);
    resetRequest = true;
    for (ChannelState& ch : channels) {
        ch = ChannelState{};
        ch.lastPeriod = -1;
        ch.dutyOverride = -1;
        ch.glissandoMask = 0xFF;
        ch.noteCut = 0;
        ch.lastReportedDuty = -1;
        // A silent pulse register value, except one slot, as the echo history starts out.
        for (int i = 0; i < HISTORY_LENGTH; ++i) ch.registerHistory[i] = i == 4 ? 0 : 0x30;
    }
    pendingOrderJump = -1;
    pendingRowBreak = -1;
    tempoAccumulator = 0;
    buildVibratoTable(vibratoTable);
}

void Player::start(bool patternModeOn) {
    int delay[CHANNEL_COUNT], decay[CHANNEL_COUNT], glissando[CHANNEL_COUNT];
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        delay[c] = channels[c].echoDelay;
        decay[c] = channels[c].echoDecay;
        glissando[c] = channels[c].glissandoMask;
    }
    reset();
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        channels[c].echoDelay = delay[c];
        channels[c].echoDecay = decay[c];
        channels[c].glissandoMask = glissando[c];
    }
    patternMode = patternModeOn;
    playing = true;
}

void Player::previewSample(int instrument, int note) {
    if (instrument < 0 || instrument >= INSTRUMENT_SLOTS) return;
    samplePreviewNote = note;
    samplePreviewRequest = instrument;
}

void Player::releasePreview(int channel) {
    if (channel >= 0 && channel < CHANNEL_COUNT) channels[channel].volume = 0;
}

const PatternCell& Player::currentCell(int channel) const {
    int count = std::clamp<int>(song.orders.count, 1, MAX_ORDERS);
    int order = std::clamp(currentOrder, 0, count - 1);
    int pattern = std::clamp<int>(song.orders.entries[order], 0, MAX_PATTERNS - 1);
    int row = std::clamp(currentRow, 0, ROWS_PER_PATTERN - 1);
    return song.patterns[pattern].at(channel, row);
}

void Player::writeApu(uint16_t address, uint8_t value) {
    if (captureMode) return;
    apu.writeRegister(address, value);
    if (traceSink) traceSink->registerWritten(address, value);
}

void Player::recordDriverCommand(int channel, int code, int argument) {
    BF_REQUIRE(channel >= 0 && channel < CHANNEL_COUNT);
    BF_REQUIRE(argument >= -1 && argument <= 255);
    if (captureMode && commandSink) commandSink->recordDriverCommand(channel, code, argument);
}

uint8_t Player::readSampleMemory(void* context, uint16_t address) {
    const auto* player = static_cast<const Player*>(context);
    const DpcmSample* sample = player ? player->sampleMemory : nullptr;
    if (!sample || !sample->data || address < 0xC000) return DMC_PAST_END;
    uint32_t offset = address - 0xC000u;
    return offset < sample->size ? sample->data[offset] : DMC_PAST_END;
}

void Player::frameTick() {
    if (!playing) {
        idleTick();
        return;
    }
    if (pcm.holding) {  // a looping PCM sample restarts on the frame after its end
        pcm.holding = false;
        pcm.position = 0.0;
    }
    if (frameInRow == 0) {
        for (int c = 0; c < CHANNEL_COUNT; ++c) processRow(c);
        dpcmRowStep();
        if (song.speed == 0) endOfSongFlag = true;
    } else {
        frameEffects();
    }
    writeChannels();
    runMetronome();
    ++frameInRow;
    if (song.speed > 0) tempoAccumulator += int(std::ceil(song.tempo * 256.0 / song.speed));
    advanceRow();
}

void Player::advanceRow() {
    const int lo = std::min(repeatMarkA, repeatMarkB);
    const int hi = std::max(repeatMarkA, repeatMarkB);
    const bool atBlockEnd = repeatBlockOn && currentRow == hi;
    const bool hold = patternMode || repeatBlockOn;
    const int threshold = rowThreshold();
    const int orderCount = std::clamp<int>(song.orders.count, 1, MAX_ORDERS);
    if (tempoAccumulator < threshold) return;

    tempoAccumulator -= threshold;
    frameInRow = 0;
    bool restart = true;  // false for a plain step to the next row of the same pattern
    if (pendingRowBreak != -1) {
        if (!hold) {
            if (orderCount == 1 && (currentRow == 0 || currentRow == pendingRowBreak)) endOfSongFlag = true;
            if (++currentOrder >= orderCount) currentOrder = 0;
        }
        currentRow = pendingRowBreak > 63 ? 0 : pendingRowBreak;
        pendingRowBreak = -1;
    } else if (pendingOrderJump != -1) {
        if (!hold) {
            if (currentRow == 0 && currentOrder == pendingOrderJump) endOfSongFlag = true;
            currentOrder = pendingOrderJump >= orderCount ? orderCount - 1 : pendingOrderJump;
        }
        currentRow = 0;
        pendingOrderJump = -1;
    } else {
        if (!atBlockEnd) {
            ++currentRow;
            restart = currentRow >= ROWS_PER_PATTERN;
        }
        if (restart) {
            if (!hold && ++currentOrder >= orderCount) currentOrder = 0;
            currentRow = atBlockEnd ? lo : 0;
        }
    }
    if (restart) {
        // A break, a jump or the end of a pattern or block restarts the row clock and the
        // continuous pitch effects.
        tempoAccumulator = 0;
        for (ChannelState& ch : channels) {
            ch.vibPos = 0;
            ch.arpeggioStep = 0;
        }
    }
}

void Player::runMetronome() {
    if (!metronomeOn) clickActive = false;
    if (!clickActive) {
        writeApu(VRC6_PULSE1_CONTROL, 0x00);
    } else {
        int period = clickPeriod;
        // The VRC6 counts CPU cycles: the faster NTSC clock needs a longer period for the
        // same click.
        if (song.ntsc) period = int(period / PAL_PER_NTSC_CYCLE);
        writeApu(VRC6_PULSE1_CONTROL, uint8_t(METRONOME_VOLUME[clickStep] | VRC6_DUTY_HALF));
        writeApu(VRC6_PULSE1_PERIOD_LOW, uint8_t(period & 0xFF));
        writeApu(VRC6_PULSE1_PERIOD_HIGH, uint8_t((period >> 8) | VRC6_ENABLE));
        if (++clickStep >= 6) clickActive = false;
    }
    if (currentRow != lastMetronomeRow) {
        lastMetronomeRow = currentRow;
        // A click on every beat (4 rows); the first beat of each 16-row bar an octave higher.
        if (currentRow % 4 == 0) {
            clickPeriod = currentRow % 16 == 0 ? 105 : 210;
            clickActive = true;
            clickStep = 0;
        }
    }
}

void Player::idleTick() {
    writeChannels();
    for (int c = 0; c < CHANNEL_COUNT; ++c) stepEnvelopes(c);
    int instrument = samplePreviewRequest.exchange(0);
    if (instrument <= 0 || instrument >= INSTRUMENT_SLOTS) return;
    const Instrument& inst = song.instruments[instrument];
    if (inst.type == INST_PCM) {
        startPcmSample(instrument);
    } else if (inst.type == INST_DPCM) {
        startDpcmSample(instrument, samplePreviewNote & 0x0F);
        snapshot.sampleStarted = 1;
    }
}

void Player::serveRequests() {
    if (captureMode) return;
    if (takeRequest(reconfigureRequest)) {
        apu.configure(song.ntsc, sampleRate);
        buildPeriodTable(song.ntsc, periodTable);
    }
    if (takeRequest(maskChanged)) {
        writeApu(APU_STATUS, uint8_t(channelMask & STATUS_TONE_CHANNELS));
        for (int c = 0; c < CHANNEL_COUNT; ++c)
            if (channelMask & (1 << c)) channels[c].lastPeriod = -1;
    }
    if (takeRequest(resetRequest)) {
        writeApu(APU_PULSE1_CONTROL, CONTROL_SILENT);
        writeApu(APU_PULSE2_CONTROL, CONTROL_SILENT);
        writeApu(APU_TRIANGLE_LINEAR, TRIANGLE_STOPPED);
        writeApu(APU_NOISE_CONTROL, CONTROL_SILENT);
        writeApu(APU_PULSE1_SWEEP, SWEEP_OFF);
        writeApu(APU_PULSE2_SWEEP, SWEEP_OFF);
        releaseSampleMemory();
        writeApu(APU_STATUS, uint8_t(channelMask & STATUS_TONE_CHANNELS));
        writeApu(VRC6_PULSE1_CONTROL, 0x00);
    }
    if (takeRequest(stopRequest)) {
        for (ChannelState& ch : channels) {
            ch.effectByte = 0;
            ch.paramLow &= 0xF0;
            ch.noteOn = 0;
            ch.instrument = 0;
        }
        pcm.pcmInstrument = 0;
        pcm.holding = false;
        releaseSampleMemory();
        writeApu(APU_PULSE1_CONTROL, CONTROL_SILENT);
        writeApu(APU_PULSE2_CONTROL, CONTROL_SILENT);
        writeApu(APU_TRIANGLE_LINEAR, TRIANGLE_STOPPED);
        writeApu(APU_NOISE_CONTROL, CONTROL_SILENT);
        writeApu(APU_STATUS, STATUS_TONE_CHANNELS);
        writeApu(VRC6_PULSE1_CONTROL, 0x00);
        playing = false;
    }
}

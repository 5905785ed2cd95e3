#include "export/PlayerCapture.h"

#include "base/Require.h"

void RecorderSink::recordDriverCommand(int channel, int code, int argument) {
    if (argument < 0)
        recorder_.recordDriverCommand(channel, code);
    else
        recorder_.recordDriverCommand(channel, code, argument);
}

PlayerCapture::PlayerCapture(Player& player, DriverCommandRecorder& recorder)
    : player_(player), sink_(recorder), previousSink_(player.commandSink) {
    player_.commandSink = &sink_;
}

PlayerCapture::~PlayerCapture() { player_.commandSink = previousSink_; }

void PlayerCapture::reset() {
    player_.reset();
    player_.endOfSongFlag = false;
}

void PlayerCapture::setPosition(int order, int row) {
    BF_REQUIRE(order >= 0 && order < MAX_ORDERS && row >= 0 && row < ROWS_PER_PATTERN);
    player_.currentOrder = order;
    player_.currentRow = row;
}

void PlayerCapture::setChannelVolume(int c, int volume) {
    if (ChannelState* ch = channel(c)) ch->volume = volume;
}

void PlayerCapture::setChannelInstrument(int c, int slot) {
    if (ChannelState* ch = channel(c)) ch->instrument = uint8_t(slot);
}

int PlayerCapture::channelInstrument(int c) const {
    const ChannelState* ch = channel(c);
    if (!ch || ch->instrument == 0) return 0;
    const InstrumentType type = player_.song.instruments[ch->instrument].type;
    return type == INST_PCM || type == INST_DPCM ? 0 : ch->instrument;
}

namespace {

// The Player's flag that says the "on" command of each effect was reported and not yet switched
// off, in DriverEffect order.
constexpr bool ChannelState::*EFFECT_FLAG[DRIVER_EFFECT_COUNT] = {
    &ChannelState::slideActive,    &ChannelState::vibratoActive,     &ChannelState::tremoloActive,
    &ChannelState::arpeggioActive, &ChannelState::volumeSlideActive, &ChannelState::dutyOverrideActive,
};

bool knownEffect(DriverEffect effect) { return effect >= 0 && effect < DRIVER_EFFECT_COUNT; }

}  // namespace

bool PlayerCapture::effectActive(int c, DriverEffect effect) const {
    const ChannelState* ch = channel(c);
    return ch && knownEffect(effect) && ch->*EFFECT_FLAG[effect];
}

bool PlayerCapture::dutyOverrideHeard(int c) const {
    const ChannelState* ch = channel(c);
    if (!ch || c > CH_PULSE2 || ch->noteOn == 0 || ch->dutyOverride == -1) return false;
    const Envelope& duty = player_.song.instruments[ch->instrument].envelopes[ENV_DUTY];
    bool heard = (ch->dutyValue >> 6 & 3) != ch->dutyOverride;
    for (int i = 0; i < duty.length(); ++i) heard = heard || (duty.values[i] >> 6 & 3) != ch->dutyOverride;
    return heard;
}

void PlayerCapture::clearEffectActive(int c, DriverEffect effect) {
    ChannelState* ch = channel(c);
    if (!ch) return;
    if (knownEffect(effect)) ch->*EFFECT_FLAG[effect] = false;
    if (effect == DRV_DUTY_OVERRIDE) ch->lastReportedDuty = -1;
}

void PlayerCapture::clearLastReportedDuty(int c) {
    if (ChannelState* ch = channel(c)) ch->lastReportedDuty = -1;
}

EffectRegisters PlayerCapture::effectRegisters() const {
    const FrameSnapshot& s = player_.snapshot;
    return EffectRegisters{{
        s.pulse1DutyVolume,
        s.pulse1PeriodLow,
        s.pulse1PeriodHigh,
        s.pulse2DutyVolume,
        s.pulse2PeriodLow,
        s.pulse2PeriodHigh,
        s.triangleControl,
        s.trianglePeriodLow,
        s.trianglePeriodHigh,
        s.noiseVolume,
        s.noisePeriod,
    }};
}

void PlayerCapture::savePlaybackState() {
    saved_.tempo = player_.song.tempo;
    saved_.speed = player_.song.speed;
    saved_.order = player_.currentOrder;
    saved_.row = player_.currentRow;
    saved_.frameInRow = player_.frameInRow;
    saved_.tempoAccumulator = player_.tempoAccumulator;
    saved_.patternMode = player_.patternMode;
    saved_.repeatBlockOn = player_.repeatBlockOn;
    saved_.playing = player_.playing;
    saved_.captureMode = player_.captureMode;
    saved_.pcm = player_.pcm;
}

void PlayerCapture::restorePlaybackState() {
    player_.song.tempo = saved_.tempo;
    player_.song.speed = saved_.speed;
    player_.currentOrder = saved_.order;
    player_.currentRow = saved_.row;
    player_.frameInRow = saved_.frameInRow;
    player_.tempoAccumulator = saved_.tempoAccumulator;
    player_.patternMode = saved_.patternMode;
    player_.repeatBlockOn = saved_.repeatBlockOn;
    player_.playing = saved_.playing;
    player_.captureMode = saved_.captureMode;
    player_.pcm = saved_.pcm;
    player_.resetRequest = true;
}

#include "export/Capture.h"

#include <algorithm>

#include "base/Require.h"

void CapturedSong::takeInstruments(const Song& song, const std::array<uint8_t, INSTRUMENT_SLOTS>& usedFlags) {
    instruments.assign(song.instruments, song.instruments + INSTRUMENT_SLOTS);
    for (int i = 0; i < INSTRUMENT_SLOTS; ++i) usedInstruments[i] = usedFlags[i] != 0;
}

void DriverCommandRecorder::beginCapture() {
    usedFlags_.fill(0);
    lastDpcmRate_ = -1;
    beginStretch();
}

void DriverCommandRecorder::beginStretch() {
    for (auto& list : pending_) list.clear();
    lastCommandFrame_.fill(0);
    restatedInstrument_.fill(0);
    captureFrame_ = 0;
}

void DriverCommandRecorder::restateInstrument(int channel, int slot) {
    if (channel >= 0 && channel < CH_DPCM && slot > 0 && slot < INSTRUMENT_SLOTS)
        restatedInstrument_[channel] = slot;
}

void DriverCommandRecorder::recordDriverCommand(int channel, int32_t code, const std::vector<int32_t>& args) {
    BF_REQUIRE(args.size() <= 1);
    if (!recording_ || channel < 0 || channel >= CHANNEL_COUNT) return;
    if (code == DRV_INSTRUMENT) restatedInstrument_[channel] = 0;
    if (code == DRV_NOTE && restatedInstrument_[channel] != 0) {
        const int32_t slot = restatedInstrument_[channel];
        restatedInstrument_[channel] = 0;
        recordDriverCommand(channel, DRV_INSTRUMENT, slot);
    }
    if (code == DRV_INSTRUMENT && !args.empty() && args[0] >= 0 && args[0] < INSTRUMENT_SLOTS)
        usedFlags_[args[0]] = 1;
    if (channel == CH_DPCM) {
        if (code == DRV_WAIT) code = DRV_DPCM_BASE;
        if (code == DRV_END_PATTERN) code = DRV_DPCM_END_PATTERN;
        if (code < DRV_DPCM_BASE || code >= DRV_DPCM_LIMIT) return;
        if (code == DRV_DPCM_RATE) {
            const int32_t rate = args.empty() ? 0 : args[0];
            if (rate == lastDpcmRate_) return;
            lastDpcmRate_ = rate;
        }
    }
    // Waits measure the frames since this channel's previous command (or the stretch start).
    int32_t d = captureFrame_ - lastCommandFrame_[channel];
    lastCommandFrame_[channel] = captureFrame_;
    while (d > 0) {
        const int32_t n = std::min(d, 256);
        append(channel, channel == CH_DPCM ? DRV_DPCM_BASE : DRV_WAIT, {n & 255});
        d -= n;
    }
    append(channel, code, args);
}

void DriverCommandRecorder::append(int channel, int32_t code, std::vector<int32_t> args) {
    const bool hasArg = !args.empty();
    const int32_t a = hasArg ? args[0] : 0;
    // Small arguments fold into the command byte; large ones take the long form.
    if (hasArg) {
        switch (code) {
            case DRV_WAIT:
                if (a < 64)
                    code = a, args.clear();
                else
                    code = DRV_LONG_WAIT;
                break;
            case DRV_NOTE:
                if (a < 64)
                    code = DRV_NOTE + a, args.clear();
                else
                    code = DRV_LONG_NOTE;
                break;
            case DRV_VOLUME:
                if (a < 16) code = DRV_VOLUME + a, args.clear();
                break;
            case DRV_DUTY:
                if (a < 4) code = DRV_DUTY + a, args.clear();
                break;
            case DRV_DPCM_BASE:
                if (a < 128)
                    code = DRV_DPCM_BASE + a, args.clear();
                else
                    code = DRV_DPCM_LONG_WAIT;
                break;
            default:
                break;
        }
    }
    pending_[channel].push_back(DriverCommand{code, std::move(args)});
}

std::array<CommandList, CHANNEL_COUNT> DriverCommandRecorder::endStretch() {
    lastDpcmRate_ = -1;
    for (int c = 0; c < CHANNEL_COUNT; ++c) recordDriverCommand(c, DRV_END_PATTERN);
    std::array<CommandList, CHANNEL_COUNT> lists;
    for (int c = 0; c < CHANNEL_COUNT; ++c) lists[c] = std::move(pending_[c]), pending_[c].clear();
    return lists;
}

namespace {

// Effects still running when a stretch ends are switched off, so that the next stretch (which a
// driver may also reach by looping) starts clean. Recorded in this order.
constexpr struct {
    DriverEffect effect;
    int32_t offCode;
} EFFECT_OFF_ORDER[DRIVER_EFFECT_COUNT] = {
    {DRV_SLIDE, DRV_SLIDE_OFF},           {DRV_VIBRATO, DRV_VIBRATO_OFF},
    {DRV_TREMOLO, DRV_TREMOLO_OFF},       {DRV_ARPEGGIO, DRV_ARPEGGIO_OFF},
    {DRV_VOLUME_SLIDE, DRV_VOLSLIDE_OFF}, {DRV_DUTY_OVERRIDE, DRV_DUTY_RELEASE},
};

bool isNote(int32_t code) { return (code >= DRV_NOTE && code < DRV_INSTRUMENT) || code == DRV_LONG_NOTE; }

bool isDuty(int32_t code) { return (code >= DRV_DUTY && code < DRV_LONG_WAIT) || code == DRV_DUTY_RELEASE; }

bool isWait(int32_t code) { return code < DRV_NOTE || code == DRV_LONG_WAIT; }

// A duty set by the song on a note that still sounds when the song loops back sounds on over the
// loop, as in the editor, until the channel's next note ends it (where it is heard at all: the
// note's instrument may give the same duty, and the last stretch then releases it as before).
// The stretches from the loop point on were captured without it, so the first note after the
// loop (unless a duty is set first) gets the release, which changes nothing where no duty is
// held. A note in the loop point's first frame ends it there anyway: the last stretch then
// releases it at its end, as it does the other effects.
void releaseDutyAfterLoop(CapturedSong& song, int c) {
    auto& stretches = song.channels[c];
    bool waited = false;
    for (size_t s = size_t(song.loopIndex); s < stretches.size(); ++s) {
        for (auto it = stretches[s].begin(); it != stretches[s].end(); ++it) {
            if (isDuty(it->code)) return;
            waited = waited || isWait(it->code);
            if (isNote(it->code)) {
                const DriverCommand release{DRV_DUTY_RELEASE, {}};
                if (waited)
                    stretches[s].insert(it, release);
                else
                    stretches.back().insert(stretches.back().end() - 1, release);  // before its end
                return;
            }
        }
    }
}

}  // namespace

void prepareCapture(CapturePlayer& player) {
    player.reset();
    player.setTempo(125);
    player.setSpeed(6);
    player.setPosition(0, 0);
    player.setFrameInRow(0);
    player.setTempoAccumulator(0);
    player.setPatternMode(false);
    player.setBlockRepeat(false);
    player.setPlaying(true);
    player.setCaptureMode(true);
}

void captureSong(CapturePlayer& player, DriverCommandRecorder& recorder, CapturedSong& song) {
    prepareCapture(player);

    recorder.setRecording(true);
    recorder.beginCapture();
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        for (int e = 0; e < DRIVER_EFFECT_COUNT; ++e) player.clearEffectActive(c, DriverEffect(e));
        player.clearLastReportedDuty(c);
    }
    for (auto& lists : song.channels) lists.clear();
    song.loopIndex = 0;

    std::map<int32_t, int32_t> visited;
    int32_t stretches = 0;
    std::array<bool, CHANNEL_COUNT> heldOverLoop{};
    for (;;) {
        const int32_t key = positionKey(player.currentOrder(), player.currentRow());
        if (auto it = visited.find(key); it != visited.end()) {
            song.loopIndex = it->second;
            break;
        }
        visited[key] = stretches;
        recorder.beginStretch();
        // The first note of every stretch records instrument, volume and duty again, because a
        // driver may enter the stretch from elsewhere. The channel keeps the instrument it plays
        // with: a note held into the stretch must sound on with its envelopes, so the instrument
        // is restated by the recorder instead of forgotten by the Player. A duty set by the song
        // is kept too and reported again on the stretch's first row (the last stretch released
        // it): cleared, a note held into the stretch would change its duty there.
        for (int c = 0; c < CHANNEL_COUNT; ++c) {
            player.setChannelVolume(c, 0);
            recorder.restateInstrument(c, player.channelInstrument(c));
            player.clearLastReportedDuty(c);
        }
        runStretch(player, [&] { recorder.advanceFrame(); });
        // The stretch that loops back leads nowhere else: a duty it holds is released after the
        // loop, once the capture knows where (releaseDutyAfterLoop).
        const bool loops = visited.contains(positionKey(player.currentOrder(), player.currentRow()));
        for (int c = 0; c < CHANNEL_COUNT; ++c) {
            for (const auto& off : EFFECT_OFF_ORDER) {
                if (loops && off.effect == DRV_DUTY_OVERRIDE) {
                    heldOverLoop[c] = player.effectActive(c, off.effect) && player.dutyOverrideHeard(c);
                    if (heldOverLoop[c]) continue;
                }
                if (player.effectActive(c, off.effect)) {
                    recorder.recordDriverCommand(c, off.offCode);
                    player.clearEffectActive(c, off.effect);
                }
            }
        }
        auto lists = recorder.endStretch();
        for (int c = 0; c < CHANNEL_COUNT; ++c) song.channels[c].push_back(std::move(lists[c]));
        ++stretches;
    }
    for (int c = 0; c < CHANNEL_COUNT; ++c)
        if (heldOverLoop[c]) releaseDutyAfterLoop(song, c);

    player.setPlaying(false);
    player.setCaptureMode(false);
}

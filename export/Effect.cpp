#include "export/Effect.h"

#include <algorithm>

#include "song/AtomicFile.h"

namespace {

// Fields holding a channel's volume: pulse 1, pulse 2, triangle control, noise.
bool isVolumeField(int f) { return f == 0 || f == 3 || f == 6 || f == 9; }

constexpr int32_t MAX_WAIT = 49;  // 0xCF-0xFF

// How each register field is written: an optional prefix byte (0 for none), then base + value.
struct FieldEncoding {
    uint8_t prefix, base, mask;
};
constexpr FieldEncoding FIELD_ENCODING[EFFECT_FIELD_COUNT] = {
    {0, 0x00, 0xFF}, {0xCA, 0, 0xFF}, {0, 0x80, 0xFF},  // pulse 1: duty/volume, period low, high
    {0, 0x40, 0xFF}, {0xCB, 0, 0xFF}, {0, 0x88, 0xFF},  // pulse 2
    {0, 0x98, 0x01}, {0xCC, 0, 0xFF}, {0, 0x90, 0xFF},  // triangle: sounding, period low, high
    {0, 0x9A, 0xFF}, {0, 0xAA, 0xFF},                   // noise: volume, mode and period
};

}  // namespace

void EffectRecorder::append(int id, int value) {
    events_.push_back(uint8_t(id));
    events_.push_back(uint8_t(value & 0xFF));
}

void EffectRecorder::flushWaits() {
    int32_t d = frame_ - lastWriteFrame_;
    lastWriteFrame_ = frame_;
    while (d > 0) {
        const int32_t n = d < MAX_WAIT + 1 ? d : MAX_WAIT;
        append(EFX_WAIT, n);
        d -= n;
    }
}

void EffectRecorder::recordFrame(const EffectRegisters& before, const EffectRegisters& after) {
    for (int f = 0; f < EFFECT_FIELD_COUNT; ++f) {
        const int32_t v = after.field[f];
        const int32_t p = before.field[f];
        if (isVolumeField(f) && p == -1 && (v & 0x0F) == 0) continue;
        if (v == -1 || v == p) continue;
        flushWaits();
        append(f, v);
    }
    ++frame_;
}

bool EffectRecorder::enterPosition(int32_t key) {
    lastKey_ = key;
    if (visited_.count(key)) return true;
    flushWaits();
    visited_[key] = int32_t(events_.size());
    return false;
}

CapturedEffect EffectRecorder::finish(bool loopRequested) {
    auto it = visited_.find(lastKey_);
    int32_t loopOffset = it == visited_.end() ? -1 : it->second;
    int end = EFX_END;
    if (loopOffset >= 0 && loopOffset < int32_t(events_.size())) {
        if (loopRequested) end = EFX_END_LOOP;
    } else {
        loopOffset = -1;
        loopRequested = false;
    }
    flushWaits();
    append(end, 0);
    CapturedEffect effect = encodeEffectEvents(trimEffectEvents(events_), loopOffset);
    if (!loopRequested) effect.loopOffset = -1;
    return effect;
}

std::vector<uint8_t> trimEffectEvents(const std::vector<uint8_t>& events) {
    const size_t pairs = events.size() / 2;
    if (pairs == 0) return events;
    int levels[4] = {0, 0, 0, 0};  // pulse 1, pulse 2 volume, triangle sounding, noise volume
    size_t lastAudible = 0;
    for (size_t i = 0; i < pairs; ++i) {
        if (levels[0] || levels[1] || levels[2] || levels[3]) lastAudible = i * 2;
        const int id = events[i * 2];
        const int v = events[i * 2 + 1];
        if (id == 0) levels[0] = v & 0x0F;
        if (id == 3) levels[1] = v & 0x0F;
        if (id == 6) levels[2] = v & 1;
        if (id == 9) levels[3] = v & 0x0F;
    }
    const size_t endPair = (pairs - 1) * 2;
    std::vector<uint8_t> trimmed(events.begin(), events.begin() + std::min(lastAudible, endPair));
    trimmed.insert(trimmed.end(), events.begin() + endPair, events.begin() + endPair + 2);
    return trimmed;
}

CapturedEffect encodeEffectEvents(const std::vector<uint8_t>& events, int32_t loopOffset) {
    CapturedEffect out;
    out.loopOffset = loopOffset < 0 ? -1 : 0;
    bool waitSinceLoop = false;
    auto& b = out.bytes;
    for (size_t offset = 0; offset + 1 < events.size(); offset += 2) {
        const int id = events[offset];
        const int v = events[offset + 1];
        // A loop that would restart on the end byte itself lies in the trimmed tail: it restarts
        // from the beginning like any other position that was trimmed away.
        if (int32_t(offset) == loopOffset && id != EFX_END && id != EFX_END_LOOP) {
            out.loopOffset = int32_t(b.size());
            waitSinceLoop = false;
        }
        if (id < EFFECT_FIELD_COUNT) {
            const FieldEncoding& e = FIELD_ENCODING[id];
            if (e.prefix) b.push_back(e.prefix);
            b.push_back(uint8_t(e.base + (v & e.mask)));
            continue;
        }
        switch (id) {
            case EFX_WAIT:
                b.push_back(uint8_t(0xCE + v));
                waitSinceLoop = true;
                break;
            case EFX_END:
                b.push_back(0xCD);
                break;
            case EFX_END_LOOP:
                // A loop body without a wait would spin the driver within one frame for ever;
                // such an effect simply ends.
                if (waitSinceLoop) {
                    b.push_back(0xCE);
                } else {
                    b.push_back(0xCD);
                    out.loopOffset = -1;
                }
                break;
            default:
                break;
        }
    }
    return out;
}

CapturedEffect captureEffect(CapturePlayer& player, DriverCommandRecorder& recorder) {
    prepareCapture(player);
    recorder.setRecording(false);
    player.clearEffectRegisters();
    player.setLoopRequested(false);

    EffectRecorder effect;
    EffectRegisters previous = player.effectRegisters();
    while (!effect.enterPosition(positionKey(player.currentOrder(), player.currentRow()))) {
        runStretch(player, [&] {
            const EffectRegisters now = player.effectRegisters();
            effect.recordFrame(previous, now);
            previous = now;
        });
    }
    CapturedEffect result = effect.finish(player.loopRequested());

    player.setCaptureMode(false);
    player.setPlaying(false);
    recorder.setRecording(true);
    return result;
}

std::string effectText(const CapturedEffect& effect, LabelTable& labels, const std::string& key) {
    const std::string& label = labels.labelFor(key);
    std::string text = "; Sound effect data generated by Bleepforge\n\n" + label + ":\n";
    for (uint8_t b : effect.bytes) text += "  .byte " + std::to_string(b) + "\n";
    if (effect.loopOffset != -1)
        text += "  .word " + label + " + " + std::to_string(effect.loopOffset) + "\n";
    return text;
}

bool writeEffect(const CapturedEffect& effect, const std::string& fileName, LabelTable& labels,
                 const std::string& key) {
    return writeFileAtomically(fileName, effectText(effect, labels, key));
}

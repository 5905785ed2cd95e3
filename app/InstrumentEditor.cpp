#include "app/InstrumentEditor.h"

#include "song/InstrumentText.h"

namespace {

constexpr int32_t ABSOLUTE_NOTE_BIT = 128;
constexpr int32_t MAX_RAW_VALUE = 254;

// Takes out value index of an envelope holding n values: the later values move up one place and
// the last of the n slots becomes the end marker.
void removeValue(Envelope& env, int n, int index) {
    for (int i = index; i < n; ++i) env.values[i] = env.values[i + 1];
    env.values[n - 1] = END_MARKER;
}

}  // namespace

InstrumentEditor::InstrumentEditor(EditorContext& context) : ctx_(context) {}

void InstrumentEditor::registerHandlers(ActionTable& table) {
    auto& h = table.handlers;
    h["switch abs/rel"] = [this] { switchAbsRel(); };
    h["add value"] = [this] { addValue(); };
    h["incr value"] = [this] { changeValue(1); };
    h["decr value"] = [this] { changeValue(-1); };
    h["move right"] = [this] { moveCursor(1); };
    h["move left"] = [this] { moveCursor(-1); };
    h["move loop point right"] = [this] { moveLoopPoint(1); };
    h["move loop point left"] = [this] { moveLoopPoint(-1); };
    h["next env"] = [this] { nextEnvelope(); };
    h["prev env"] = [this] { prevEnvelope(); };
    h["move to beginning"] = [this] { moveCursorTo(false); };
    h["move to end"] = [this] { moveCursorTo(true); };
    h["move loop point to beg"] = [this] { moveLoopPointTo(false); };
    h["move loop point to end"] = [this] { moveLoopPointTo(true); };
    h["delete value"] = [this] { deleteValue(); };
    h["delete preceding value"] = [this] { deletePrecedingValue(); };
    h["copy to clipboard"] = [this] { copyInstrumentToClipboard(); };
    h["paste from clipboard"] = [this] { pasteInstrumentFromClipboard(); };
}

bool InstrumentEditor::instrumentEditorKey(const KeyEvent& event) {
    if (EditorContext::runBinding(ctx_.bindings.instrumentEditor, event)) return true;
    return ctx_.previewNoteKey(event);
}

Instrument* InstrumentEditor::instrument() {
    const int n = ctx_.edit.currentInstrument;
    if (n <= 0 || n >= INSTRUMENT_SLOTS) return nullptr;
    return &ctx_.song.instruments[n];
}

int InstrumentEditor::lengthOf(const Envelope& env) {
    // Loaded data may lack the end marker; never work past the 250 value slots.
    return std::min(env.length(), MAX_ENVELOPE_VALUES);
}

int32_t& InstrumentEditor::cursor() {
    ctx_.edit.currentEnvelope = std::clamp<int32_t>(ctx_.edit.currentEnvelope, 0, ENVELOPE_COUNT - 1);
    return ctx_.edit.envelopeCursor[ctx_.edit.currentEnvelope];
}

Envelope* InstrumentEditor::editableEnvelope() {
    Instrument* inst = instrument();
    if (!inst || isSampleType(inst->type) || ctx_.edit.typeFieldSelected) return nullptr;
    if (inst->type != INST_NORMAL && inst->type != INST_PCM_PULSE && inst->type != INST_PCM_SAW)
        return nullptr;
    cursor();  // brings the current envelope into range
    return &inst->envelopes[ctx_.edit.currentEnvelope];
}

void InstrumentEditor::fitEnvelopeCursors() {
    Instrument* inst = instrument();
    if (!inst) return;
    for (int e = 0; e < ENVELOPE_COUNT; ++e) {
        const int n = lengthOf(inst->envelopes[e]);
        if (ctx_.edit.envelopeCursor[e] >= n) ctx_.edit.envelopeCursor[e] = n - 1;
    }
    if (isSampleType(inst->type)) ctx_.edit.typeFieldSelected = true;
}

void InstrumentEditor::changeInstrument(const char* what, const std::function<void()>& change) {
    if (!instrument()) return;
    ctx_.history.apply(what, EditTarget::instrument(ctx_.edit.currentInstrument), change);
}

void InstrumentEditor::changeValue(int delta) {
    changeInstrument(editableEnvelope() ? "envelope" : "instrument type", [&] { stepValue(delta); });
}

void InstrumentEditor::stepValue(int delta) {
    Instrument* inst = instrument();
    if (!inst) return;
    Envelope* env = editableEnvelope();
    if (!env) {
        inst->type =
            InstrumentType(((int(inst->type) + delta) % INSTRUMENT_TYPE_COUNT + INSTRUMENT_TYPE_COUNT) %
                           INSTRUMENT_TYPE_COUNT);
        return;
    }
    const int c = cursor();
    if (c < 0 || c >= lengthOf(*env)) return;
    int32_t& v = env->values[c];
    const bool normal = inst->type == INST_NORMAL;
    switch (ctx_.edit.currentEnvelope) {
        case ENV_VOLUME:
            if (normal) {
                v = std::clamp((v >> 4) + delta, 0, 15) * 16;
                return;
            }
            break;
        case ENV_NOTE:
            if (v & ABSOLUTE_NOTE_BIT)
                v = std::clamp(v + delta, ABSOLUTE_NOTE_BIT, MAX_RAW_VALUE);
            else
                v = std::clamp(v + delta, 0, ABSOLUTE_NOTE_BIT - 1);
            return;
        case ENV_DUTY:
            if (normal) {
                // The lowest duty is kept as 32 rather than 0.
                const int duty = std::clamp((v >> 6) + delta, 0, 3);
                v = duty == 0 ? 32 : duty * 64;
                return;
            }
            break;
        default:
            break;
    }
    v = std::clamp(v + delta, 0, MAX_RAW_VALUE);
}

void InstrumentEditor::switchAbsRel() {
    if (ctx_.edit.currentEnvelope != ENV_NOTE) return;
    changeInstrument("envelope", [&] {
        Envelope* env = editableEnvelope();
        if (!env) return;
        const int c = cursor();
        if (c < 0 || c >= lengthOf(*env)) return;
        env->values[c] = std::min(env->values[c] ^ ABSOLUTE_NOTE_BIT, MAX_RAW_VALUE);
    });
}

void InstrumentEditor::addValue() {
    changeInstrument("envelope value add", [&] {
        Envelope* env = editableEnvelope();
        if (!env) return;
        const int n = lengthOf(*env);
        const int c = cursor();
        if (n >= MAX_ENVELOPE_VALUES || c < 0 || c >= n) return;
        // Values c..n-1 and the end marker move one place down.
        for (int i = n + 1; i > c; --i) env->values[i] = env->values[i - 1];
    });
}

void InstrumentEditor::deleteValue() {
    changeInstrument("envelope value delete", [&] {
        Envelope* env = editableEnvelope();
        if (!env) return;
        const int n = lengthOf(*env);
        int32_t& c = cursor();
        if (n < 2 || c < 0 || c >= n) return;
        removeValue(*env, n, c);
        if (c >= n - 1) c = n - 2;
        if (env->loopPoint >= n - 1) env->loopPoint = n - 2;
    });
}

void InstrumentEditor::deletePrecedingValue() {
    changeInstrument("envelope value delete", [&] {
        Envelope* env = editableEnvelope();
        if (!env) return;
        const int n = lengthOf(*env);
        int32_t& c = cursor();
        if (c <= 0 || c > n || n < 2) return;
        removeValue(*env, n, c - 1);
        if (env->loopPoint == c) --env->loopPoint;
        --c;
        if (env->loopPoint >= n - 1) env->loopPoint = n - 2;
    });
}

void InstrumentEditor::moveCursor(int delta) {
    Envelope* env = editableEnvelope();
    if (!env) return;
    int32_t& c = cursor();
    c = std::max(0, std::min(c + delta, lengthOf(*env) - 1));
}

void InstrumentEditor::moveCursorTo(bool end) {
    Envelope* env = editableEnvelope();
    if (!env) return;
    cursor() = end ? lengthOf(*env) - 1 : 0;
}

void InstrumentEditor::moveLoopPoint(int delta) {
    changeInstrument("loop point", [&] {
        Envelope* env = editableEnvelope();
        if (!env) return;
        env->loopPoint = std::max(0, std::min(env->loopPoint + delta, lengthOf(*env) - 1));
    });
}

void InstrumentEditor::moveLoopPointTo(bool end) {
    changeInstrument("loop point", [&] {
        Envelope* env = editableEnvelope();
        if (!env) return;
        env->loopPoint = end ? std::max(0, lengthOf(*env) - 1) : 0;
    });
}

void InstrumentEditor::nextEnvelope() {
    Instrument* inst = instrument();
    if (!inst || isSampleType(inst->type)) return;
    EditingState& e = ctx_.edit;
    if (e.typeFieldSelected) {
        e.typeFieldSelected = false;
        e.currentEnvelope = 0;
    } else if (++e.currentEnvelope >= ENVELOPE_COUNT) {
        e.currentEnvelope = ENVELOPE_COUNT - 1;
        e.typeFieldSelected = true;
    }
}

void InstrumentEditor::prevEnvelope() {
    Instrument* inst = instrument();
    if (!inst || isSampleType(inst->type)) return;
    EditingState& e = ctx_.edit;
    if (e.typeFieldSelected) {
        e.typeFieldSelected = false;
        e.currentEnvelope = ENVELOPE_COUNT - 1;
    } else if (--e.currentEnvelope < 0) {
        e.currentEnvelope = 0;
        e.typeFieldSelected = true;
    }
}

void InstrumentEditor::copyInstrumentToClipboard() {
    const Instrument* inst = instrument();
    if (!inst || !ctx_.clipboard) return;
    std::string text;
    if (!instrumentToText(*inst, text)) return;  // sample instruments have no text
    ctx_.clipboard->putText(text);
}

void InstrumentEditor::pasteInstrumentFromClipboard() {
    Instrument* inst = instrument();
    if (!inst || !ctx_.clipboard) return;
    // Another program may hold the clipboard and take its time to answer: fetch and parse the
    // text before the audio lock is taken, then swap in the result in one short step.
    std::string text;
    if (!ctx_.clipboard->getText(text) || text.empty()) return;
    Instrument pasted;
    pasted.type = inst->type;
    for (int e = 0; e < ENVELOPE_COUNT; ++e) pasted.envelopes[e] = inst->envelopes[e];
    instrumentFromText(text, pasted);
    changeInstrument("instrument paste", [&] {
        inst->type = pasted.type;
        for (int e = 0; e < ENVELOPE_COUNT; ++e) inst->envelopes[e] = pasted.envelopes[e];
    });
    fitEnvelopeCursors();
}

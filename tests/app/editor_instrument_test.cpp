#include <gtest/gtest.h>

#include <memory>

#include "tests/app/EditorRig.h"

namespace {

struct InstrumentRig : EditorRig {
    InstrumentRig() : EditorRig(EditorMode::InstrumentEditor) {}
    Instrument& inst() { return song->instruments[1]; }
    Envelope& env(int e) { return inst().envelopes[e]; }
    std::vector<int> values(int e) {
        return std::vector<int>(env(e).values, env(e).values + env(e).length());
    }
    // Presses key n times and collects the value under the cursor after each press.
    std::vector<int> walk(const char* key, int n) {
        std::vector<int> seen;
        for (int i = 0; i < n; ++i) {
            press(key);
            seen.push_back(env(edit.currentEnvelope).values[edit.envelopeCursor[edit.currentEnvelope]]);
        }
        return seen;
    }
};

}  // namespace

TEST(InstrumentEditor, ValueRulesPerEnvelopeAndType) {
    // Each walk starts from `start` (or, when -1, from where the previous walk ended).
    const struct {
        InstrumentType type;
        int envelope, start;
        const char* key;
        std::vector<int> seen;
    } walks[] = {
        {INST_NORMAL,
         ENV_VOLUME,
         0,
         "SDLK_UP",
         {16, 32, 48, 64, 80, 96, 112, 128, 144, 160, 176, 192, 208, 224, 240, 240}},
        {INST_NORMAL, ENV_VOLUME, -1, "SDLK_DOWN", {224, 208}},
        {INST_NORMAL, ENV_VOLUME, 16, "SDLK_DOWN", {0, 0}},
        {INST_NORMAL, ENV_DUTY, 32, "SDLK_UP", {64, 128, 192, 192}},
        {INST_NORMAL, ENV_DUTY, -1, "SDLK_DOWN", {128, 64, 32, 32}},
        {INST_NORMAL, ENV_NOTE, 126, "SDLK_UP", {127, 127}},
        {INST_NORMAL, ENV_NOTE, 1, "SDLK_DOWN", {0, 0}},
        {INST_NORMAL, ENV_NOTE, 253, "SDLK_UP", {254, 254}},
        {INST_NORMAL, ENV_NOTE, 129, "SDLK_DOWN", {128, 128}},
        {INST_NORMAL, ENV_NOTE, 64, "SDLK_RETURN", {192, 64}},
        {INST_NORMAL, ENV_NOTE, 127, "SDLK_RETURN", {254}},      // 255 is beyond the range
        {INST_NORMAL, ENV_FINETUNE, 127, "SDLK_RETURN", {127}},  // only the Note envelope
        {INST_PCM_PULSE, ENV_DUTY, 253, "SDLK_UP", {254, 254}},  // the wave instruments take
        {INST_PCM_PULSE, ENV_VOLUME, 1, "SDLK_DOWN", {0, 0}},    // raw volumes and modes
    };
    InstrumentRig r;
    for (const auto& w : walks) {
        r.inst().type = w.type;
        r.edit.currentEnvelope = w.envelope;
        if (w.start >= 0) r.env(w.envelope).values[0] = w.start;
        EXPECT_EQ(r.walk(w.key, int(w.seen.size())), w.seen) << w.envelope << " " << w.start << " " << w.key;
    }
}

TEST(InstrumentEditor, TypeFieldAndEnvelopeWalk) {
    InstrumentRig r;
    r.edit.currentEnvelope = ENV_FINETUNE;
    r.press("SDLK_PAGEDOWN");
    EXPECT_TRUE(r.edit.typeFieldSelected);
    r.press("SDLK_DOWN");
    EXPECT_EQ(r.inst().type, INST_PCM_SAW);
    r.press("SDLK_UP");
    EXPECT_EQ(r.inst().type, INST_NORMAL);
    r.inst().type = INST_PCM_SAW;
    r.press("SDLK_UP");
    EXPECT_EQ(r.inst().type, INST_NORMAL);

    int walked[6];
    for (int& e : walked) {
        r.press("SDLK_PAGEDOWN");
        e = r.edit.typeFieldSelected ? -1 : r.edit.currentEnvelope;
    }
    EXPECT_EQ(std::vector<int>(walked, walked + 6), (std::vector<int>{0, 1, 2, 3, -1, 0}));
    for (int& e : walked) {
        r.press("SDLK_PAGEUP");
        e = r.edit.typeFieldSelected ? -1 : r.edit.currentEnvelope;
    }
    EXPECT_EQ(std::vector<int>(walked, walked + 6), (std::vector<int>{-1, 3, 2, 1, 0, -1}));

    // A sample instrument keeps its type field; its envelope values step its type instead.
    r.inst().type = INST_DPCM;
    r.edit.typeFieldSelected = false;
    r.edit.currentEnvelope = ENV_VOLUME;
    r.press("SDLK_PAGEDOWN");
    EXPECT_EQ(r.edit.currentEnvelope, ENV_VOLUME);
    const int volume = r.env(ENV_VOLUME).values[0];
    r.press("SDLK_UP");
    EXPECT_EQ(r.inst().type, INST_PCM_PULSE);
    EXPECT_EQ(r.env(ENV_VOLUME).values[0], volume);
}

TEST(InstrumentEditor, AddingAndDeletingValuesKeepsCursorAndLoopInside) {
    InstrumentRig r;
    Envelope& v = r.env(ENV_VOLUME);
    r.press("SDLK_DELETE");  // one value: stays
    EXPECT_EQ(r.values(ENV_VOLUME), (std::vector<int>{240}));
    r.press("SDLK_INSERT");
    r.press("SDLK_INSERT");
    EXPECT_EQ(r.values(ENV_VOLUME), (std::vector<int>{240, 240, 240}));
    r.press("SDLK_END");
    r.press("SDLK_DOWN");
    r.press("SDLK_INSERT");  // the last value is duplicated
    EXPECT_EQ(r.values(ENV_VOLUME), (std::vector<int>{240, 240, 224, 224}));
    r.press("SDLK_END", {"KMOD_LSHIFT"});
    EXPECT_EQ(v.loopPoint, 3);
    r.press("SDLK_END");
    r.press("SDLK_DELETE");
    EXPECT_EQ(r.values(ENV_VOLUME), (std::vector<int>{240, 240, 224}));
    EXPECT_EQ(r.edit.envelopeCursor[ENV_VOLUME], 2);
    EXPECT_EQ(v.loopPoint, 2);
    r.press("SDLK_BACKSPACE");  // loop point on the cursor follows it left
    EXPECT_EQ(r.values(ENV_VOLUME), (std::vector<int>{240, 224}));
    EXPECT_EQ(r.edit.envelopeCursor[ENV_VOLUME], 1);
    EXPECT_EQ(v.loopPoint, 1);
    r.press("SDLK_RIGHT", {"KMOD_LSHIFT"});
    EXPECT_EQ(v.loopPoint, 1);
    r.press("SDLK_HOME");
    r.press("SDLK_BACKSPACE");  // nothing before the first value
    EXPECT_EQ(r.values(ENV_VOLUME), (std::vector<int>{240, 224}));

    for (int i = 0; i < 260; ++i) r.press("SDLK_INSERT");
    EXPECT_EQ(v.length(), MAX_ENVELOPE_VALUES);
    EXPECT_EQ(v.values[MAX_ENVELOPE_VALUES], END_MARKER);

    // Changing to an instrument with shorter envelopes brings the cursors back inside; an
    // envelope without values (damaged data) is left alone by every command.
    r.press("SDLK_END");
    r.song->instruments[2].envelopes[ENV_VOLUME].values[0] = END_MARKER;
    r.program->instrumentList().selectInstrument(2);
    EXPECT_EQ(r.edit.envelopeCursor[ENV_VOLUME], -1);
    for (const char* key :
         {"SDLK_UP", "SDLK_DOWN", "SDLK_INSERT", "SDLK_DELETE", "SDLK_BACKSPACE", "SDLK_RIGHT", "SDLK_END"})
        r.press(key);
    EXPECT_EQ(r.song->instruments[2].envelopes[ENV_VOLUME].values[0], END_MARKER);
    EXPECT_EQ(r.song->instruments[2].envelopes[ENV_VOLUME].loopPoint, 0);
}

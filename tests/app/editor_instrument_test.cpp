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
    InstrumentRig r;
    r.env(ENV_VOLUME).values[0] = 0;
    EXPECT_EQ(r.walk("SDLK_UP", 16),
              (std::vector<int>{16, 32, 48, 64, 80, 96, 112, 128, 144, 160, 176, 192, 208, 224, 240, 240}));
    EXPECT_EQ(r.walk("SDLK_DOWN", 2), (std::vector<int>{224, 208}));
    r.env(ENV_VOLUME).values[0] = 16;
    EXPECT_EQ(r.walk("SDLK_DOWN", 2), (std::vector<int>{0, 0}));

    r.edit.currentEnvelope = ENV_DUTY;
    r.env(ENV_DUTY).values[0] = 32;
    EXPECT_EQ(r.walk("SDLK_UP", 4), (std::vector<int>{64, 128, 192, 192}));
    EXPECT_EQ(r.walk("SDLK_DOWN", 4), (std::vector<int>{128, 64, 32, 32}));

    r.edit.currentEnvelope = ENV_NOTE;
    r.env(ENV_NOTE).values[0] = 126;
    EXPECT_EQ(r.walk("SDLK_UP", 2), (std::vector<int>{127, 127}));
    r.env(ENV_NOTE).values[0] = 1;
    EXPECT_EQ(r.walk("SDLK_DOWN", 2), (std::vector<int>{0, 0}));
    r.env(ENV_NOTE).values[0] = 253;
    EXPECT_EQ(r.walk("SDLK_UP", 2), (std::vector<int>{254, 254}));
    r.env(ENV_NOTE).values[0] = 129;
    EXPECT_EQ(r.walk("SDLK_DOWN", 2), (std::vector<int>{128, 128}));
    r.env(ENV_NOTE).values[0] = 64;
    EXPECT_EQ(r.walk("SDLK_RETURN", 2), (std::vector<int>{192, 64}));
    r.env(ENV_NOTE).values[0] = 127;
    EXPECT_EQ(r.walk("SDLK_RETURN", 1), (std::vector<int>{254}));  // 255 is beyond the range
    r.edit.currentEnvelope = ENV_FINETUNE;
    r.env(ENV_FINETUNE).values[0] = 127;
    EXPECT_EQ(r.walk("SDLK_RETURN", 1), (std::vector<int>{127}));  // only the Note envelope

    // The wave instruments take raw volumes and modes.
    r.inst().type = INST_PCM_PULSE;
    r.edit.currentEnvelope = ENV_DUTY;
    r.env(ENV_DUTY).values[0] = 253;
    EXPECT_EQ(r.walk("SDLK_UP", 2), (std::vector<int>{254, 254}));
    r.edit.currentEnvelope = ENV_VOLUME;
    r.env(ENV_VOLUME).values[0] = 1;
    EXPECT_EQ(r.walk("SDLK_DOWN", 2), (std::vector<int>{0, 0}));
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

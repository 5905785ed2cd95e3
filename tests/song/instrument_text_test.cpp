#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "song/InstrumentText.h"

namespace {

void setEnvelope(Envelope& envelope, const std::vector<int>& values, int loopPoint) {
    std::fill(std::begin(envelope.values), std::end(envelope.values), 0);
    for (size_t i = 0; i < values.size(); ++i) envelope.values[i] = values[i];
    envelope.values[values.size()] = END_MARKER;
    envelope.loopPoint = loopPoint;
}

std::vector<int> valuesOf(const Envelope& envelope) {
    return std::vector<int>(envelope.values, envelope.values + envelope.length());
}

}  // namespace

TEST(InstrumentText, CopiesNormalInstrumentAsEditorShowsIt) {
    Instrument inst;
    setEnvelope(inst.envelopes[ENV_VOLUME], {240, 192, 0}, 1);
    setEnvelope(inst.envelopes[ENV_NOTE], {140, 60, 64}, 0);
    setEnvelope(inst.envelopes[ENV_DUTY], {32, 64, 128, 192}, 3);
    setEnvelope(inst.envelopes[ENV_FINETUNE], {0, 127, 254}, 2);
    std::string text;
    ASSERT_TRUE(instrumentToText(inst, text));
    EXPECT_EQ(text, "Type: Normal\r\n15 |12 0\r\n|12! -4 0\r\n1 2 3 |4\r\n-127 0 |127\r\n");

    Instrument back;
    instrumentFromText(text, back);
    EXPECT_EQ(back.type, INST_NORMAL);
    for (int k = 0; k < ENVELOPE_COUNT; ++k) EXPECT_EQ(back.envelopes[k], inst.envelopes[k]) << k;
}

TEST(InstrumentText, WaveInstrumentsRoundTripAndSampleInstrumentsDoNotCopy) {
    for (InstrumentType type : {INST_PCM_PULSE, INST_PCM_SAW}) {
        Instrument inst;
        inst.type = type;
        setEnvelope(inst.envelopes[ENV_VOLUME], {0, 100, 254}, 2);
        setEnvelope(inst.envelopes[ENV_NOTE], {0, 127, 128, 254}, 1);
        setEnvelope(inst.envelopes[ENV_DUTY], {0, 127, 200, 254}, 0);
        setEnvelope(inst.envelopes[ENV_FINETUNE], {0, 254}, 1);
        std::string text;
        ASSERT_TRUE(instrumentToText(inst, text));
        // Wave volumes are shown unscaled.
        EXPECT_TRUE(
            text.starts_with(std::string("Type: ") + INSTRUMENT_TYPE_NAMES[type] + "\r\n0 100 |254\r\n"));
        EXPECT_NE(text.find("\r\n|-127 0 73 127\r\n"), std::string::npos) << text;

        Instrument back;
        instrumentFromText(text, back);
        EXPECT_EQ(back.type, type);
        for (int k = 0; k < ENVELOPE_COUNT; ++k) EXPECT_EQ(back.envelopes[k], inst.envelopes[k]) << k;
    }
    for (InstrumentType type : {INST_PCM, INST_DPCM}) {
        Instrument inst;
        inst.type = type;
        std::string text = "untouched";
        EXPECT_FALSE(instrumentToText(inst, text));
        EXPECT_EQ(text, "untouched");
    }
}

TEST(InstrumentText, PasteClampsAndStopsAtFirstNonNumber) {
    Instrument inst;
    instrumentFromText(
        "Type: Normal\n"
        "  1 2 a 3 \t\r\n"
        "-100 100 |70! 999! 5!\n"
        "0 9 -3\n"
        "-1000 +1000 | 7 x",
        inst);
    EXPECT_EQ(valuesOf(inst.envelopes[ENV_VOLUME]), (std::vector<int>{16, 32}));
    EXPECT_EQ(valuesOf(inst.envelopes[ENV_NOTE]), (std::vector<int>{0, 127, 198, 254, 133}));
    EXPECT_EQ(inst.envelopes[ENV_NOTE].loopPoint, 2);
    EXPECT_EQ(valuesOf(inst.envelopes[ENV_DUTY]), (std::vector<int>{32, 192, 32}));
    // "| 7": white space may stand between the loop mark and its number.
    EXPECT_EQ(valuesOf(inst.envelopes[ENV_FINETUNE]), (std::vector<int>{0, 254, 134}));
    EXPECT_EQ(inst.envelopes[ENV_FINETUNE].loopPoint, 2);
    EXPECT_EQ(inst.envelopes[ENV_FINETUNE].values[4], 0) << "slots behind the marker are cleared";

    Instrument pulse;
    instrumentFromText("Type: PCM Pulse\n-5 300 99999999999999999999999\n\n-300 300\n", pulse);
    EXPECT_EQ(pulse.type, INST_PCM_PULSE);
    EXPECT_EQ(valuesOf(pulse.envelopes[ENV_VOLUME]), (std::vector<int>{0, 254, 254}));
    EXPECT_EQ(valuesOf(pulse.envelopes[ENV_NOTE]), (std::vector<int>{0})) << "an empty line leaves one 0";
    EXPECT_EQ(valuesOf(pulse.envelopes[ENV_DUTY]), (std::vector<int>{0, 254}));
}

TEST(InstrumentText, MissingAndForeignLines) {
    Instrument before;
    before.type = INST_PCM_SAW;
    setEnvelope(before.envelopes[ENV_VOLUME], {1, 2, 3}, 2);
    setEnvelope(before.envelopes[ENV_FINETUNE], {100, 150}, 1);

    Instrument inst = before;
    instrumentFromText("", inst);
    EXPECT_EQ(inst, before) << "empty text changes nothing";

    inst = before;
    instrumentFromText("Type: PCM Saw\r\n10 20\r\n", inst);
    EXPECT_EQ(valuesOf(inst.envelopes[ENV_VOLUME]), (std::vector<int>{10, 20}));
    EXPECT_EQ(inst.envelopes[ENV_NOTE], before.envelopes[ENV_NOTE]);
    EXPECT_EQ(inst.envelopes[ENV_FINETUNE], before.envelopes[ENV_FINETUNE]) << "missing line keeps it";

    // A first line that is not a type line still counts as the type line.
    inst = before;
    instrumentFromText("15 12 0\n1\n2\n3\n4\n5\n", inst);
    EXPECT_EQ(inst.type, INST_NORMAL);
    EXPECT_EQ(valuesOf(inst.envelopes[ENV_VOLUME]), (std::vector<int>{16}));
    EXPECT_EQ(valuesOf(inst.envelopes[ENV_FINETUNE]), (std::vector<int>{131}));
    EXPECT_TRUE(inst.pcm == before.pcm);
}

TEST(InstrumentText, LongLinesStopAt250Values) {
    std::string line;
    for (int i = 0; i < 300; ++i) line += (i == 249 ? "|" : "") + std::to_string(i % 16) + " ";
    Instrument inst;
    instrumentFromText("Type: Normal\n" + line, inst);
    const Envelope& volume = inst.envelopes[ENV_VOLUME];
    EXPECT_EQ(volume.length(), MAX_ENVELOPE_VALUES);
    EXPECT_EQ(volume.values[MAX_ENVELOPE_VALUES], END_MARKER);
    EXPECT_EQ(volume.loopPoint, 249);
    EXPECT_EQ(volume.values[249], (249 % 16) * 16);

    std::string text;
    ASSERT_TRUE(instrumentToText(inst, text));
    Instrument back;
    instrumentFromText(text, back);
    EXPECT_EQ(back.envelopes[ENV_VOLUME], volume);
}

#include <gtest/gtest.h>

#include "song/InstrumentText.h"
#include "tests/converter/TestData.h"

namespace {

void setEnvelope(Envelope& envelope, const std::vector<int>& values, int loopPoint) {
    std::fill(std::begin(envelope.values), std::end(envelope.values), 0);
    for (size_t i = 0; i < values.size(); ++i) envelope.values[i] = values[i];
    envelope.values[values.size()] = END_MARKER;
    envelope.loopPoint = loopPoint;
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

// Each paste of tests/data/song/instrument-paste.in, with the raw instrument it gives, against
// instrument-paste.txt.
TEST(InstrumentText, PastesGiveTheirInstruments) {
    std::ifstream in(BF_SOURCE_DIR "/tests/data/song/instrument-paste.in");
    std::ostringstream out;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("#")) continue;
        Instrument inst;
        if (line.starts_with("over|")) {
            line.erase(0, 5);
            inst.type = INST_PCM_SAW;
            setEnvelope(inst.envelopes[ENV_VOLUME], {1, 2, 3}, 2);
            setEnvelope(inst.envelopes[ENV_FINETUNE], {100, 150}, 1);
            const uint8_t pcm[2] = {5, 6};
            inst.pcm.assign(pcm, 2, true);
        }
        out << line << "\n";
        for (const auto& [from, to] : {std::pair{"\\n", "\n"}, {"\\r", "\r"}, {"\\t", "\t"}})
            for (size_t at; (at = line.find(from)) != std::string::npos;) line.replace(at, 2, to);
        instrumentFromText(line, inst);
        out << "  type " << inst.type << ", pcm " << inst.pcm.size << (inst.pcm.loop ? " looping" : "") << "\n";
        for (const Envelope& e : inst.envelopes) {
            out << "  loop " << e.loopPoint << ":";
            for (int i = 0; i <= MAX_ENVELOPE_VALUES; ++i) out << " " << e.values[i];
            out << "\n";
        }
    }
    expectTestData("song/instrument-paste.txt", out.str());
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

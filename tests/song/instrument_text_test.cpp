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

// Sample instruments have no text form: copying one leaves the text alone.
TEST(InstrumentText, SampleInstrumentsDoNotCopy) {
    for (InstrumentType type : {INST_PCM, INST_DPCM}) {
        Instrument inst;
        inst.type = type;
        std::string text = "untouched";
        EXPECT_FALSE(instrumentToText(inst, text));
        EXPECT_EQ(text, "untouched");
    }
}

// Each paste of tests/data/song/instrument-paste.in, with the raw instrument it gives and the
// text a copy of that instrument gives, against instrument-paste.txt.
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
        // The copy as the editor shows it, which pastes back to the same envelopes.
        std::string copy;
        ASSERT_TRUE(instrumentToText(inst, copy)) << line;
        out << "  copy ";
        for (char c : copy) out << (c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c));
        out << "\n";
        Instrument back;
        instrumentFromText(copy, back);
        EXPECT_EQ(back.type, inst.type) << line;
        for (int k = 0; k < ENVELOPE_COUNT; ++k) EXPECT_EQ(back.envelopes[k], inst.envelopes[k]) << line;
    }
    expectTestData("song/instrument-paste.txt", out.str());
}

#include <gtest/gtest.h>

#include <sstream>

#include "export/NsfCapture.h"
#include "song/Song.h"
#include "tests/ExpectedText.h"

namespace {

// Plays a scripted list of frames: each gives the position after it, and optionally a sample
// started by an instrument (kind, instrument) and the end-of-song flag.
struct ScriptedFrame {
    int order, row;
    int value = 0;  // put into pulse 1's duty/volume so stretches can be told apart
    int sampleKind = -1, instrument = 0;
    bool endOfSong = false;
};

class ScriptedSource : public NsfFrameSource {
  public:
    explicit ScriptedSource(std::vector<ScriptedFrame> script) : script_(std::move(script)) {}
    NsfFrameReport runFrame() override {
        // Past the script the song sits still with its flag set, as after a speed-0 row.
        const ScriptedFrame& s = next_ < script_.size() ? script_[next_] : script_.back();
        bool past = next_ >= script_.size();
        ++next_;
        NsfFrameReport r;
        r.values.fill(-1);
        r.values[NSF_PULSE1_DUTY_VOLUME] = s.value;
        r.values[NSF_DPCM_KIND] = kind_;
        r.values[NSF_DPCM_VALUE] = value_;
        if (!past && s.sampleKind >= 0) {
            r.values[NSF_DPCM_KIND] = kind_ = s.sampleKind;
            r.values[NSF_DPCM_VALUE] = value_ = s.instrument;
            r.sampleStarted = true;
        }
        r.order = s.order;
        r.row = s.row;
        r.endOfSong = s.endOfSong || past;
        return r;
    }
    void setSampleIndex(int index) override { value_ = index; }
    void beginStretch() override { kind_ = value_ = -1; }
    size_t framesRun() const { return next_; }

  private:
    std::vector<ScriptedFrame> script_;
    size_t next_ = 0;
    int kind_ = -1, value_ = -1;
};

}  // namespace

// A stretch ends when the position repeats one a stretch began at (the loop target), when the
// row goes backwards, or when the song stops.
TEST(NsfCapture, StretchesEndAndLoopWhereThePositionRepeats) {
    struct Case {
        const char* what;
        std::vector<ScriptedFrame> script;
        std::vector<size_t> sizes;
        int loopTarget;
    } cases[] = {
        // Orders 0, 1, 2; the last frame of order 2 jumps back to order 1 (as Bxx does).
        {"jump back",
         {{0, 1, 1}, {0, 2, 1}, {1, 0, 1}, {1, 1, 2}, {2, 0, 2}, {2, 1, 3}, {1, 0, 3}},
         {3, 2, 2},
         1},
        // A row going backwards inside one order (E6x-style loop) also ends the stretch.
        {"row back", {{0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {0, 0}}, {3, 3, 1}, 0},
        // Speed 0 on row 2: the flag ends the stretch there, the next starts at row 2 and lasts
        // one frame, and the one after would start there again.
        {"stops", {{0, 1}, {0, 2, 0, -1, 0, true}}, {2, 1}, 1},
        // Stopping on the row the stretch began at closes the loop at once.
        {"stops at once", {{0, 0, 0, -1, 0, true}}, {1}, 0},
    };
    auto song = std::make_unique<Song>();
    song->instrumentNames[1] = "Title";
    song->ntsc = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedSource src(c.script);
        NsfCapture cap = captureNsf(*song, src);
        std::vector<size_t> sizes;
        for (auto& st : cap.stretches) sizes.push_back(st.size());
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(cap.loopTarget, c.loopTarget);
        if (!c.script.back().endOfSong) {
            EXPECT_EQ(src.framesRun(), c.script.size());
        }
        EXPECT_EQ(cap.names[0], "Title");
        EXPECT_TRUE(cap.ntsc);
    }
}

TEST(NsfCapture, SamplesAreNumberedByFirstUseAndResendTheirKind) {
    auto song = std::make_unique<Song>();
    const uint8_t bytes[] = {1, 2, 3};
    song->instruments[9].dpcm.assign(bytes, 3, true);
    song->instruments[4].pcm.assign(bytes, 2, false);
    ScriptedSource src({{0, 1, 0, 1, 9},  // DPCM instrument 9 -> DPCM index 0
                        {0, 2, 0, 0, 4},  // PCM instrument 4 -> PCM index 0
                        {0, 3, 0, 1, 5},  // DPCM instrument 5 -> DPCM index 1
                        {0, 4, 0, 1, 9},  // instrument 9 again: index 0, kind resent
                        {0, 5},           // nothing started: the index stays
                        {1, 0, 0, 1, 9},
                        {1, 1},  // order 1 starts without a sample: its kind is left out
                        {0, 0}});
    // Per stretch and frame the DPCM kind, index and start flag (the frame that moves to order 1
    // still belongs to order 0), then the sample tables: kept in nsf/capture_samples.txt.
    NsfCapture cap = captureNsf(*song, src);
    std::ostringstream out;
    for (const auto& stretch : cap.stretches) {
        for (const NsfFrame& f : stretch)
            out << " " << f.values[NSF_DPCM_KIND] << "/" << f.values[NSF_DPCM_VALUE]
                << (f.sampleStart ? "!" : "");
        out << "\n";
    }
    for (const auto* table : {&cap.dpcmSamples, &cap.pcmSamples}) {
        for (const NsfSample& sample : *table) {
            for (uint8_t b : sample.bytes) out << int(b) << ",";
            out << (sample.loop ? " loop; " : "; ");
        }
        out << "\n";
    }
    expectTestData("nsf/capture_samples.txt", out.str());
}

TEST(NsfCapture, RefusesMoreStretchesThanTheDriverCanIndex) {
    auto song = std::make_unique<Song>();
    std::vector<ScriptedFrame> script;
    for (int k = 1; k < 300; ++k) script.push_back({k % 2, k / 2});  // a new order every frame
    ScriptedSource src(script);
    EXPECT_THROW(captureNsf(*song, src), std::runtime_error);
}

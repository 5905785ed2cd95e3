#include "export/NsfCapture.h"

#include <map>
#include <stdexcept>

#include "song/Song.h"

namespace {

NsfSample copySample(const SampleSlot& slot) {
    NsfSample sample;
    if (!slot.empty()) sample.bytes.assign(slot.data.get(), slot.data.get() + slot.size);
    sample.loop = slot.loop;
    return sample;
}

// Numbers the samples in the order the song first starts them, PCM and DPCM separately.
class SampleRegistry {
  public:
    explicit SampleRegistry(const Song& song, NsfCapture& capture) : song_(song), capture_(capture) {}

    // Index of the instrument's sample of the given kind, or −1 for a value that names no
    // instrument (the frame then starts nothing).
    int indexFor(int kind, int instrument) {
        if (instrument < 1 || instrument >= INSTRUMENT_SLOTS) return -1;
        bool dpcm = kind == NSF_DPCM_KIND_DPCM;
        auto& seen = dpcm ? dpcmIndex_ : pcmIndex_;
        auto found = seen.find(instrument);
        if (found != seen.end()) return found->second;
        auto& list = dpcm ? capture_.dpcmSamples : capture_.pcmSamples;
        const Instrument& inst = song_.instruments[instrument];
        list.push_back(copySample(dpcm ? inst.dpcm : inst.pcm));
        int index = int(list.size()) - 1;
        seen[instrument] = index;
        return index;
    }

  private:
    const Song& song_;
    NsfCapture& capture_;
    std::map<int, int> pcmIndex_, dpcmIndex_;
};

}  // namespace

NsfCapture captureNsf(const Song& song, NsfFrameSource& source) {
    NsfCapture capture;
    capture.ntsc = song.ntsc;
    for (int i = 0; i < 3; ++i) capture.names[i] = song.instrumentNames[i + 1];

    SampleRegistry samples(song, capture);
    std::map<int, int> stretchAt;  // order * 256 + row -> stretch index
    int order = 0, row = 0;
    for (;;) {
        int key = order * 256 + row;
        auto seen = stretchAt.find(key);
        if (seen != stretchAt.end()) {
            capture.loopTarget = seen->second;
            break;
        }
        if (int(capture.stretches.size()) >= NSF_MAX_STRETCHES)
            throw std::runtime_error("The song is too long for NSF export");
        stretchAt[key] = int(capture.stretches.size());

        std::vector<NsfFrame> frames;
        const int stretchOrder = order;
        source.beginStretch();
        for (;;) {
            const int rowBefore = row;
            NsfFrameReport report = source.runFrame();
            NsfFrame frame;
            frame.values = report.values;
            const int kind = frame.values[NSF_DPCM_KIND];
            if (report.sampleStarted && (kind == NSF_DPCM_KIND_PCM || kind == NSF_DPCM_KIND_DPCM)) {
                int index = samples.indexFor(kind, frame.values[NSF_DPCM_VALUE]);
                if (index >= 0) {
                    frame.values[NSF_DPCM_VALUE] = index;
                    frame.sampleStart = true;
                    source.setSampleIndex(index);
                }
            }
            frames.push_back(frame);
            order = report.order;
            row = report.row;
            if (row < rowBefore || order != stretchOrder || report.endOfSong) break;
            // A stretch that never ends on its own (a row that does not advance) is cut; the
            // next stretch starts at the same position and closes the loop.
            if (int(frames.size()) >= NSF_MAX_STRETCH_FRAMES) break;
        }
        capture.stretches.push_back(std::move(frames));
    }
    return capture;
}

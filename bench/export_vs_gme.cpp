// The whole-song render of a song (the demo song by default) against libgme playing our NSF of
// the same song for the same length, CPU time of this process, best of several runs each. Prints
// both, their ratio, and a checksum of our samples so that optimisations can show the output
// stayed the same. Both sides hand their samples to something that drops them, as libgme's
// block buffer does; the render with the checksum as its sink is timed and printed beside.

#include <gme/gme.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "apu/Apu.h"
#include "export/NsfExport.h"
#include "player/Player.h"
#include "player/StreamRender.h"
#include "song/SongFile.h"

namespace {

double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// FNV-1a over the samples, and their count.
struct Checksum : SampleSink {
    uint64_t hash = 1469598103934665603ull;
    long count = 0;
    bool write(const int16_t* s, size_t n) override {
        for (size_t i = 0; i < n; ++i) {
            hash = (hash ^ uint16_t(s[i])) * 1099511628211ull;
        }
        count += long(n);
        return true;
    }
};

// Takes the samples and drops them, as the libgme side does with its block.
struct Discard : SampleSink {
    long count = 0;
    bool write(const int16_t*, size_t n) override {
        count += long(n);
        return true;
    }
};

// Best CPU time of `runs` whole-song renders into a fresh `Sink` each; the last sink is kept.
template <class Sink>
double timeRender(Song& song, int runs, Sink& last) {
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        Nonlinear_Buffer buffer;
        Apu apu(buffer);
        Player player(song, apu);
        Sink sink;
        const double start = cpuSeconds();
        renderStream(player, apu, RenderOptions{}, sink);
        best = std::min(best, cpuSeconds() - start);
        last = sink;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : std::string(BF_SOURCE_DIR) + "/examples/demo.zcm";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    if (!loadSongFile(*song, path, hooks)) {
        std::fprintf(stderr, "Error: cannot load %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> nsf;
    {
        Nonlinear_Buffer buffer;
        Apu apu(buffer);
        Player player(*song, apu);
        std::string error;
        if (!exportNsf(player, nsf, &error)) {
            std::fprintf(stderr, "Error: NSF export failed: %s\n", error.c_str());
            return 1;
        }
    }

    double theirs = 1e9;
    Checksum sum;
    const double checked = timeRender(*song, runs, sum);
    Discard dropped;
    const double ours = timeRender(*song, runs, dropped);
    if (dropped.count != sum.count) {
        std::fprintf(stderr, "Error: the renders differ in length\n");
        return 1;
    }
    const long rate = 44100;
    for (int run = 0; run < runs; ++run) {
        Music_Emu* emu = nullptr;
        if (gme_open_data(nsf.data(), long(nsf.size()), &emu, int(rate)) || !emu) {
            std::fprintf(stderr, "Error: libgme cannot open the NSF\n");
            return 1;
        }
        gme_ignore_silence(emu, 1);
        std::vector<short> block(2 * 4096);
        const double start = cpuSeconds();
        gme_start_track(emu, 0);
        for (long done = 0; done < sum.count; done += 4096) gme_play(emu, int(block.size()), block.data());
        theirs = std::min(theirs, cpuSeconds() - start);
        gme_delete(emu);
    }
    const double seconds = double(sum.count) / double(rate);
    std::printf("song: %.1f s of audio, %ld samples, checksum %016llx\n", seconds, sum.count,
                static_cast<unsigned long long>(sum.hash));
    std::printf("bleepforge render: %.3f s CPU (%.0fx real time)\n", ours, seconds / ours);
    std::printf("  with checksum:   %.3f s CPU (%.0fx real time)\n", checked, seconds / checked);
    std::printf("libgme NSF play:   %.3f s CPU (%.0fx real time)\n", theirs, seconds / theirs);
    std::printf("ratio: %.2fx\n", theirs / ours);
    return 0;
}

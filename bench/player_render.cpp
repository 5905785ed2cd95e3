// Offline render speed of the demo song through the player, APU and output buffer, in multiples
// of real time on one core. Prints the best of several runs.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "apu/Apu.h"
#include "player/OfflinePlayback.h"
#include "song/SongFile.h"

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : std::string(BF_SOURCE_DIR) + "/examples/demo.zcm";
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    if (!loadSongFile(*song, path, hooks)) {
        std::fprintf(stderr, "Error: cannot load %s\n", path.c_str());
        return 1;
    }
    double best = 0.0, audioSeconds = 0.0;
    for (int run = 0; run < 5; ++run) {
        song->speed = 6;
        song->tempo = 125;
        Nonlinear_Buffer buffer;
        Apu apu(buffer);
        Player player(*song, apu);
        auto start = std::chrono::steady_clock::now();
        // Samples are handed on frame by frame, as to a sound device, so only the engine counts.
        OfflinePlayback playback(player, apu, 44100);
        playback.startSong();
        std::vector<int16_t> frame;
        long samples = 0;
        while (!playback.finished() && playback.frames() < 30000) {
            frame.clear();
            playback.runFrame(&frame);
            samples += long(frame.size());
        }
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        audioSeconds = double(samples) / 44100.0;
        best = std::max(best, audioSeconds / elapsed);
    }
    std::printf("player_render: %.1f s of audio, %.0fx real time\n", audioSeconds, best);
    return 0;
}

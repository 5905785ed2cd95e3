#include <gme/gme.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>

#include "apu/Apu.h"
#include "export/NsfExport.h"
#include "player/Player.h"
#include "song/SongFile.h"

// An independent NSF player accepts the file, runs init and the never-returning play routine,
// and the example song comes out as sound, not silence.
TEST(NsfGme, ExampleSongPlaysInAnotherPlayer) {
    std::ifstream in(BF_SOURCE_DIR "/examples/demo.zcm", std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    ASSERT_TRUE(loadSong(*song, bytes.data(), bytes.size(), hooks));
    auto buffer = std::make_unique<Nonlinear_Buffer>();
    auto apu = std::make_unique<Apu>(*buffer);
    Player player(*song, *apu);
    std::vector<uint8_t> nsf;
    ASSERT_TRUE(exportNsf(player, nsf));

    Music_Emu* emu = nullptr;
    ASSERT_EQ(gme_open_data(nsf.data(), long(nsf.size()), &emu, 44100), nullptr);
    std::unique_ptr<Music_Emu, void (*)(Music_Emu*)> owner(emu, gme_delete);
    EXPECT_EQ(gme_track_count(emu), 1);
    gme_ignore_silence(emu, 1);
    ASSERT_EQ(gme_start_track(emu, 0), nullptr);
    std::vector<short> stereo(2 * 44100);
    double loudest = 0;
    for (int second = 0; second < 3; ++second) {
        ASSERT_EQ(gme_play(emu, int(stereo.size()), stereo.data()), nullptr);
        double sum = 0;
        for (size_t i = 0; i < stereo.size(); i += 2) sum += double(stereo[i]) * stereo[i];
        loudest = std::max(loudest, std::sqrt(sum / double(stereo.size() / 2)));
    }
    EXPECT_GT(loudest, 500.0);
}

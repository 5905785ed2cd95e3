#pragma once
// A song with its own APU and Player, for exporting to NSF and rendering ourselves.

#include <gtest/gtest.h>

#include <memory>

#include "apu/Apu.h"
#include "export/NsfExport.h"
#include "player/Player.h"
#include "song/SongFile.h"

struct SongRig {
    std::unique_ptr<Song> song = std::make_unique<Song>();
    std::unique_ptr<Nonlinear_Buffer> buffer = std::make_unique<Nonlinear_Buffer>();
    std::unique_ptr<Apu> apu = std::make_unique<Apu>(*buffer);
    std::unique_ptr<Player> player;  // made on first use, once the song is set up

    bool load(const std::string& path = BF_SOURCE_DIR "/examples/demo.zcm") {
        SongLoadHooks hooks;
        return loadSongFile(*song, path, hooks);
    }
    Player& play() {
        if (!player) player = std::make_unique<Player>(*song, *apu);
        return *player;
    }
    std::vector<uint8_t> nsf() {
        std::vector<uint8_t> file;
        EXPECT_TRUE(exportNsf(play(), file));
        return file;
    }
};

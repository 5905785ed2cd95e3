#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/FramePacer.h"
#include "song/SongFile.h"
#include "tests/app/EditorRig.h"

// "TARGET NxTIME...": a pacer for TARGET frames a second, then N frames drawn at TIME, TIME+1, ...
// per group; its target, its delay at the start and after each group.
TEST(FramePacer, DelayStartsAtFrameTimeAndCreepsByOneMillisecondPerSecond) {
    expectTable("app/frame_pacer", [](const std::string& in) {
        std::istringstream f(in);
        int target;
        f >> target;
        FramePacer p(target);
        std::string out = "target " + std::to_string(p.target()) + ": " + std::to_string(p.delay());
        for (uint32_t n, t; f >> n && f.ignore() && f >> t;) {
            for (uint32_t i = 0; i < n; ++i) p.frameDrawn(t + i);
            out += " " + std::to_string(p.delay());
        }
        return out;
    });
}

// Where the user's configuration and the backdrop are looked for, as "user EXE-DIR XDG HOME
// EXISTING" and "backdrop SETTING CONFIG EXE-DIR EXISTING" ("-" for unset or empty).
TEST(ConfigPaths, AsLookedFor) {
    expectTable("app/config_paths", [](const std::string& in) {
        std::istringstream f(in);
        std::string kind, w[4];
        f >> kind >> w[0] >> w[1] >> w[2] >> w[3];
        for (std::string& x : w) x = x == "-" ? "" : x;
        auto exists = [&](const std::string& p) { return p == w[3]; };
        if (kind == "backdrop") return backdropPath(w[0], w[1], w[2], exists);
        return userConfigPath(w[0], w[1].empty() ? nullptr : w[1].c_str(),
                              w[2].empty() ? nullptr : w[2].c_str(), exists);
    });
}

TEST(Program, MainLoopHandlesQuitDropsStatusAndBackup) {
    EditorRig r;  // 25 frames a second, started a second after the clock's zero
    r.settings.targetFps = 25;
    r.host.now = 1000;
    TempDir folder;
    const std::filesystem::path& dir = folder.dir;
    r.program->backupPath = (dir / "backup.zcm").string();

    // A song file to drop, and a file that is not a song.
    r.song->patterns[0].at(0, 0).note = 50;
    ASSERT_TRUE(saveSong(*r.song, (dir / "song.zcm").string()));
    r.song->patterns[0].at(0, 0).note = 0;
    std::ofstream(dir / "junk.txt") << "not a song";

    AppEvent drop;
    drop.kind = AppEvent::FileDrop;
    drop.path = (dir / "junk.txt").string();
    r.host.events.push_back(drop);
    r.program->runPass();
    EXPECT_EQ(r.edit.status.text, "Couldn't open file!");
    EXPECT_FALSE(std::filesystem::exists(dir / "backup.zcm"));

    drop.path = (dir / "song.zcm").string();
    r.host.events.push_back(drop);
    r.host.now = 300001;  // five minutes and a millisecond: the first backup is due
    r.program->runPass();
    EXPECT_EQ(r.edit.status.text, "File succesfully opened!");
    EXPECT_EQ(r.song->patterns[0].at(0, 0).note, 50);
    EXPECT_TRUE(std::filesystem::exists(dir / "backup.zcm"));
    EXPECT_EQ(r.canvas.ops.back().kind, DrawOp::End);

    AppEvent quit;
    quit.kind = AppEvent::Quit;
    r.host.events.push_back(quit);
    r.program->runMainLoop();  // returns after the pass that saw the quit
    EXPECT_FALSE(r.program->running);
    // One pass, long after start: the first rate check already took 1 ms off the 40 ms delay.
    EXPECT_EQ(r.host.delays, std::vector<uint32_t>{39});
}

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "app/FramePacer.h"
#include "song/SongFile.h"
#include "tests/app/EditorRig.h"

namespace {

// The main loop at 25 frames a second, started a second after the clock's zero.
struct Rig : EditorRig {
    Rig() {
        settings.targetFps = 25;
        host.now = 1000;
    }
};

}  // namespace

TEST(FramePacer, DelayStartsAtFrameTimeAndCreepsByOneMillisecondPerSecond) {
    EXPECT_EQ(FramePacer(25).delay(), 40u);
    EXPECT_EQ(FramePacer(0).delay(), 40u);
    EXPECT_EQ(FramePacer(-3).target(), 25);
    EXPECT_EQ(FramePacer(1000).delay(), 1u);
    EXPECT_EQ(FramePacer(5000).delay(), 1u);

    const struct {
        int frames;
        uint32_t delay;
    } cases[] = {{25, 39}, {26, 41}, {10, 39}};
    for (const auto& c : cases) {
        FramePacer p(25);
        for (int i = 0; i < c.frames - 1; ++i) p.frameDrawn(100 + i);
        EXPECT_EQ(p.delay(), 40u);
        p.frameDrawn(1001);  // first pass past one second
        EXPECT_EQ(p.delay(), c.delay) << c.frames;
    }

    FramePacer fast(1000);
    fast.frameDrawn(1001);
    EXPECT_EQ(fast.delay(), 1u);  // never below 1 ms
    fast.frameDrawn(1500);        // within the next second: no change
    EXPECT_EQ(fast.delay(), 1u);
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
    Rig r;
    TempDir folder;
    const std::filesystem::path& dir = folder.dir;
    r.program->backupPath = (dir / "backup.zcm").string();

    // A song file to drop, and a file that is not a song.
    r.song->patterns[0].at(0, 0).note = 50;
    ASSERT_TRUE(saveSong(*r.song, (dir / "song.zcm").string()));
    r.song->patterns[0].at(0, 0).note = 0;
    {
        std::FILE* f = std::fopen((dir / "junk.txt").c_str(), "wb");
        std::fputs("not a song", f);
        std::fclose(f);
    }

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

TEST(GlobalCommands, CursorFollowsPlaybackOnTheMainThread) {
    for (bool follow : {true, false}) {
        EditorRig r;
        r.edit.cursorFollow = follow;
        r.press("SDLK_RCTRL");  // play song
        ASSERT_TRUE(r.player.playing);
        for (int i = 0; i < 40; ++i) r.player.frameTick();  // the audio thread's work
        ASSERT_GT(r.player.currentRow, 0);
        r.program->drawScreen();  // the main loop's redraw copies the position under the lock
        EXPECT_EQ(r.edit.cursor.row, follow ? r.player.currentRow : 0) << follow;
        EXPECT_EQ(r.lock.depth, 0);
    }
}

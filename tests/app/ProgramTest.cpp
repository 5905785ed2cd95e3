#include <gtest/gtest.h>

#include <sstream>

#include "app/FramePacer.h"
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

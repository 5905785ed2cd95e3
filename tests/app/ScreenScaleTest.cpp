#include <gtest/gtest.h>

#include <tuple>

#include "app/ScreenScale.h"

TEST(ScreenScale, ChoosesTheSettingOrTheLargestThatFits) {
    const std::tuple<int, int, int, int> cases[] = {
        // setting, work area, scale
        {3, 800, 600, 3},   {8, 100, 100, 8},   {0, 1024, 768, 1}, {0, 1920, 1050, 1},
        {0, 2560, 1400, 2}, {0, 3840, 2120, 3}, {0, 7680, 4320, 6}, {0, 30000, 30000, 8},
        {0, 0, 0, 1},       {9, 2560, 1400, 2},
    };
    for (const auto& [setting, w, h, scale] : cases)
        EXPECT_EQ(chooseWindowScale(setting, w, h), scale) << setting << " " << w << "x" << h;
}

TEST(ScreenScale, PlacesTheLargestWholeMultipleCentred) {
    const std::tuple<int, int, int, int, int> cases[] = {
        {794, 602, 1, 0, 0},    {1588, 1204, 2, 0, 0},  {1700, 1204, 2, 56, 0},
        {1587, 1300, 1, 396, 349}, {400, 300, 1, 0, 0},  {2400, 1300, 2, 406, 48},
    };
    for (const auto& [w, h, scale, x, y] : cases) {
        const ScreenPlacement p = placeScreen(w, h);
        EXPECT_EQ(std::make_tuple(p.scale, p.x, p.y), std::make_tuple(scale, x, y)) << w << "x" << h;
    }
}

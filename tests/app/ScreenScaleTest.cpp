#include <gtest/gtest.h>

#include <sstream>

#include "app/ScreenScale.h"
#include "tests/app/Golden.h"

// The window scale chosen from the setting and the work area, and the picture's place in a
// window of any size: the largest whole multiple that fits, centred.
TEST(ScreenScale, ChoiceAndPlacement) {
    expectTable("app/screen_scale", [](const std::string& in) {
        std::istringstream f(in);
        std::string kind;
        int a, b, c = 0;
        f >> kind >> a >> b >> c;
        if (kind == "choose") return std::to_string(chooseWindowScale(a, b, c));
        const ScreenPlacement p = placeScreen(a, b);
        return std::to_string(p.scale) + " at " + std::to_string(p.x) + "," + std::to_string(p.y);
    });
}

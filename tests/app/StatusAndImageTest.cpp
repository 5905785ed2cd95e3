#include <gtest/gtest.h>

#include <stdexcept>

#include "app/Image.h"
#include "app/StatusMessage.h"
#include "app/UriList.h"
#include "tests/app/Golden.h"

// A message's opacity by its age in ms: fading in, held, fading out, then gone (-1).
TEST(StatusMessage, OpacityFollowsAgeThroughFadeInHoldAndFadeOut) {
    StatusMessage s;
    s.text = "x";
    s.time = 10000;
    expectTable("app/status_opacity", [&](const std::string& age) {
        return std::to_string(statusOpacity(s, 10000 + std::stoul(age)));
    });
}

TEST(StatusMessage, QuickSuccessorAndEarlyMessages) {
    ManualClock clock;
    StatusMessage s;
    const struct {
        uint32_t now;
        const char* text;
        int opacity;
    } cases[] = {
        {5000, "Ready.", 0},    // fades in
        {5100, "Second", 255},  // within 255 ms of the first stamp: full strength at once
        {20000, "Later", 0},    // later: fades in again
    };
    for (const auto& c : cases) {
        clock.now = c.now;
        setStatus(s, clock, c.text);
        EXPECT_EQ(s.text, c.text);
        EXPECT_EQ(statusOpacity(s, clock.now), c.opacity) << c.now;
    }
    // The first message of a run comes a few ms after start, with the stamp still 0: it must not
    // wrap into "gone".
    StatusMessage early;
    clock.now = 40;
    setStatus(early, clock, "Ready.");
    EXPECT_EQ(statusOpacity(early, 40), 255);
    EXPECT_EQ(statusOpacity(early, 40 + 3244), 255);
    EXPECT_EQ(statusOpacity(early, 40 + 3500), -1);
}

TEST(Image, TextureLayoutPadsToPowerOfTwoSquare) {
    const struct {
        int w, h, side;
    } cases[] = {{784, 592, 1024}, {160, 288, 512}, {1, 1, 1}, {2000, 10, 2048}, {32, 32, 32}};
    for (const auto& c : cases) {
        Image img;
        img.width = c.w;
        img.height = c.h;
        img.pixels.assign(size_t(c.w) * c.h * 4, 0xAB);
        textureLayout(img);
        EXPECT_EQ(img.width, c.side);
        EXPECT_EQ(img.height, c.side);
        EXPECT_DOUBLE_EQ(img.scaleX, double(c.w) / c.side);
        EXPECT_DOUBLE_EQ(img.scaleY, double(c.h) / c.side);
        ASSERT_EQ(img.pixels.size(), size_t(c.side) * c.side * 4);
        // Last pixel of the picture copied, first pixel beyond it zero.
        const size_t last = ((size_t(c.h) - 1) * c.side + c.w - 1) * 4;
        EXPECT_EQ(img.pixels[last + 3], 0xAB);
        if (c.w < c.side) {
            EXPECT_EQ(img.pixels[last + 4], 0);
        }
        if (c.h < c.side) {
            EXPECT_EQ(img.pixels[size_t(c.h) * c.side * 4], 0);
        }
    }
}

TEST(Image, TextureLayoutRefusesInconsistentPictures) {
    Image shortData;
    shortData.width = shortData.height = 4;
    shortData.pixels.resize(4 * 4 * 4 - 1);
    EXPECT_THROW(textureLayout(shortData), std::runtime_error);
    Image empty;
    EXPECT_THROW(textureLayout(empty), std::runtime_error);
}

TEST(UriList, FirstLocalFileIsTakenAndDecoded) {
    expectTable("app/uri_list", [](const std::string& list) { return firstFileOfUriList(list); });
}

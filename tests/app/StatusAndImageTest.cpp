#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
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

// "set T" (a message stamped at T on a fresh clock's run) and "at T": the opacity then. A message
// within 255 ms of the one before shows at full strength at once; the first of a run, stamped a
// few ms after start, must not wrap into "gone".
TEST(StatusMessage, QuickSuccessorAndEarlyMessages) {
    expectTable("app/status_sequence", [](const std::string& in) {
        ManualClock clock;
        StatusMessage s;
        std::istringstream f(in);
        std::string out, verb;
        for (uint32_t t; f >> verb >> t; out += std::to_string(statusOpacity(s, t)) + " ") {
            clock.now = t;
            if (verb == "set") setStatus(s, clock, "m" + std::to_string(t));
        }
        return out + s.text;
    });
}

// "WIDTH HEIGHT [BYTES]" of a picture filled with 0xAB: the square power-of-two side, scales, the
// last picture pixel's alpha and the bytes right of it and below it (0 once padded), or "refused".
TEST(Image, TextureLayoutPadsToPowerOfTwoSquare) {
    expectTable("app/texture_layout", [](const std::string& in) {
        Image img;
        size_t bytes = 0;
        std::sscanf(in.c_str(), "%d %d %zu", &img.width, &img.height, &bytes);
        const int w = img.width, h = img.height;
        img.pixels.assign(bytes ? bytes : size_t(w) * h * 4, 0xAB);
        try {
            textureLayout(img);
        } catch (const std::runtime_error&) {
            return std::string("refused");
        }
        const size_t last = ((size_t(h) - 1) * img.width + w - 1) * 4;
        const size_t at[] = {last + 3, last + 4, size_t(h) * img.width * 4};
        char out[160];
        std::snprintf(out, sizeof out, "%dx%d %zu bytes, scale %.17g %.17g,", img.width, img.height,
                      img.pixels.size(), img.scaleX, img.scaleY);
        std::string s = out;
        for (size_t i : at) s += i < img.pixels.size() ? " " + std::to_string(img.pixels[i]) : " -";
        return s;
    });
}

TEST(UriList, FirstLocalFileIsTakenAndDecoded) {
    expectTable("app/uri_list", [](const std::string& list) { return firstFileOfUriList(list); });
}

// Answers kept as tables in tests/data/app/: cells as the pattern view shows them, the window's
// scale, frame pacing, where the configuration is looked for, status fading, textures, dropped files.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "app/CellFormat.h"
#include "app/FramePacer.h"
#include "app/Image.h"
#include "app/MainScreen.h"
#include "app/Program.h"
#include "app/ScreenScale.h"
#include "app/StatusMessage.h"
#include "app/UriList.h"
#include "tests/app/Golden.h"

TEST(Tables, AnswersAsKept) {
    auto song = std::make_unique<Song>();
    // Instrument 1 plays relative notes, 2 an empty note envelope, 3 only absolute notes, 4 absolute
    // then relative ones, 5 PCM, 6 DPCM.
    const auto notes = [&](int i) { return song->instruments[i].envelopes[ENV_NOTE].values; };
    notes(2)[0] = END_MARKER;
    notes(3)[0] = 0x80 | 40, notes(3)[1] = 0x80 | 52, notes(3)[2] = END_MARKER;
    notes(4)[0] = 0x80 | 40, notes(4)[1] = 64, notes(4)[2] = END_MARKER;
    song->instruments[5].type = INST_PCM;
    song->instruments[6].type = INST_DPCM;
    using Answer = std::function<std::string(const std::string&)>;
    const std::map<std::string, Answer> tables = {
        {"cell_format",
         [&](const std::string& in) {
             std::istringstream fields(in);
             int note, instrument, command, parameter, channel;
             fields >> note >> instrument >> command >> parameter >> channel;
             PatternCell c{uint8_t(note), uint8_t(instrument), 0, 0};
             c.setEffect(command, parameter);
             const CellText t = formatCell(c, channel, *song);
             return t.note + "|" + t.instrument + "|" + t.effect + "|" + t.parameter;
         }},
        // The picture's place in a window of any size: the largest whole multiple that fits, centred.
        {"screen_scale",
         [](const std::string& in) {
             std::istringstream f(in);
             std::string kind;
             int a, b, c = 0;
             f >> kind >> a >> b >> c;
             if (kind == "choose") return std::to_string(chooseWindowScale(a, b, c));
             const ScreenPlacement p = placeScreen(a, b);
             return std::to_string(p.scale) + " at " + std::to_string(p.x) + "," + std::to_string(p.y);
         }},
        // N frames drawn at TIME, TIME+1, ... per group: the delay starts at the frame time and creeps
        // by a millisecond a second.
        {"frame_pacer",
         [](const std::string& in) {
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
         }},
        {"config_paths",
         [](const std::string& in) {
             std::istringstream f(in);
             std::string kind, w[4];
             f >> kind >> w[0] >> w[1] >> w[2] >> w[3];
             for (std::string& x : w) x = x == "-" ? "" : x;
             auto exists = [&](const std::string& p) { return p == w[3]; };
             if (kind == "backdrop") return backdropPath(w[0], w[1], w[2], exists);
             return userConfigPath(w[0], w[1].empty() ? nullptr : w[1].c_str(),
                                   w[2].empty() ? nullptr : w[2].c_str(), exists);
         }},
        // A message within 255 ms of the one before shows at once; the first, stamped just after
        // start, must not wrap.
        {"status_sequence",
         [](const std::string& in) {
             ManualClock clock;
             StatusMessage s;
             std::istringstream f(in);
             std::string out, verb;
             for (uint32_t t; f >> verb >> t; out += std::to_string(statusOpacity(s, t)) + " ") {
                 clock.now = t;
                 if (verb == "set") setStatus(s, clock, "m" + std::to_string(t));
             }
             return out + s.text;
         }},
        // Textures are power-of-two squares; a 0xAB picture shows the padding is 0.
        {"texture_layout",
         [](const std::string& in) {
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
         }},
        // The first local file of a dropped list, decoded.
        {"uri_list", [](const std::string& list) { return firstFileOfUriList(list); }}};
    for (const auto& [name, answer] : tables) expectTable("app/" + name, answer);
}

// The pulse of the active order bar and the cursor.
TEST(MainScreen, PulseStaysWithinItsRange) {
    int lo = 1000, hi = 0;
    for (uint32_t t = 0; t < 1000; ++t) lo = std::min(lo, pulseValue(t)), hi = std::max(hi, pulseValue(t));
    EXPECT_EQ(std::make_tuple(lo, pulseValue(0), pulseValue(500)), std::make_tuple(127, 191, 191));
    EXPECT_TRUE(hi == 254 || hi == 255) << hi;
}

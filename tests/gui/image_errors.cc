// Image decoding as the program does it: the built-in pictures decode to their documented
// sizes, and failures carry the messages the start-up reports. Needs no display: every failure
// is found before a texture would be made.

#include <GL/gl.h>

#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "assets/BuiltinAssets.h"
#include "platform/Images.h"

namespace {

int failures = 0;

void check(const std::string& what, bool ok) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok) ++failures;
}

std::string messageOf(void (*f)()) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

}  // namespace

int main() {
    Image font, backdrop, icon;
    check("font decodes to 160 x 288 grey + alpha",
          decodeImage(builtinFontPng, builtinFontPngSize, font) && font.width == 160 && font.height == 288 &&
              font.components == 2 && font.pixels.size() == 160u * 288 * 4);
    check("backdrop decodes to 784 x 592 RGB",
          decodeImage(builtinBackdropPng, builtinBackdropPngSize, backdrop) && backdrop.width == 784 &&
              backdrop.height == 592 && backdrop.components == 3);
    check("icon decodes to 32 x 32",
          decodeImage(builtinIconPng, builtinIconPngSize, icon) && icon.width == 32);

    std::string m = messageOf([] { loadImageFromFile("/nonexistent/user-background.bmp", GL_LINEAR); });
    check("missing file: " + m, m == "couldn't load image '/nonexistent/user-background.bmp': can't fopen");

    static std::string path = "/tmp/bf_image_errors_" + std::to_string(getpid()) + ".png";
    const char* notImage = path.c_str();
    if (std::FILE* f = std::fopen(notImage, "wb")) {
        std::fputs("this is text, not a picture", f);
        std::fclose(f);
    }
    m = messageOf([] { loadImageFromFile(path, GL_LINEAR); });
    const std::string prefix = "couldn't load image '" + path + "': ";
    check("not an image: " + m, m.compare(0, prefix.size(), prefix) == 0 && m.size() > prefix.size());
    std::remove(notImage);

    m = messageOf([] {
        static const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8};
        loadImageFromMemory(junk, sizeof junk, GL_NEAREST);
    });
    const std::string memoryPrefix = "couldn't load image from memory: ";
    check("bytes that are no image: " + m,
          m.compare(0, memoryPrefix.size(), memoryPrefix) == 0 && m.size() > memoryPrefix.size());

    // A PNG cut short must fail cleanly, never read past the bytes given.
    Image cut;
    check("a truncated PNG is refused", !decodeImage(builtinFontPng, builtinFontPngSize / 2, cut));
    return failures ? 1 : 0;
}

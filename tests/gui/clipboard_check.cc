// The clipboard against another X client (xclip), run through xvfb-run: prints one line per check
// and exits 0 when all pass.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/X11Clipboard.h"

namespace {

int failures = 0;

void check(const std::string& what, bool ok, const std::string& detail = "") {
    std::printf("%s: %s%s%s\n", ok ? "ok" : "FAILED", what.c_str(), detail.empty() ? "" : " - ",
                detail.c_str());
    if (!ok) ++failures;
}

// What xclip reads from the clipboard as `target`, served meanwhile.
std::string xclipReads(X11Clipboard& clipboard, const std::string& target) {
    std::atomic<bool> done{false};
    std::thread server([&] {
        while (!done) {
            clipboard.serveRequests();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::string out;
    if (std::FILE* p = popen(("timeout 10 xclip -o -selection clipboard -t " + target).c_str(), "r")) {
        char buf[256];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    done = true;
    server.join();
    return out;
}

}  // namespace

int main() {
    X11Clipboard clipboard;
    const std::string text = "Bleepforge instrument\n\xE2\x99\xAA volume 15 14 13\n";
    check("putText takes the clipboard", clipboard.putText(text));
    for (const std::string target : {"UTF8_STRING", "TARGETS", "STRING"}) {
        const std::string got = xclipReads(clipboard, target);
        check("another program reads our text as " + target,
              target == "TARGETS" ? got.find("UTF8_STRING") != std::string::npos : got == text, got);
    }

    // Another program takes the clipboard; its text is read back. xclip takes it from a background
    // process that may still be starting.
    std::system("printf 'from another program' | timeout 10 xclip -i -selection clipboard");
    std::string pasted;
    bool ok = false;
    for (int i = 0; i < 200 && !ok; ++i) {
        ok = clipboard.getText(pasted) && pasted == "from another program";
        if (!ok) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    check("getText reads another program's text", ok, pasted);

    check("putText again", clipboard.putText("mine"));
    check("getText of our own text", clipboard.getText(pasted) && pasted == "mine", pasted);
    return failures ? 1 : 0;
}

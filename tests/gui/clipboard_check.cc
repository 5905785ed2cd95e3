// The clipboard against another X client (xclip), under a virtual X server:
//   clipboard_check      (run through xvfb-run; xclip must be installed)
// Prints one line per check and exits 0 when all pass.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/X11Clipboard.h"

namespace {

int failures = 0;

void check(const char* what, bool ok, const std::string& detail = "") {
    std::printf("%s: %s%s%s\n", ok ? "ok" : "FAILED", what, detail.empty() ? "" : " - ", detail.c_str());
    if (!ok) ++failures;
}

// Runs a shell command and returns its output, serving clipboard requests meanwhile.
std::string runServing(X11Clipboard& clipboard, const char* command) {
    std::atomic<bool> done{false};
    std::thread server([&] {
        while (!done) {
            clipboard.serveRequests();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::string out;
    if (std::FILE* p = popen(command, "r")) {
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
    std::string got = runServing(clipboard, "timeout 10 xclip -o -selection clipboard");
    check("another program reads our text", got == text, got);
    got = runServing(clipboard, "timeout 10 xclip -o -selection clipboard -t TARGETS");
    check("TARGETS offers UTF8_STRING", got.find("UTF8_STRING") != std::string::npos, got);
    got = runServing(clipboard, "timeout 10 xclip -o -selection clipboard -t STRING");
    check("STRING is served too", got == text, got);

    // Another program takes the clipboard; its text is read back.
    std::system("printf 'from another program' | timeout 10 xclip -i -selection clipboard");
    // xclip takes the clipboard from a background process that may still be starting.
    std::string pasted;
    bool ok = false;
    for (int i = 0; i < 200; ++i) {
        ok = clipboard.getText(pasted) && pasted == "from another program";
        if (ok) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    check("getText reads another program's text", ok, pasted);

    check("putText again", clipboard.putText("mine"));
    check("getText of our own text", clipboard.getText(pasted) && pasted == "mine", pasted);
    return failures ? 1 : 0;
}

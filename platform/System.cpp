#include "platform/System.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace {

// Runs a program found on PATH with the given arguments and waits for it. No shell is involved,
// so the message text cannot be taken for commands. False when the program could not be started.
bool runAndWait(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    // A shell-less spawn of a missing program may still start the child and fail in it with 127.
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
}

void showMessageBox(const std::string& text) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return;
    if (runAndWait({"zenity", "--error", "--no-markup", "--title=Bleepforge", "--text=" + text})) return;
    runAndWait({"xmessage", "-title", "Bleepforge", "-center", "-buttons", "OK:0", text});
}

}  // namespace

std::string executableDirectory() {
    std::vector<char> buf(4096);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return "./";
    std::string path(buf.data(), size_t(n));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "./";
    return path.substr(0, slash + 1);
}

void reportFatalError(const std::string& message) {
    std::fprintf(stderr, "Error: %s\n", message.c_str());
    std::fflush(stderr);
    showMessageBox("Error:\n\n" + message);
}

void reportUnknownError() {
    std::fprintf(stderr, "Unknown error occurred.\n");
    std::fflush(stderr);
    showMessageBox("Unknown error occurred.");
}

// The program's entry: the converter's turn, then the configuration, the window, the sound device
// and the main loop. Any exception that reaches this level ends the program with exit code 1 and
// an error box.

#include <GL/gl.h>
#include <SDL.h>

#include <sys/stat.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "app/Backups.h"
#include "app/EditingState.h"
#include "app/KeyboardFileDialogs.h"
#include "app/Program.h"
#include "apu/Apu.h"
#include "apu/Nonlinear_Buffer.h"
#include "assets/BuiltinAssets.h"
#include "config/ConfigFile.h"
#include "config/StartupConfig.h"
#include "platform/Audio.h"
#include "platform/GlCanvas.h"
#include "platform/Images.h"
#include "platform/System.h"
#include "platform/Window.h"
#include "player/AudioRenderer.h"
#include "player/Player.h"

namespace {

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void renderCallback(void* context, int16_t* output, long count) {
    static_cast<AudioRenderer*>(context)->renderAudio(output, count);
}

int runEditor(int argc, char** argv) {
    const std::string exeDir = executableDirectory();
    ConfigFile config;
    KeyBindings bindings;
    const std::string userConfig =
        userConfigPath(exeDir, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), fileExists);
    std::ifstream userFile(userConfig, std::ios::binary);
    const GeneralSettings settings =
        loadStartupConfiguration(config, userFile ? &userFile : nullptr, bindings);

    preferDirectWindowDrawing();
    SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO);
    int windowWidth = WINDOW_WIDTH, windowHeight = WINDOW_HEIGHT;
    openWindow(settings.windowTitle, settings.windowScale, windowWidth, windowHeight);

    auto song = std::make_unique<Song>();
    auto output = std::make_unique<Nonlinear_Buffer>();
    auto apu = std::make_unique<Apu>(*output);
    auto player = std::make_unique<Player>(*song, *apu);
    auto edit = std::make_unique<EditingState>();
    initialiseSong(*song);

    const Image font = loadImageFromMemory(builtinFontPng, builtinFontPngSize, GL_NEAREST);
    Image backdrop;
    try {
        backdrop = loadImageFromFile(
            backdropPath(settings.backgroundImage, userFile ? userConfig : "", exeDir, fileExists), GL_LINEAR);
    } catch (const std::exception&) {
        backdrop = loadImageFromMemory(builtinBackdropPng, builtinBackdropPngSize, GL_LINEAR);
    }

    GlCanvas canvas(font);
    canvas.setWindowSize(windowWidth, windowHeight);
    SdlHost host;
    host.onResize = [&canvas](int width, int height) { canvas.setWindowSize(width, height); };
    SdlAudioLock audioLock;
    Program program(*song, *player, *edit, bindings, settings, audioLock, canvas, host);
    program.backdrop = &backdrop;
    program.backupDirectory = backupDirectory(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
    // Closing the window while a dialog is open cancels the dialog and ends the program.
    KeyboardFileDialogs dialogs(canvas, host, [&program] { program.running = false; });
    dialogs.backdrop = &backdrop;
    program.setFileDialogs(&dialogs);
    program.setClipboard(&host.clipboard());
    // Test hooks, unset in normal use: BLEEPFORGE_TEST_BACKUP_MS replaces the five-minute backup
    // interval (milliseconds, so a window check can see a backup written), and
    // BLEEPFORGE_REDRAW_TIMING=N prints the average time of a redraw every N redraws to stderr, and
    // BLEEPFORGE_TEST_STATUS_LOG=1 writes every status text to stderr as "status: TEXT".
    if (const char* ms = std::getenv("BLEEPFORGE_TEST_BACKUP_MS")) {
        const long value = std::strtol(ms, nullptr, 10);
        if (value > 0) program.backupIntervalMs = uint32_t(std::min(value, long(BACKUP_INTERVAL_MS)));
    }
    if (const char* frames = std::getenv("BLEEPFORGE_REDRAW_TIMING"))
        program.redrawTimingFrames = int(std::clamp(std::strtol(frames, nullptr, 10), 0L, 100000L));
    if (const char* log = std::getenv("BLEEPFORGE_TEST_STATUS_LOG"); log && std::string(log) == "1")
        program.statusObserver = [](const std::string& text) {
            std::fprintf(stderr, "status: %s\n", text.c_str());
        };
    program.setStatus("Ready.");
    if (argc > 1) program.openSong(argv[1]);

    AudioRenderer renderer(*player, *apu);
    if (const char* error = initPlayback(*player, *apu, settings.sampleRate)) throw std::runtime_error(error);
    openAudio(settings.sampleRate, uint16_t(settings.audioBuffer), renderCallback, &renderer);
    {
        AudioLockGuard guard(audioLock);
        player->reset();
    }

    program.runMainLoop();

    SDL_CloseAudio();
    SDL_Quit();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (std::optional<int> verdict = converterHook(argc, argv)) return *verdict;
        return runEditor(argc, argv);
    } catch (const std::exception& e) {
        reportFatalError(e.what());
    } catch (...) {
        reportUnknownError();
    }
    return 1;
}

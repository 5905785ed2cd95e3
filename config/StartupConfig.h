#pragma once
// Everything the program loads from its configuration at start-up, in the program's own order,
// so that the entry and `bleepforge-cli check-config` fail on the same first error.

#include <cstdint>
#include <istream>
#include <string>

#include "config/ConfigFile.h"
#include "config/KeyBindings.h"

// The "general" settings as read from the configuration (raw values; their users apply their own
// rules, e.g. a target rate below 1 means 25).
struct GeneralSettings {
    std::string windowTitle;
    std::string rowNumbering;     // "hex" numbers rows in hexadecimal; anything else in decimal
    int32_t targetFps = 0;        // redraws per second the main loop paces itself to
    int32_t sampleRate = 0;       // audio output rate in Hz
    int32_t audioBuffer = 0;      // sound device buffer size in samples
    std::string backgroundImage;  // relative to the program's directory
    int32_t windowScale = 0;      // 1-8, or 0 for "auto" (the largest that fits the screen)
    // "save wav": how often the song is played through to its loop point (1-16), the seconds
    // of fade-out added after it (0-600), and one file per channel instead of the mix.
    int32_t audioExportPasses = 1;
    double audioExportFade = 0.0;
    bool audioExportStems = false;
};

// The name used when the configuration has no "background image" setting.
inline constexpr const char* kDefaultBackgroundImage = "user-background.bmp";

// Parses the built-in text and then, when userFile is not null, the user's file into config;
// reads "sample rate", loads all bindings (registerHandlers as for loadBindings), then reads
// "window title", "background image" (a missing one falls back to kDefaultBackgroundImage),
// "audio buffer", "target fps", "row numbering", "window scale" (see parseWindowScale) and the
// three "audio export" settings (missing ones keep their defaults). Throws the first failure as
// std::runtime_error with the parser's message.
// "window scale": a whole number 1-8 is that scale; "auto", and anything else (including numbers
// outside 1-8, and a missing setting), is 0, the automatic choice.
int32_t parseWindowScale(const std::string& value);

// The audio export settings are read leniently, as "window scale" is: a value that cannot be
// used gives the default rather than keeping the program from starting.
// "audio export passes": a whole number 1-16, else 1.
int32_t parseAudioExportPasses(const std::string& value);
// "audio export fade": seconds from 0 to 600 (fractions allowed), else 0.
double parseAudioExportFade(const std::string& value);
// "audio export stems": "on", "yes", "true" or "1" (any case) turn it on; anything else is off.
bool parseAudioExportStems(const std::string& value);

GeneralSettings loadStartupConfiguration(ConfigFile& config, std::istream* userFile, KeyBindings& bindings,
                                         const HandlerRegistration& registerHandlers = {});

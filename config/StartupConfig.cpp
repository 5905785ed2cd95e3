// The start-up sequence of configuration reads.

#include "config/StartupConfig.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "config/DefaultConfig.h"

namespace {

std::string withoutBlanks(const std::string& value) {
    std::string v;
    for (char c : value)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') v += c;
    return v;
}

// The whole text as a finite number, or nothing.
bool parseNumber(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(out);
}

// Reads an optional setting: a user's file from before the setting existed still has the
// built-in default, but a configuration parsed without the built-in text may lack it.
template <typename T, typename Parse>
void readOptional(const ConfigFile& config, const char* key, T& into, Parse parse) {
    try {
        into = parse(config.get("general", key));
    } catch (const std::runtime_error&) {
    }
}

}  // namespace

int32_t parseWindowScale(const std::string& value) {
    const std::string v = withoutBlanks(value);
    if (v.size() == 1 && v[0] >= '1' && v[0] <= '8') return v[0] - '0';
    return 0;
}

int32_t parseAudioExportPasses(const std::string& value) {
    double n = 0.0;
    if (!parseNumber(withoutBlanks(value), n) || n < 1.0 || n > 16.0 || n != std::floor(n)) return 1;
    return int32_t(n);
}

double parseAudioExportFade(const std::string& value) {
    double seconds = 0.0;
    if (!parseNumber(withoutBlanks(value), seconds) || seconds < 0.0 || seconds > 600.0) return 0.0;
    return seconds;
}

bool parseAudioExportStems(const std::string& value) {
    std::string v = withoutBlanks(value);
    for (char& c : v) c = char(std::tolower(static_cast<unsigned char>(c)));
    return v == "on" || v == "yes" || v == "true" || v == "1";
}

GeneralSettings loadStartupConfiguration(ConfigFile& config, std::istream* userFile, KeyBindings& bindings,
                                         const HandlerRegistration& registerHandlers) {
    config.parseText(defaultConfigurationText());
    if (userFile) config.parse(*userFile);

    GeneralSettings settings;
    settings.sampleRate = config.getInt("general", "sample rate");
    loadBindings(config, bindings, registerHandlers);
    settings.windowTitle = config.get("general", "window title");
    try {
        settings.backgroundImage = config.get("general", "background image");
    } catch (const std::runtime_error&) {
        // The backdrop is optional: without the setting the program uses its usual file name.
        settings.backgroundImage = kDefaultBackgroundImage;
    }
    settings.audioBuffer = config.getInt("general", "audio buffer");
    settings.targetFps = config.getInt("general", "target fps");
    settings.rowNumbering = config.get("general", "row numbering");
    try {
        settings.windowScale = parseWindowScale(config.get("general", "window scale"));
    } catch (const std::runtime_error&) {
        settings.windowScale = 0;
    }
    readOptional(config, "audio export passes", settings.audioExportPasses, parseAudioExportPasses);
    readOptional(config, "audio export fade", settings.audioExportFade, parseAudioExportFade);
    readOptional(config, "audio export stems", settings.audioExportStems, parseAudioExportStems);
    return settings;
}

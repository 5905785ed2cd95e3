// The start-up sequence of configuration reads.

#include "config/StartupConfig.h"

#include <stdexcept>

#include "config/DefaultConfig.h"

int32_t parseWindowScale(const std::string& value) {
    std::string v;
    for (char c : value)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') v += c;
    if (v.size() == 1 && v[0] >= '1' && v[0] <= '8') return v[0] - '0';
    return 0;
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
    return settings;
}

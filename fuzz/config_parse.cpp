// Fuzzes the settings parser with arbitrary text, then every lookup the program makes of it.
// Parse errors are expected and end the run for that input; anything else is a bug.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "config/ConfigFile.h"
#include "config/KeyBindings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ConfigFile config;
    try {
        config.parseText(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const std::runtime_error&) {
        return 0;
    }
    for (const char* key : {"sample rate", "target fps", "audio buffer", "window title"}) {
        try {
            config.getInt("general", key);
        } catch (const std::runtime_error&) {
        }
    }
    try {
        KeyBindings bindings;
        loadBindings(config, bindings);
    } catch (const std::runtime_error&) {
    }
    return 0;
}

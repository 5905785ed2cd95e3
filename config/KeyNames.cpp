// The key-name and modifier-name tables of the configuration.

#include "config/KeyNames.h"

#include <string>

namespace {

struct NamedValue {
    const char* name;
    uint32_t value;
};

// Every SDL 1.2 key name that is not part of a numbered run (the runs are added in buildKeyNames).
constexpr NamedValue kSingleKeys[] = {
    {"SDLK_UNKNOWN", 0},       {"SDLK_FIRST", 0},       {"SDLK_BACKSPACE", 8},    {"SDLK_TAB", 9},
    {"SDLK_CLEAR", 12},        {"SDLK_RETURN", 13},     {"SDLK_PAUSE", 19},       {"SDLK_ESCAPE", 27},
    {"SDLK_SPACE", 32},        {"SDLK_EXCLAIM", 33},    {"SDLK_QUOTEDBL", 34},    {"SDLK_HASH", 35},
    {"SDLK_DOLLAR", 36},       {"SDLK_AMPERSAND", 38},  {"SDLK_QUOTE", 39},       {"SDLK_LEFTPAREN", 40},
    {"SDLK_RIGHTPAREN", 41},   {"SDLK_ASTERISK", 42},   {"SDLK_PLUS", 43},        {"SDLK_COMMA", 44},
    {"SDLK_MINUS", 45},        {"SDLK_PERIOD", 46},     {"SDLK_SLASH", 47},       {"SDLK_COLON", 58},
    {"SDLK_SEMICOLON", 59},    {"SDLK_LESS", 60},       {"SDLK_EQUALS", 61},      {"SDLK_GREATER", 62},
    {"SDLK_QUESTION", 63},     {"SDLK_AT", 64},         {"SDLK_LEFTBRACKET", 91}, {"SDLK_BACKSLASH", 92},
    {"SDLK_RIGHTBRACKET", 93}, {"SDLK_CARET", 94},      {"SDLK_UNDERSCORE", 95},  {"SDLK_BACKQUOTE", 96},
    {"SDLK_DELETE", 127},      {"SDLK_KP_PERIOD", 266}, {"SDLK_KP_DIVIDE", 267},  {"SDLK_KP_MULTIPLY", 268},
    {"SDLK_KP_MINUS", 269},    {"SDLK_KP_PLUS", 270},   {"SDLK_KP_ENTER", 271},   {"SDLK_KP_EQUALS", 272},
    {"SDLK_UP", 273},          {"SDLK_DOWN", 274},      {"SDLK_RIGHT", 275},      {"SDLK_LEFT", 276},
    {"SDLK_INSERT", 277},      {"SDLK_HOME", 278},      {"SDLK_END", 279},        {"SDLK_PAGEUP", 280},
    {"SDLK_PAGEDOWN", 281},    {"SDLK_NUMLOCK", 300},   {"SDLK_CAPSLOCK", 301},   {"SDLK_SCROLLOCK", 302},
    {"SDLK_RSHIFT", 303},      {"SDLK_LSHIFT", 304},    {"SDLK_RCTRL", 305},      {"SDLK_LCTRL", 306},
    {"SDLK_RALT", 307},        {"SDLK_LALT", 308},      {"SDLK_RMETA", 309},      {"SDLK_LMETA", 310},
    {"SDLK_LSUPER", 311},      {"SDLK_RSUPER", 312},    {"SDLK_MODE", 313},       {"SDLK_COMPOSE", 314},
    {"SDLK_HELP", 315},        {"SDLK_PRINT", 316},     {"SDLK_SYSREQ", 317},     {"SDLK_BREAK", 318},
    {"SDLK_MENU", 319},        {"SDLK_POWER", 320},     {"SDLK_EURO", 321},       {"SDLK_UNDO", 322},
};

constexpr NamedValue kModifiers[] = {
    {"KMOD_NONE", keymod::NONE},         {"KMOD_LSHIFT", keymod::LSHIFT}, {"KMOD_RSHIFT", keymod::RSHIFT},
    {"KMOD_LCTRL", keymod::LCTRL},       {"KMOD_RCTRL", keymod::RCTRL},   {"KMOD_LALT", keymod::LALT},
    {"KMOD_RALT", keymod::RALT},         {"KMOD_LMETA", keymod::LMETA},   {"KMOD_RMETA", keymod::RMETA},
    {"KMOD_NUM", keymod::NUM},           {"KMOD_CAPS", keymod::CAPS},     {"KMOD_MODE", keymod::MODE},
    {"KMOD_RESERVED", keymod::RESERVED},
};

std::map<std::string, uint32_t> buildKeyNames() {
    std::map<std::string, uint32_t> table;
    for (const NamedValue& key : kSingleKeys) table.emplace(key.name, key.value);
    // Digits and lower-case letters carry their ASCII codes.
    for (uint32_t c = '0'; c <= '9'; ++c) table.emplace("SDLK_" + std::string(1, char(c)), c);
    for (uint32_t c = 'a'; c <= 'z'; ++c) table.emplace("SDLK_" + std::string(1, char(c)), c);
    // International keys occupy the Latin-1 upper half.
    for (uint32_t i = 0; i <= 95; ++i) table.emplace("SDLK_WORLD_" + std::to_string(i), 160 + i);
    for (uint32_t i = 0; i <= 9; ++i) table.emplace("SDLK_KP" + std::to_string(i), keysym::KP0 + i);
    for (uint32_t i = 1; i <= 15; ++i) table.emplace("SDLK_F" + std::to_string(i), keysym::F1 + i - 1);
    return table;
}

}  // namespace

const std::map<std::string, uint32_t>& keyNameTable() {
    static const std::map<std::string, uint32_t> table = buildKeyNames();
    return table;
}

const std::map<std::string, uint32_t>& modifierNameTable() {
    static const std::map<std::string, uint32_t> table = [] {
        std::map<std::string, uint32_t> t;
        for (const NamedValue& m : kModifiers) t.emplace(m.name, m.value);
        return t;
    }();
    return table;
}

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

namespace {

const char* commonKeyName(uint32_t key) {
    switch (key) {
        case 8: return "Backspace";
        case 9: return "Tab";
        case 12: return "Clear";
        case 13: return "Enter";
        case 19: return "Pause";
        case 27: return "Esc";
        case 32: return "Space";
        case 127: return "Delete";
        case 266: return "Keypad .";
        case 267: return "Keypad /";
        case 268: return "Keypad *";
        case 269: return "Keypad -";
        case 270: return "Keypad +";
        case 271: return "Keypad Enter";
        case 272: return "Keypad =";
        case 273: return "Up";
        case 274: return "Down";
        case 275: return "Right";
        case 276: return "Left";
        case 277: return "Insert";
        case 278: return "Home";
        case 279: return "End";
        case 280: return "Page Up";
        case 281: return "Page Down";
        case 300: return "Num Lock";
        case 301: return "Caps Lock";
        case 302: return "Scroll Lock";
        case 303: return "Right Shift";
        case 304: return "Left Shift";
        case 305: return "Right Ctrl";
        case 306: return "Left Ctrl";
        case 307: return "Right Alt";
        case 308: return "Left Alt";
        case 309: return "Right Meta";
        case 310: return "Left Meta";
        case 311: return "Left Super";
        case 312: return "Right Super";
        case 313: return "Alt Gr";
        case 316: return "Print Screen";
        case 317: return "SysRq";
        case 319: return "Menu";
        default: return nullptr;
    }
}

}  // namespace

std::string readableKeyName(uint32_t key) {
    if (const char* name = commonKeyName(key)) return name;
    if (key > 32 && key < 127) {
        // Printable keys show their character; letters the way they are printed on the key.
        const char c = char(key);
        return std::string(1, c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c);
    }
    if (key >= 256 && key <= 265) return "Keypad " + std::to_string(key - 256);
    if (key >= 282 && key <= 296) return "F" + std::to_string(key - 281);
    if (key >= 160 && key <= 255) return "World " + std::to_string(key - 160);
    for (const auto& [name, value] : keyNameTable())
        if (value == key && value != 0) return name.substr(5);
    return "Key " + std::to_string(key);
}

std::string readableCombo(uint32_t key, uint32_t modifiers) {
    static const struct {
        uint32_t bit;
        const char* name;
    } kOrder[] = {
        {keymod::LCTRL, "Left Ctrl"},   {keymod::RCTRL, "Right Ctrl"},  {keymod::LALT, "Left Alt"},
        {keymod::RALT, "Right Alt"},    {keymod::LSHIFT, "Left Shift"}, {keymod::RSHIFT, "Right Shift"},
        {keymod::LMETA, "Left Meta"},   {keymod::RMETA, "Right Meta"},  {keymod::CAPS, "Caps Lock"},
        {keymod::MODE, "Alt Gr"},       {keymod::RESERVED, "Reserved"},
    };
    std::string out;
    for (const auto& m : kOrder)
        if (modifiers & m.bit) {
            if (!out.empty()) out += '+';
            out += m.name;
        }
    if (key != 0) {
        if (!out.empty()) out += '+';
        out += readableKeyName(key);
    }
    return out;
}

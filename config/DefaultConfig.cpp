// The built-in configuration text, generated from the action lists so that both always agree.

#include "config/DefaultConfig.h"

#include <iterator>

namespace {

constexpr ActionEntry kKeyboardGlobal[] = {
    {"quit program", "SDLK_ESCAPE + KMOD_LSHIFT"},
    {"record on/off", "SDLK_ESCAPE"},
    {"record on/off, stop song", "SDLK_SPACE"},
    {"play song", "SDLK_RCTRL"},
    {"play pattern", "SDLK_RSHIFT | SDLK_RALT + KMOD_LCTRL"},
    {"go to pattern editor", "SDLK_F1"},
    {"go to instr select", "SDLK_F2"},
    {"go to order editor", "SDLK_F3"},
    {"go to instr editor", "SDLK_F4"},
    {"load song", "SDLK_l + KMOD_LALT"},
    {"load instr", "SDLK_l + KMOD_LALT + KMOD_LCTRL"},
    {"load sample", "SDLK_l + KMOD_LALT + KMOD_LSHIFT"},
    {"load dpcm sample", "SDLK_l + KMOD_LSHIFT"},
    {"remove sample", "SDLK_F10"},
    {"block repeat on/off", "SDLK_F11"},
    {"cursor follow on/off", "SDLK_F12"},
    {"save song", "SDLK_s + KMOD_LALT"},
    {"save instr", "SDLK_s + KMOD_LALT + KMOD_LCTRL"},
    {"save nsf", "SDLK_s + KMOD_LSHIFT"},
    {"save famitone", "SDLK_s + KMOD_LCTRL + KMOD_LSHIFT"},
    {"decr octave", "SDLK_KP_DIVIDE | SDLK_F1 + KMOD_LALT"},
    {"incr octave", "SDLK_KP_MULTIPLY | SDLK_F2 + KMOD_LALT"},
    {"decr step", "SDLK_F5"},
    {"incr step", "SDLK_F6"},
    {"strip unused samples", "SDLK_F7"},
    {"sample loop on/off", "SDLK_F8"},
    {"switch ntsc/pal", "SDLK_KP_PERIOD | SDLK_F7 + KMOD_LALT"},
    {"metronome on/off", "SDLK_m + KMOD_LALT"},
    {"decr instr", "SDLK_KP_MINUS | SDLK_F3 + KMOD_LALT"},
    {"incr instr", "SDLK_KP_PLUS | SDLK_F4 + KMOD_LALT"},
    {"select instr 0", "SDLK_KP0"},
    {"select instr 1", "SDLK_KP1"},
    {"select instr 2", "SDLK_KP2"},
    {"select instr 3", "SDLK_KP3"},
    {"select instr 4", "SDLK_KP4"},
    {"select instr 5", "SDLK_KP5"},
    {"select instr 6", "SDLK_KP6"},
    {"select instr 7", "SDLK_KP7"},
    {"select instr 8", "SDLK_KP8"},
    {"select instr 9", "SDLK_KP9"},
    // Has a handler that does nothing; unbound unless the user binds it.
    {"split sample", nullptr},
    {"undo", "SDLK_z + KMOD_LCTRL | SDLK_z + KMOD_RCTRL"},
    {"redo",
     "SDLK_y + KMOD_LCTRL | SDLK_y + KMOD_RCTRL | SDLK_z + KMOD_LCTRL + KMOD_LSHIFT | SDLK_z + KMOD_RCTRL + "
     "KMOD_RSHIFT"},
    // Shows the keys of the active editor and the global ones over the screen.
    {"show help", "SDLK_F9"},
    // Renders the song into a WAV, FLAC or Ogg file in the background while playback goes on.
    {"save wav", "SDLK_w + KMOD_LCTRL + KMOD_LSHIFT"},
};

constexpr ActionEntry kPatternEditor[] = {
    {"move to next channel", "SDLK_TAB"},
    {"move to prev channel", "SDLK_TAB + KMOD_LSHIFT"},
    {"transpose up", "SDLK_UP + KMOD_LSHIFT"},
    {"mark selection up", "SDLK_UP + KMOD_LALT"},
    {"mark repeat block up", "SDLK_UP + KMOD_LCTRL"},
    {"move up", "SDLK_UP"},
    {"transpose down", "SDLK_DOWN + KMOD_LSHIFT"},
    {"mark selection down", "SDLK_DOWN + KMOD_LALT"},
    {"mark repeat block down", "SDLK_DOWN + KMOD_LCTRL"},
    {"move down", "SDLK_DOWN"},
    {"mark selection right", "SDLK_RIGHT + KMOD_LALT"},
    {"move right", "SDLK_RIGHT"},
    {"mark selection left", "SDLK_LEFT + KMOD_LALT"},
    {"move left", "SDLK_LEFT"},
    {"move up 16 rows", "SDLK_PAGEUP"},
    {"move down 16 rows", "SDLK_PAGEDOWN"},
    {"move to beginning", "SDLK_HOME"},
    {"move to end", "SDLK_END"},
    {"delete note", "SDLK_DELETE"},
    {"delete preceding note", "SDLK_BACKSPACE"},
    {"move column down", "SDLK_INSERT"},
    {"end selection", "SDLK_LALT"},
    {"end repeat block", "SDLK_LCTRL"},
    {"mute channel", "SDLK_m + KMOD_LCTRL"},
    {"solo channel", "SDLK_s + KMOD_LCTRL"},
    {"cut selection", "SDLK_x + KMOD_LCTRL"},
    {"copy selection", "SDLK_c + KMOD_LCTRL"},
    {"paste", "SDLK_v + KMOD_LCTRL"},
    {"paste transparent", "SDLK_v + KMOD_LCTRL + KMOD_LSHIFT"},
    {"paste effects", "SDLK_v + KMOD_LCTRL + KMOD_LALT"},
    {"delete selection", "SDLK_d + KMOD_LCTRL"},
    {"enter note off", "SDLK_RETURN | SDLK_BACKSLASH"},
};

constexpr ActionEntry kOrderEditor[] = {
    {"move up", "SDLK_UP"},
    {"move down", "SDLK_DOWN"},
    {"add order", "SDLK_INSERT"},
    {"decr pattern #", "SDLK_LEFT"},
    {"incr pattern #", "SDLK_RIGHT"},
    {"move up 4 orders", "SDLK_PAGEUP"},
    {"move down 4 orders", "SDLK_PAGEDOWN"},
    {"move to beginning", "SDLK_HOME"},
    {"move to end", "SDLK_END"},
    {"delete order", "SDLK_DELETE"},
    {"delete preceding order", "SDLK_BACKSPACE"},
};

constexpr ActionEntry kInstrumentEditor[] = {
    {"switch abs/rel", "SDLK_RETURN"},
    {"add value", "SDLK_INSERT"},
    {"incr value", "SDLK_UP"},
    {"decr value", "SDLK_DOWN"},
    {"move right", "SDLK_RIGHT"},
    {"move left", "SDLK_LEFT"},
    {"move loop point right", "SDLK_RIGHT + KMOD_LSHIFT"},
    {"move loop point left", "SDLK_LEFT + KMOD_LSHIFT"},
    {"next env", "SDLK_PAGEDOWN"},
    {"prev env", "SDLK_PAGEUP"},
    {"move to beginning", "SDLK_HOME"},
    {"move to end", "SDLK_END"},
    {"move loop point to beg", "SDLK_HOME + KMOD_LSHIFT"},
    {"move loop point to end", "SDLK_END + KMOD_LSHIFT"},
    {"delete value", "SDLK_DELETE"},
    {"delete preceding value", "SDLK_BACKSPACE"},
    {"copy to clipboard", "SDLK_c + KMOD_LCTRL"},
    {"paste from clipboard", "SDLK_v + KMOD_LCTRL"},
};

constexpr ActionEntry kInstrumentSelect[] = {
    {"edit instr name", "SDLK_RETURN"},
    {"move up", "SDLK_UP"},
    {"move down", "SDLK_DOWN"},
    {"move up 4 instruments", "SDLK_PAGEUP"},
    {"move down 4 instruments", "SDLK_PAGEDOWN"},
    {"move to beginning", "SDLK_HOME"},
    {"move to end", "SDLK_END"},
    {"copy to clipboard", "SDLK_c + KMOD_LCTRL"},
    {"paste from clipboard", "SDLK_v + KMOD_LCTRL"},
    {"previous color", "SDLK_LEFT"},
    {"next color", "SDLK_RIGHT"},
};

constexpr ActionEntry kInstrumentNameEditor[] = {
    {"end name editing", "SDLK_RETURN"},
    {"move right", "SDLK_RIGHT"},
    {"move left", "SDLK_LEFT"},
    {"erase preceding char", "SDLK_BACKSPACE"},
    {"erase following char", "SDLK_DELETE"},
    {"tabulate", "SDLK_TAB"},
    {"move to beginning", "SDLK_HOME"},
    {"move to end", "SDLK_END"},
};

// Two keyboard rows laid out like a piano: the upper rows from the current octave's first note,
// the bottom row one octave lower (Finnish layout).
constexpr ActionEntry kNoteInput[] = {
    {"0", "SDLK_q | SDLK_COMMA"},
    {"1", "SDLK_2 | SDLK_l"},
    {"2", "SDLK_w | SDLK_PERIOD"},
    {"3", "SDLK_3"},
    {"4", "SDLK_e"},
    {"5", "SDLK_r"},
    {"6", "SDLK_5"},
    {"7", "SDLK_t"},
    {"8", "SDLK_6"},
    {"9", "SDLK_y"},
    {"10", "SDLK_7"},
    {"11", "SDLK_u"},
    {"12", "SDLK_i"},
    {"13", "SDLK_9"},
    {"14", "SDLK_o"},
    {"15", "SDLK_0"},
    {"16", "SDLK_p"},
    {"-12", "SDLK_z"},
    {"-11", "SDLK_s"},
    {"-10", "SDLK_x"},
    {"-9", "SDLK_d"},
    {"-8", "SDLK_c"},
    {"-7", "SDLK_v"},
    {"-6", "SDLK_g"},
    {"-5", "SDLK_b"},
    {"-4", "SDLK_h"},
    {"-3", "SDLK_n"},
    {"-2", "SDLK_j"},
    {"-1", "SDLK_m"},
};

constexpr BindingSection kSections[] = {
    {"keyboard global", kKeyboardGlobal, true},
    {"pattern editor", kPatternEditor, true},
    {"order editor", kOrderEditor, true},
    {"instrument editor", kInstrumentEditor, true},
    {"instrument select", kInstrumentSelect, true},
    {"instrument name editor", kInstrumentNameEditor, true},
    {"note input", kNoteInput, false},
};

constexpr size_t kKeyColumn = 28;  // keys are padded to this width before "= "

void addLine(std::string& text, std::string_view line) {
    text += line;
    text += "\r\n";
}

void addKey(std::string& text, std::string_view key, std::string_view value) {
    std::string line(key);
    if (line.size() < kKeyColumn) line.resize(kKeyColumn, ' ');
    line += "= ";
    line += value;
    addLine(text, line);
}

std::string buildDefaultText() {
    std::string text;
    addLine(text, "; Bleepforge config file");
    addLine(text, "; ------------------------");
    addLine(text, "; The default configuration is based on Finnish keyboard layout.");
    addLine(text, "; Comment character is \";\".");
    addLine(text, "");
    addLine(text, "[general]");
    addKey(text, "window title", "Bleepforge");
    addLine(text, "; Row number format, possible values: \"hex\" or \"dec\" ");
    addKey(text, "row numbering", "dec");
    addKey(text, "target fps", "25");
    addKey(text, "sample rate", "44100");
    addLine(text, "; Audio buffer size in samples. SDL manual says it should be power of two,");
    addLine(text, "; but doesn't really seem to care.");
    addKey(text, "audio buffer", "4096");
    addLine(text, "; Background image, size should be 784x592 pixels.");
    addKey(text, "background image", "user-background.bmp");
    addLine(text, "; Window size as a multiple of 794x602: 1 to 8, or \"auto\" for the largest that fits.");
    addKey(text, "window scale", "auto");
    addLine(text, "; \"save wav\": times through the song to its loop point (1 to 16), seconds of");
    addLine(text, "; fade-out after it, and \"on\" for one file per channel.");
    addKey(text, "audio export passes", "1");
    addKey(text, "audio export fade", "0");
    addKey(text, "audio export stems", "off");
    for (const BindingSection& section : kSections) {
        addLine(text, "");
        addLine(text, "[" + std::string(section.name) + "]");
        for (const ActionEntry& action : section.actions)
            if (action.defaultBinding) addKey(text, action.name, action.defaultBinding);
    }
    return text;
}

}  // namespace

std::span<const BindingSection> bindingSections() { return kSections; }

const BindingSection* findBindingSection(std::string_view name) {
    for (const BindingSection& section : kSections)
        if (name == section.name) return &section;
    return nullptr;
}

const std::string& defaultConfigurationText() {
    static const std::string text = buildDefaultText();
    return text;
}

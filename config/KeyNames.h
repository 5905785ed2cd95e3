#pragma once
// The configuration's key vocabulary: SDL 1.2's key symbol and modifier names with their SDL 1.2
// numeric values. The core carries these values itself so that it never includes an SDL header.
// The values are SDL 1.2's public constants and must not change.
//
// The constants below live in their own namespaces because SDL's headers declare the very same
// names (SDLK_TAB, KMOD_LSHIFT) as enumerators; platform code includes both.

#include <cstdint>
#include <map>
#include <string>

// Modifier bits, as SDL 1.2 reports them with each key event.
namespace keymod {
constexpr uint32_t NONE = 0x0000;
constexpr uint32_t LSHIFT = 0x0001;
constexpr uint32_t RSHIFT = 0x0002;
constexpr uint32_t LCTRL = 0x0040;
constexpr uint32_t RCTRL = 0x0080;
constexpr uint32_t LALT = 0x0100;
constexpr uint32_t RALT = 0x0200;
constexpr uint32_t LMETA = 0x0400;
constexpr uint32_t RMETA = 0x0800;
constexpr uint32_t NUM = 0x1000;  // Num Lock: the one bit that key matching ignores
constexpr uint32_t CAPS = 0x2000;
constexpr uint32_t MODE = 0x4000;
constexpr uint32_t RESERVED = 0x8000;
}  // namespace keymod

// Key symbols the program refers to by value. The full set of names is in keyNameTable().
namespace keysym {
constexpr uint32_t UNKNOWN = 0;
constexpr uint32_t BACKSPACE = 8;
constexpr uint32_t TAB = 9;
constexpr uint32_t RETURN = 13;
constexpr uint32_t ESCAPE = 27;
constexpr uint32_t SPACE = 32;
constexpr uint32_t COMMA = 44;
constexpr uint32_t PERIOD = 46;
constexpr uint32_t N0 = 48;  // '0' .. '9' are 48 .. 57
constexpr uint32_t N9 = 57;
constexpr uint32_t BACKSLASH = 92;
constexpr uint32_t A = 97;  // 'a' .. 'z' are 97 .. 122 (SDL names only the lower-case letters)
constexpr uint32_t Z = 122;
constexpr uint32_t DELETE = 127;
constexpr uint32_t KP0 = 256;  // keypad 0 .. 9 are 256 .. 265
constexpr uint32_t KP_PERIOD = 266;
constexpr uint32_t KP_DIVIDE = 267;
constexpr uint32_t KP_MULTIPLY = 268;
constexpr uint32_t KP_MINUS = 269;
constexpr uint32_t KP_PLUS = 270;
constexpr uint32_t KP_ENTER = 271;
constexpr uint32_t UP = 273;
constexpr uint32_t DOWN = 274;
constexpr uint32_t RIGHT = 275;
constexpr uint32_t LEFT = 276;
constexpr uint32_t INSERT = 277;
constexpr uint32_t HOME = 278;
constexpr uint32_t END = 279;
constexpr uint32_t PAGEUP = 280;
constexpr uint32_t PAGEDOWN = 281;
constexpr uint32_t F1 = 282;  // F1 .. F15 are 282 .. 296
constexpr uint32_t CAPSLOCK = 301;
constexpr uint32_t RSHIFT = 303;
constexpr uint32_t LSHIFT = 304;
constexpr uint32_t RCTRL = 305;
constexpr uint32_t LCTRL = 306;
constexpr uint32_t RALT = 307;
constexpr uint32_t LALT = 308;
}  // namespace keysym

// Name -> key symbol for all 233 names of SDL 1.2's key enumeration ("SDLK_a", "SDLK_KP_ENTER",
// ...; the enumeration's end marker excluded). Built on first use, never changed afterwards.
const std::map<std::string, uint32_t>& keyNameTable();

// Name -> bit for exactly the 13 single-bit modifier names "KMOD_NONE" .. "KMOD_RESERVED".
// SDL's combined names (either Ctrl, either Shift, ...) are deliberately absent.
const std::map<std::string, uint32_t>& modifierNameTable();

// A key as a person writes it: "S", "2", ",", "Keypad /", "Page Up", "Left Alt", "F9". Keys
// without a common name fall back to their configuration name without the "SDLK_" prefix; an
// unknown value gives "Key N".
std::string readableKeyName(uint32_t key);

// A key with modifiers as a person writes it: "Left Alt+S", "Left Ctrl+Left Shift+S". Modifiers
// come first, in the order Ctrl, Alt, Shift, Meta, Caps Lock, Mode; Num Lock is left out (it
// never takes part in matching). Key 0 gives the modifiers alone.
std::string readableCombo(uint32_t key, uint32_t modifiers);

#include "app/HelpOverlay.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "app/MainScreen.h"
#include "config/DefaultConfig.h"
#include "config/KeyNames.h"

namespace {

constexpr int W = GLYPH_WIDTH;
constexpr int L = LINE_HEIGHT;
constexpr int TEXT_COLUMNS = 96;     // what fits inside the drawing area, with a margin
constexpr int ACTION_COLUMNS = 26;   // action names are padded to this width
constexpr int FIRST_LIST_LINE = 2;   // the title stands on line 0
constexpr int PIANO_LOW = -12;       // the offsets laid out as a keyboard: an octave below the
constexpr int PIANO_HIGH = 16;       // current one up to the E above the next C
constexpr int WHITE_KEY_COLUMNS = 5;
constexpr int PIANO_LEFT = 2 * W;
constexpr uint32_t WHITE_KEY = 0xE0E0E0;
constexpr uint32_t BLACK_KEY = 0x303030;
constexpr uint32_t KEY_TEXT_DARK = 0x202020;

const char* const NOTE_NAMES[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};

bool isBlack(int offset) {
    const int n = ((offset % 12) + 12) % 12;
    return n == 1 || n == 3 || n == 6 || n == 8 || n == 10;
}

std::string fit(std::string s, size_t width) {
    if (s.size() > width) s.resize(width);
    return s;
}

const char* sectionTitle(const std::string& section) {
    if (section == "pattern editor") return "Pattern editor";
    if (section == "order editor") return "Order editor";
    if (section == "instrument editor") return "Instrument editor";
    if (section == "instrument select") return "Instrument list";
    if (section == "instrument name editor") return "Instrument name editor";
    return "Everywhere";
}

// The note-input name as an offset, read as the note keys themselves read it.
bool offsetOf(const std::string& name, int32_t& offset) {
    ComboMap one{{KeyCombo{1, 0}, name}};
    return noteOffsetForKey(one, KeyEvent{1, 0, 0, true}, offset);
}

}  // namespace

std::string HelpOverlay::keysOf(const ActionTable& table, const std::string& action) {
    std::string out;
    for (const auto& [combo, name] : table.combos) {
        if (name != action || combo.key == 0) continue;
        if (!out.empty()) out += " or ";
        out += readableCombo(combo.key, combo.modifiers);
    }
    return out;
}

void HelpOverlay::addSection(const char* title, const char* section, const ActionTable& table) {
    lines_.push_back({std::string(title) + " keys", COLOUR_LABEL});
    const BindingSection* known = findBindingSection(section);
    if (!known) return;
    for (const ActionEntry& action : known->actions) {
        // Only what a key can run: a bound action the program has a handler for.
        if (!table.handlers.count(action.name)) continue;
        const std::string keys = keysOf(table, action.name);
        if (keys.empty()) continue;
        std::string line = "  " + std::string(action.name);
        line.resize(2 + ACTION_COLUMNS, ' ');
        lines_.push_back({fit(line + keys, TEXT_COLUMNS), COLOUR_WHITE});
    }
    lines_.push_back({"", COLOUR_WHITE});
}

void HelpOverlay::addPiano(int octave) {
    std::map<int32_t, std::string> labels;
    std::vector<std::pair<int32_t, std::string>> others;
    for (const auto& [combo, name] : bindings_.noteInput) {
        int32_t offset = 0;
        if (combo.key == 0 || !offsetOf(name, offset)) continue;
        const std::string key = readableCombo(combo.key, combo.modifiers);
        if (offset >= PIANO_LOW && offset <= PIANO_HIGH) {
            std::string& label = labels[offset];
            label += label.empty() ? key : "/" + key;
        } else {
            others.emplace_back(offset, key);
        }
    }
    lines_.push_back({"Note keys", COLOUR_LABEL});
    piano_.clear();
    int white = 0;
    for (int offset = PIANO_LOW; offset <= PIANO_HIGH; ++offset) {
        PianoKey k;
        k.black = isBlack(offset);
        k.label = labels.count(offset) ? labels[offset] : "";
        const int note = offset + octave * 12;  // 0-based note number
        if (note >= 0 && note < 120) k.note = std::string(NOTE_NAMES[note % 12]) + std::to_string(note / 12);
        if (k.black) {
            // Centred on the border between the white keys either side.
            k.x = PIANO_LEFT + white * WHITE_KEY_COLUMNS * W - 3 * W / 2 - W / 2;
            k.label = fit(k.label, 3);
        } else {
            k.x = PIANO_LEFT + white * WHITE_KEY_COLUMNS * W;
            k.label = fit(k.label, WHITE_KEY_COLUMNS - 1);
            ++white;
        }
        piano_.push_back(k);
    }
    for (int row = 0; row < 3; ++row) lines_.push_back({"", COLOUR_WHITE, row});
    std::sort(others.begin(), others.end());
    for (const auto& [offset, key] : others) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "  note %+d", int(offset));
        std::string line = buf;
        line.resize(2 + ACTION_COLUMNS, ' ');
        lines_.push_back({fit(line + key, TEXT_COLUMNS), COLOUR_WHITE});
    }
}

void HelpOverlay::open(const EditingState& edit) {
    lines_.clear();
    piano_.clear();
    scroll_ = 0;
    const char* section = nullptr;
    const ActionTable* table = nullptr;
    switch (edit.mode) {
        case EditorMode::Pattern:
            section = "pattern editor";
            table = &bindings_.patternEditor;
            break;
        case EditorMode::Order:
            section = "order editor";
            table = &bindings_.orderEditor;
            break;
        case EditorMode::InstrumentEditor:
            section = "instrument editor";
            table = &bindings_.instrumentEditor;
            break;
        case EditorMode::InstrumentSelect:
            section = edit.nameEditing ? "instrument name editor" : "instrument select";
            table = edit.nameEditing ? &bindings_.instrumentNameEditor : &bindings_.instrumentSelect;
            break;
    }
    if (section) addSection(sectionTitle(section), section, *table);
    addSection("Global", "keyboard global", bindings_.keyboardGlobal);
    if (edit.mode == EditorMode::Pattern) addPiano(std::clamp(int(edit.octave), 0, 9));
    while (!lines_.empty() && lines_.back().text.empty() && lines_.back().pianoRow < 0) lines_.pop_back();
    open_ = true;
}

int HelpOverlay::maxScroll() const { return std::max(0, int(lines_.size()) - VISIBLE_LINES); }

void HelpOverlay::key(const KeyEvent& event) {
    if (!open_) return;
    const auto bound = bindings_.keyboardGlobal.combos.find(KeyCombo{event.sym, event.mod});
    if (event.sym == keysym::ESCAPE ||
        (bound != bindings_.keyboardGlobal.combos.end() && bound->second == "show help")) {
        open_ = false;
        return;
    }
    if (event.sym == keysym::PAGEDOWN) scroll_ = std::min(scroll_ + VISIBLE_LINES - 1, maxScroll());
    if (event.sym == keysym::PAGEUP) scroll_ = std::max(scroll_ - (VISIBLE_LINES - 1), 0);
}

void HelpOverlay::draw(Canvas& c) const {
    if (!open_) return;
    // Over the whole drawing area but the status line, which keeps reporting, at full strength:
    // the screen below is not drawn while the list is open.
    c.drawRect(rect(-5, -5, WINDOW_WIDTH, 36 * L + 5), 0x100808, 255);
    std::string title = "Keys";
    const std::string closeKeys = keysOf(bindings_.keyboardGlobal, "show help");
    title += " - " + (closeKeys.empty() ? std::string() : closeKeys + " or ") + "Esc closes";
    if (maxScroll() > 0) title += ", Page Up/Page Down scroll";
    text(c, 0, 0, fit(title, TEXT_COLUMNS), COLOUR_LABEL);

    const int last = std::min(int(lines_.size()), scroll_ + VISIBLE_LINES);
    for (int i = scroll_; i < last; ++i) {
        const HelpLine& line = lines_[size_t(i)];
        const int y = (FIRST_LIST_LINE + i - scroll_) * L;
        if (line.pianoRow < 0) {
            if (!line.text.empty()) text(c, 0, y, line.text, line.colour);
            continue;
        }
        // The piano: white keys two lines high, black keys on the upper line over them, note
        // names under the white keys.
        for (const PianoKey& k : piano_) {
            if (k.black) continue;
            if (line.pianoRow < 2) {
                c.drawRect(rect(k.x, y, WHITE_KEY_COLUMNS * W - 2, L), WHITE_KEY, 255);
                if (line.pianoRow == 1 && !k.label.empty()) text(c, k.x + W / 2, y, k.label, KEY_TEXT_DARK);
            } else if (!k.note.empty()) {
                text(c, k.x + W / 2, y, k.note, COLOUR_DIM);
            }
        }
        if (line.pianoRow != 0) continue;
        for (const PianoKey& k : piano_) {
            if (!k.black) continue;
            c.drawRect(rect(k.x, y, 3 * W + W / 2, L), BLACK_KEY, 255);
            if (!k.label.empty()) text(c, k.x + W / 4, y, k.label, COLOUR_WHITE);
        }
    }
    if (last < int(lines_.size())) text(c, 0, (FIRST_LIST_LINE + VISIBLE_LINES) * L, "   ...", COLOUR_DIM);
}

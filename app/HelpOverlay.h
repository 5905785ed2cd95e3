#pragma once
// The key list drawn over the main screen: the bindings of the active editor, the global ones
// and, in the pattern editor, the note keys laid out as a piano keyboard. It is built from the
// binding tables in force when it opens, so a user's own bindings are what it shows. While it is
// open it takes every key press: Page Up and Page Down scroll, Escape or the key that opened it
// close it, and nothing else runs.

#include <cstdint>
#include <string>
#include <vector>

#include "app/Canvas.h"
#include "app/EditingState.h"
#include "config/KeyBindings.h"

struct HelpLine {
    std::string text;
    uint32_t colour = 0;
    int pianoRow = -1;  // 0 black keys, 1 white keys, 2 note names; -1 a plain text line
};

class HelpOverlay {
  public:
    // Lines of the list shown at once; the rest is reached by scrolling.
    static constexpr int VISIBLE_LINES = 32;

    explicit HelpOverlay(const KeyBindings& bindings) : bindings_(bindings) {}

    bool isOpen() const { return open_; }
    // Builds the list for the editor that has the keyboard and shows it from the top.
    void open(const EditingState& edit);
    void close() { open_ = false; }
    // A key press while open (Num Lock already cleared from the modifiers).
    void key(const KeyEvent& event);
    // Draws the overlay when open; the caller ends the frame.
    void draw(Canvas& canvas) const;

    const std::vector<HelpLine>& lines() const { return lines_; }
    int scroll() const { return scroll_; }
    int maxScroll() const;

    // The keys of an action of a table as a person writes them, joined with " or "; empty when
    // the action is unbound.
    static std::string keysOf(const ActionTable& table, const std::string& action);

  private:
    void addSection(const char* title, const char* section, const ActionTable& table);
    void addPiano(int octave);

    const KeyBindings& bindings_;
    bool open_ = false;
    int scroll_ = 0;
    std::vector<HelpLine> lines_;
    // Piano layout of the note keys: per white and black key its label and position.
    struct PianoKey {
        std::string label;
        std::string note;
        int x = 0;  // pixels
        bool black = false;
    };
    std::vector<PianoKey> piano_;
};

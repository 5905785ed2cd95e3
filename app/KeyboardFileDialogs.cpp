#include "app/KeyboardFileDialogs.h"

#include <algorithm>

#include "app/MainScreen.h"
#include "config/KeyNames.h"

namespace fs = std::filesystem;

namespace {

constexpr int W = GLYPH_WIDTH;
constexpr int L = LINE_HEIGHT;
// Columns of text that fit in the drawn area (the window less the 5-pixel border on each side).
constexpr size_t COLUMNS = size_t(WINDOW_WIDTH - 10) / GLYPH_WIDTH;
constexpr int FIRST_LISTING_LINE = 4;
constexpr uint32_t COLOUR_PROBLEM = 0x6060FF;  // light red

const char* const LABEL_FOLDER = "Folder: ";
const char* const LABEL_NAME = "Name:   ";
constexpr size_t LABEL_COLUMNS = 8;

// Arrows and PageUp/PageDown move the highlight, as everywhere; the hint names the rest.
const char* const HINT =
    "Enter open/choose  Esc cancel  Tab complete  F2 filter  Bksp up  Home/End: text, or list if none";

}  // namespace

KeyboardFileDialogs::KeyboardFileDialogs(Canvas& canvas, Host& host, std::function<void()> onQuit)
    : canvas_(canvas), host_(host), onQuit_(std::move(onQuit)) {}

std::optional<std::string> KeyboardFileDialogs::askOpenPath(const std::vector<FileFilter>& filters,
                                                            const std::string& defaultExtension) {
    return run(FileBrowser::Mode::Open, filters, defaultExtension);
}

std::optional<std::string> KeyboardFileDialogs::askSavePath(const std::vector<FileFilter>& filters,
                                                            const std::string& defaultExtension) {
    return run(FileBrowser::Mode::Save, filters, defaultExtension);
}

void KeyboardFileDialogs::noteFileUsed(const std::string& path) {
    if (path.empty()) return;
    fs::path p = path;
    if (!p.is_absolute()) {
        std::error_code ec;
        const fs::path cwd = fs::current_path(ec);
        if (ec) return;
        p = cwd / p;
    }
    lastFolder_ = p.lexically_normal().parent_path();
}

fs::path KeyboardFileDialogs::startFolder() const {
    if (!lastFolder_.empty()) return nearestExistingFolder(lastFolder_);
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return nearestExistingFolder(ec ? fs::path("/") : cwd);
}

std::optional<std::string> KeyboardFileDialogs::run(FileBrowser::Mode mode,
                                                    const std::vector<FileFilter>& filters,
                                                    const std::string& defaultExtension) {
    FileBrowser browser(mode, filters, defaultExtension, startFolder());
    listTop_ = 0;
    for (;;) {
        AppEvent event;
        while (host_.pollEvent(event)) {
            if (event.kind == AppEvent::Quit) {
                if (onQuit_) onQuit_();
                return std::nullopt;
            }
            if (event.kind != AppEvent::Key || !event.key.pressed) continue;  // drops are ignored here
            std::string chosen;
            switch (handleKey(browser, event.key, chosen)) {
                case Outcome::Chosen:
                    lastFolder_ = fs::path(chosen).parent_path();
                    return chosen;
                case Outcome::Cancelled:
                    return std::nullopt;
                case Outcome::Stay:
                    break;
            }
        }
        draw(browser);
        host_.delay(PASS_DELAY_MS);
    }
}

KeyboardFileDialogs::Outcome KeyboardFileDialogs::handleKey(FileBrowser& b, const KeyEvent& key,
                                                            std::string& chosen) {
    b.clearMessage();
    const bool lineEmpty = b.line().empty();
    switch (key.sym) {
        case keysym::ESCAPE:
            return Outcome::Cancelled;
        case keysym::RETURN:
        case keysym::KP_ENTER:
            if (auto path = b.enter()) {
                chosen = *path;
                return Outcome::Chosen;
            }
            break;
        case keysym::TAB:
            b.complete();
            break;
        case keysym::F1 + 1:  // F2
            b.nextFilter();
            break;
        case keysym::UP:
            b.moveHighlight(-1);
            break;
        case keysym::DOWN:
            b.moveHighlight(1);
            break;
        case keysym::PAGEUP:
            b.moveHighlight(-(LISTING_LINES - 1));
            break;
        case keysym::PAGEDOWN:
            b.moveHighlight(LISTING_LINES - 1);
            break;
        case keysym::HOME:
            lineEmpty ? b.highlightFirst() : b.cursorHome();
            break;
        case keysym::END:
            lineEmpty ? b.highlightLast() : b.cursorEnd();
            break;
        case keysym::LEFT:
            b.moveCursor(-1);
            break;
        case keysym::RIGHT:
            b.moveCursor(1);
            break;
        case keysym::BACKSPACE:
            lineEmpty ? b.goToParent() : b.deleteBefore();
            break;
        case keysym::DELETE:
            b.deleteAt();
            break;
        default:
            if (key.unicode >= 32 && key.unicode <= 126) b.insertChar(char(key.unicode));
            break;
    }
    return Outcome::Stay;
}

void KeyboardFileDialogs::draw(const FileBrowser& b) {
    Canvas& c = canvas_;
    c.beginFrame(5, 5);
    if (backdrop) c.drawImage(*backdrop, 0, 0, WINDOW_WIDTH - 10, WINDOW_HEIGHT - 10);
    const int p = pulseValue(host_.ticks());

    text(c, 0, 0, b.mode() == FileBrowser::Mode::Open ? "Open file" : "Save file", COLOUR_LABEL);

    text(c, 0, L, LABEL_FOLDER, COLOUR_EFFECT);
    text(c, int(LABEL_COLUMNS) * W, L,
         cutFromLeft(printableName(b.folder().string()), COLUMNS - LABEL_COLUMNS), COLOUR_WHITE);

    // The path line scrolls sideways so that its end, or else the cursor, stays in view.
    const size_t width = COLUMNS - LABEL_COLUMNS;
    const std::string& line = b.line();
    size_t start = line.size() < width ? 0 : line.size() + 1 - width;
    if (b.cursor() < start) start = b.cursor();
    const int cursorX = int(LABEL_COLUMNS + b.cursor() - start) * W;
    text(c, 0, 2 * L, LABEL_NAME, COLOUR_EFFECT);
    c.drawRect(rect(cursorX, 2 * L, W, L), COLOUR_WHITE, 110);
    text(c, int(LABEL_COLUMNS) * W, 2 * L, printableName(line.substr(start, width)), COLOUR_WHITE);

    // The listing keeps the highlight in view, moving no further than needed.
    const auto& entries = b.entries();
    const size_t shown = size_t(LISTING_LINES);
    if (b.highlight() < listTop_) listTop_ = b.highlight();
    if (b.highlight() >= listTop_ + shown) listTop_ = b.highlight() + 1 - shown;
    listTop_ = std::min(listTop_, entries.size() > shown ? entries.size() - shown : 0);
    if (listTop_ > 0) text(c, 2 * W, (FIRST_LISTING_LINE - 1) * L, "...", COLOUR_DIM);
    for (size_t i = listTop_; i < entries.size() && i < listTop_ + shown; ++i) {
        const int y = int(FIRST_LISTING_LINE + i - listTop_) * L;
        if (i == b.highlight()) c.drawRect(rect(0, y, int(COLUMNS) * W, L), uint32_t(p) << 16, 128);
        const BrowserEntry& e = entries[i];
        const std::string name = printableName(e.name) + (e.folder ? "/" : "");
        const uint32_t colour = e.name == ".." ? COLOUR_DIM : e.folder ? COLOUR_LABEL : COLOUR_WHITE;
        text(c, 2 * W, y, cutFromLeft(name, COLUMNS - 2), colour);
    }
    if (listTop_ + shown < entries.size())
        text(c, 2 * W, int(FIRST_LISTING_LINE + shown) * L, "...", COLOUR_DIM);
    if (entries.empty()) text(c, 2 * W, FIRST_LISTING_LINE * L, "(nothing here)", COLOUR_DIM);

    const int filterLine = (FIRST_LISTING_LINE + LISTING_LINES + 1) * L;
    if (!b.filters().empty()) {
        text(c, 0, filterLine, "Filter: ", COLOUR_EFFECT);
        text(c, int(LABEL_COLUMNS) * W, filterLine,
             cutFromLeft(printableName(b.filters()[b.filterIndex()].description), COLUMNS - LABEL_COLUMNS),
             COLOUR_WHITE);
    }
    text(c, 0, filterLine + 2 * L, HINT, COLOUR_DIM);

    const std::string& problem = b.message().empty() ? b.listingNote() : b.message();
    if (!problem.empty()) text(c, 0, 36 * L + 1, cutFromLeft(problem, COLUMNS), COLOUR_PROBLEM);
    c.endFrame();
}

#pragma once
// The program's own open and save dialogs: a full-window file browser drawn with the program's
// font and driven from the keyboard. Each ask runs a small modal loop (events, redraw, a short
// sleep) on the main thread until the user chooses or cancels; it never takes the audio lock, so
// playback goes on underneath.
//
// Keys: printable characters type into the path line; Left/Right move in it; Backspace/Delete
// edit it, and Backspace on an empty line goes to the parent folder; Up/Down/PageUp/PageDown move
// the highlight; Home/End move in the path line when it holds text and to the first/last entry
// of the listing when it is empty; Tab completes; F2 selects the next filter; Enter opens a
// folder or chooses a file; Escape cancels.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Canvas.h"
#include "app/FileBrowser.h"
#include "app/FileDialogs.h"
#include "app/Host.h"

class KeyboardFileDialogs : public FileDialogs {
  public:
    // onQuit is called when the window is closed while a dialog is open (the dialog then answers
    // "cancelled").
    KeyboardFileDialogs(Canvas& canvas, Host& host, std::function<void()> onQuit);

    const Image* backdrop = nullptr;  // drawn under the dialog when set

    // Lines of the listing shown at once.
    static constexpr int LISTING_LINES = 28;
    // Milliseconds slept between two passes of the dialog's loop.
    static constexpr uint32_t PASS_DELAY_MS = 15;

    std::optional<std::string> askOpenPath(const std::vector<FileFilter>& filters,
                                           const std::string& defaultExtension) override;
    std::optional<std::string> askSavePath(const std::vector<FileFilter>& filters,
                                           const std::string& defaultExtension) override;
    // The next dialog starts in the folder of path (made absolute against the working folder).
    void noteFileUsed(const std::string& path) override;

    // The folder the next dialog starts in: that of the last file chosen or noted, else the
    // working folder; the nearest existing parent when that folder is gone.
    std::filesystem::path startFolder() const;

    // Draws one frame of the dialog for the browser's state (the loop calls it every pass).
    void draw(const FileBrowser& browser);

  private:
    enum class Outcome { Stay, Chosen, Cancelled };
    std::optional<std::string> run(FileBrowser::Mode mode, const std::vector<FileFilter>& filters,
                                   const std::string& defaultExtension);
    Outcome handleKey(FileBrowser& browser, const KeyEvent& key, std::string& chosen);

    Canvas& canvas_;
    Host& host_;
    std::function<void()> onQuit_;
    std::filesystem::path lastFolder_;
    size_t listTop_ = 0;  // first listing entry shown
};

#pragma once
// The state behind the keyboard file dialog, without any drawing or events: the folder being
// looked at and its listing, the typed path line with its cursor, the selected filter, and what
// Enter and Tab do. KeyboardFileDialogs drives it from keys and draws it.
//
// Paths are held as raw bytes (whatever the file system gives); only their display turns odd
// bytes into "?". Every file system call uses the error_code overloads: a folder that cannot be
// read, a broken link or a folder deleted meanwhile ends up as a message, never as an exception.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/FileDialogs.h"

struct BrowserEntry {
    std::string name;     // file name within the folder; ".." for the parent entry
    bool folder = false;  // a folder (or a link to one); the parent entry counts as a folder
};

class FileBrowser {
  public:
    enum class Mode { Open, Save };

    // More entries than this are not listed (the listing says so).
    static constexpr size_t MAX_ENTRIES = 10000;
    // The path line takes at most this many characters.
    static constexpr size_t MAX_LINE = 4096;

    // startFolder is made absolute; when it no longer exists, its nearest existing parent is
    // used. filters may be empty (every file is listed then). defaultExtension ("zcm", a leading
    // dot is dropped) completes typed names that have none; empty adds nothing.
    FileBrowser(Mode mode, std::vector<FileFilter> filters, std::string defaultExtension,
                const std::filesystem::path& startFolder);

    Mode mode() const { return mode_; }
    const std::filesystem::path& folder() const { return folder_; }
    // ".." first (except at the root), then folders, then files passing the selected filter, each
    // group sorted without regard to case. Names starting with "." are left out.
    const std::vector<BrowserEntry>& entries() const { return entries_; }
    // Index of the highlighted entry (0 when the listing is empty).
    size_t highlight() const { return highlight_; }
    const std::string& line() const { return line_; }
    size_t cursor() const { return cursor_; }
    const std::vector<FileFilter>& filters() const { return filters_; }
    size_t filterIndex() const { return filterIndex_; }
    // The last problem with what the user asked for ("No such file"); empty when none.
    const std::string& message() const { return message_; }
    // A lasting note about the listing itself ("Cannot read folder"); empty when none.
    const std::string& listingNote() const { return listingNote_; }
    void clearMessage() { message_.clear(); }

    // Path line editing. Characters outside 32-126 are not taken.
    void insertChar(char c);
    void moveCursor(int delta);
    void cursorHome() { cursor_ = 0; }
    void cursorEnd() { cursor_ = line_.size(); }
    void deleteBefore();  // Backspace
    void deleteAt();      // Delete

    // Highlight movement, clamped to the listing.
    void moveHighlight(int delta);
    void highlightFirst() { highlight_ = 0; }
    void highlightLast() { highlight_ = entries_.empty() ? 0 : entries_.size() - 1; }

    // Selects the next filter (wrapping) and lists the folder again.
    void nextFilter();
    // Goes to the parent folder, highlighting the folder just left. Nothing at the root.
    void goToParent();
    // Lists the given folder and makes it current. When it cannot be read, the current folder
    // stays and the message says so; returns whether the folder changed.
    bool openFolder(const std::filesystem::path& path);
    // Lists the current folder again (falling back to the nearest existing parent).
    void refresh();

    // Tab: completes the path line's last component against the folder it names: the longest
    // common prefix of the matching names, with "/" after a single matching folder. With an empty
    // line, takes the highlighted entry's name.
    void complete();

    // Enter. Returns the chosen absolute path, or nothing when the dialog stays open (a folder
    // was opened, or the message tells why nothing was chosen).
    // Empty line: the highlighted folder opens ("..": the parent), the highlighted file is chosen
    // as listed. Typed text: a folder opens and the line clears; otherwise it names a file. Open
    // takes only an existing regular file, trying the name as typed first and then with the
    // default extension added when it has none. Save adds the default extension to a name
    // without one and takes any name in an existing folder that is not a folder or a special
    // file (an existing file is taken without a question).
    std::optional<std::string> enter();

    // The typed text as an absolute, lexically normal path: "~" and "~/..." start at $HOME,
    // relative text starts at the current folder.
    std::filesystem::path resolve(const std::string& typed) const;

  private:
    bool listInto(const std::filesystem::path& path, std::vector<BrowserEntry>& out, std::string& note) const;
    // How a walk through a folder ended.
    enum class ScanEnd { Finished, Unopened, TooLarge, Unreadable, Stopped };
    // Walks the entries of `path`, MAX_SCANNED of them at the most. Each entry whose name
    // `wanted` accepts and that is a folder (links followed) or a file the filter lets through
    // goes to `take`, which answers false to stop the walk. A broken link is neither.
    ScanEnd scanFolder(const std::filesystem::path& path,
                       const std::function<bool(const std::string&)>& wanted,
                       const std::function<bool(BrowserEntry)>& take) const;
    bool fileMatchesFilter(const std::string& name) const;
    std::optional<std::string> chooseFile(std::filesystem::path path);

    Mode mode_;
    std::vector<FileFilter> filters_;
    std::string defaultExtension_;
    std::filesystem::path folder_;
    std::vector<BrowserEntry> entries_;
    size_t highlight_ = 0;
    std::string line_;
    size_t cursor_ = 0;
    size_t filterIndex_ = 0;
    std::string message_;
    std::string listingNote_;
};

// Whether a file name matches a filter pattern: "*" and "?" wildcards, letters compared without
// regard to case, several patterns separated by ";". "*.*" matches every name, with or without a
// dot, as users of such filters expect.
bool matchesFilterPattern(const std::string& name, const std::string& pattern);

// The text with every byte outside 32-126 shown as "?".
std::string printableName(const std::string& bytes);

// The last `columns` characters of text, with "..." in front when something was cut.
std::string cutFromLeft(const std::string& text, size_t columns);

// The nearest folder that exists, starting with path itself (made absolute first); "/" at worst.
std::filesystem::path nearestExistingFolder(const std::filesystem::path& path);

#pragma once
// How a file command asks the user for a path. The program uses the keyboard-driven file browser
// drawn in its own window (KeyboardFileDialogs); tests answer with scripted paths.

#include <optional>
#include <string>
#include <vector>

// One entry of a dialog's filter list: what the user reads, and the pattern it stands for
// ("*.zcm"; "*.*" means every file).
struct FileFilter {
    std::string description;
    std::string pattern;
};

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;

    // Asks for an existing file. The first filter is selected at first; defaultExtension
    // (without the dot) is added to a typed name that has no extension. Returns the chosen path,
    // or nothing when the user cancelled. Blocks the calling command until then; the audio
    // thread keeps playing meanwhile.
    virtual std::optional<std::string> askOpenPath(const std::vector<FileFilter>& filters,
                                                   const std::string& defaultExtension) = 0;

    // The same for a file to write: a new name is accepted, and an existing file is chosen
    // without an overwrite question.
    virtual std::optional<std::string> askSavePath(const std::vector<FileFilter>& filters,
                                                   const std::string& defaultExtension) = 0;

    // Tells the dialogs that a file was used some other way (dropped on the window, named on the
    // command line), so the next dialog starts in its folder.
    virtual void noteFileUsed(const std::string& path) = 0;
};

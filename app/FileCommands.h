#pragma once
// The file commands of the "keyboard global" section: loading songs, instruments and samples, and
// saving songs, instruments, NSF files and FamiTone text, each through a file dialog. Every
// command ends with exactly one status message; a cancelled dialog reports "File selection
// canceled." and changes nothing. Loads change data the audio thread reads and swap it in under
// the audio lock; every file is read before the lock is taken. Saves are atomic: a failed save
// leaves the previous file as it was. "save wav" is the one command that goes on after its
// handler returns: it renders in the background and reports from pollAudioExport().

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/EditorContext.h"
#include "app/FileDialogs.h"
#include "player/AudioFile.h"
#include "song/SongLoadHooks.h"

struct ImportedSample;
class AudioExportJob;

// The filter lists and default extensions the commands' dialogs are opened with.
extern const std::vector<FileFilter> SONG_FILE_FILTERS;        // "zcm"
extern const std::vector<FileFilter> INSTRUMENT_FILE_FILTERS;  // "zci"
extern const std::vector<FileFilter> SOUND_FILE_FILTERS;       // "wav", also for "save wav"
extern const std::vector<FileFilter> DPCM_FILE_FILTERS;        // "dmc"
extern const std::vector<FileFilter> NSF_FILE_FILTERS;         // "nsf"
extern const std::vector<FileFilter> FAMITONE_FILE_FILTERS;    // "txt"

class FileCommands {
  public:
    // loadSong loads the song at a path as the program does for drops and the command line
    // (under the audio lock, the player reset after a successful load) and answers whether it
    // loaded, without reporting. hooks receive the instrument loader's name-cursor call.
    FileCommands(EditorContext& context, std::function<bool(const std::string&)> loadSong,
                 SongLoadHooks& hooks);
    // Stops an audio export still running (its file is not written).
    ~FileCommands();

    // Puts the nine file actions into table ("split sample" is not one of them).
    void registerHandlers(ActionTable& table);

    void loadSong();
    void loadInstrument();
    void loadSample();      // sampled sound through libsndfile, the instrument becomes PCM
    void loadDpcmSample();  // raw DMC bytes, the instrument becomes DPCM
    void saveSong();
    void saveInstrument();
    // Runs the song offline into an NSF image with the sound device paused and the audio lock
    // held for the whole run, then writes the image.
    void saveNsf();
    void saveFamiTone();

    // What "save wav" renders: passes, fade, stems and sample rate (all channels are always
    // rendered, whatever is muted for listening).
    AudioExportOptions audioExportOptions;
    // Asks for a WAV, FLAC or Ogg file and starts rendering a copy of the song into it in the
    // background; the status says "Saving audio... 0%". Only plain files are written (a device
    // or a pipe at the path is refused). Refused while an export is running.
    void saveWav();
    // Called by the main loop on every pass: shows the running export's progress ("Saving
    // audio... 42%") and, once it has ended, "Audio file saved." or "Couldn't save file!".
    void pollAudioExport();
    bool audioExportRunning() const { return audioJob_ != nullptr; }

  private:
    // The dialog's answer; nothing when the user cancelled (or there is no dialog to ask).
    std::optional<std::string> askOpen(const std::vector<FileFilter>& filters, const char* extension);
    std::optional<std::string> askSave(const std::vector<FileFilter>& filters, const char* extension);
    // The answer itself, or nothing after reporting the cancel when there is none or it is empty.
    std::optional<std::string> cancelledUnlessNamed(std::optional<std::string> path);
    // Reads a sample file chosen in the open dialog into the current instrument and reports it.
    using SampleReader = bool (*)(const std::string& path, ImportedSample& out);
    void importSample(SampleReader read, const std::vector<FileFilter>& filters, const char* extension,
                      const char* success);
    // The current instrument slot (1-255), or 0 after reporting "No instrument selected".
    int requireInstrument();
    void report(bool ok, const char* success, const char* failure);

    EditorContext& ctx_;
    std::function<bool(const std::string&)> loadSong_;
    SongLoadHooks& hooks_;
    std::unique_ptr<AudioExportJob> audioJob_;
    int shownPercent_ = -1;
    std::chrono::steady_clock::time_point shownAt_;
};

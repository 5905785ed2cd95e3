#pragma once
// The running editor program without its window: the main loop, the routing of keys to the
// active editor and the global bindings, the note preview of held note keys, song opening and
// the periodic backup. Everything here runs on the main thread; every change of data the audio
// callback reads is made under the audio lock.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/AudioLock.h"
#include "app/Canvas.h"
#include "app/EditingState.h"
#include "app/EditHistory.h"
#include "app/EditorContext.h"
#include "app/FileCommands.h"
#include "app/FramePacer.h"
#include "app/GlobalCommands.h"
#include "app/HelpOverlay.h"
#include "app/Host.h"
#include "app/InstrumentEditor.h"
#include "app/InstrumentList.h"
#include "app/OrderEditor.h"
#include "app/PatternEditor.h"
#include "config/KeyBindings.h"
#include "config/KeyNames.h"
#include "config/StartupConfig.h"
#include "player/Player.h"
#include "song/SongLoadHooks.h"

// The modifier bit of Num Lock, which never takes part in matching a binding.
constexpr uint32_t KMOD_NUM_BIT = 0x1000;

// The command-line converter's turn: nothing when the command line is not the converter's, else
// the process exit code (the converter has then run without configuration, window or sound).
std::optional<int> converterHook(int argc, char** argv);

// Path of the user's configuration: bleepforge.ini in the executable's directory when that file
// exists, else in $XDG_CONFIG_HOME/bleepforge/ (when set and absolute) or ~/.config/bleepforge/.
// exists() is asked about each candidate in that order; the last candidate is returned when none
// exists (opening it then fails and the defaults stand).
std::string userConfigPath(const std::string& executableDir, const char* xdgConfigHome, const char* home,
                           const std::function<bool(const std::string&)>& exists);

// Path of the backdrop image the configuration names: an absolute name as it is; a relative one
// beside the user's configuration (configPath, empty when none was read) when it exists there,
// else beside the executable, where the built-in configuration's name has always been looked up.
std::string backdropPath(const std::string& name, const std::string& configPath, const std::string& executableDir,
                         const std::function<bool(const std::string&)>& exists);

class Program : public SongLoadHooks {
  public:
    Program(Song& song, Player& player, EditingState& edit, KeyBindings& bindings,
            const GeneralSettings& settings, AudioLock& audioLock, Canvas& canvas, Host& host);

    bool running = true;
    const Image* backdrop = nullptr;  // drawn under everything when set
    std::string backupPath = "backup.zcm";
    // Milliseconds that must pass between two backups; only tests shorten it.
    uint32_t backupIntervalMs = BACKUP_INTERVAL_MS;
    // When above 0: every that many redraws, the average time of one redraw (wall clock, this
    // thread's CPU time and the whole process's CPU time, which takes in the GL driver's threads)
    // is written to stderr. A measuring aid, off by default.
    int redrawTimingFrames = 0;
    // When set, sees every status text as it is shown (a window check logs them, tests count
    // them). Unset by default.
    std::function<void(const std::string&)> statusObserver;

    // The editors' key handlers by EditorMode (0-3): each returns whether it took the key. The
    // constructor installs the four editors below and registers every section's handlers.
    std::function<bool(const KeyEvent&)> editorKey[4];

    PatternEditor& patternEditor() { return patternEditor_; }
    OrderEditor& orderEditor() { return orderEditor_; }
    InstrumentList& instrumentList() { return instrumentList_; }
    InstrumentEditor& instrumentEditor() { return instrumentEditor_; }
    GlobalCommands& globalCommands() { return globalCommands_; }
    FileCommands& fileCommands() { return fileCommands_; }
    const HelpOverlay& helpOverlay() const { return help_; }
    // The file name of the song last opened or saved, without its folder; empty for a new song.
    std::string songName() const;
    EditHistory& history() { return history_; }

    // The file dialogs the file commands ask through and the system clipboard of the instrument
    // commands. Neither is owned; both must outlive the program. Without dialogs every file
    // command reports a cancel; without a clipboard the clipboard commands do nothing.
    void setFileDialogs(FileDialogs* dialogs) { context_.fileDialogs = dialogs; }
    void setClipboard(Clipboard* clipboard) { context_.clipboard = clipboard; }

    // Runs until running becomes false: events, backup, redraw, pacing.
    void runMainLoop();
    // One pass of the loop without the pacing: events, backup, redraw.
    void runPass();

    void onKeyDown(const KeyEvent& event);
    void onKeyUp(const KeyEvent& event);
    // Sounds a note on the cursor's channel for as long as its key is held; repeats of a held
    // key are ignored. note is 1-120 (values outside are brought into that range).
    void previewNote(const KeyEvent& event, int note);
    // Sounds a note (1-120, brought into range) on the cursor's channel with the current
    // instrument at once, without the held-key bookkeeping: a sample instrument on the DPCM
    // channel goes to the sample preview, anything else starts as a cell (an octave up on the
    // triangle, which sounds an octave below the pulses).
    void soundNote(int note);

    // Loads the song at path under the audio lock and resets the player after a successful load;
    // reports nothing. The file is read before the lock is taken.
    bool loadSongAt(const std::string& path);
    // A song dropped on the window or named on the command line: remembered for the next file
    // dialog, loaded as loadSongAt, and reported as "File succesfully opened!" or "Couldn't open
    // file!".
    bool openSong(const std::string& path);
    // Writes the backup when it is due; failures are silent and retried at the next interval.
    // When the song changed since the last rolling backup, a copy also goes to backupDirectory;
    // a failure there shows a status message once (until a copy is written again).
    void backupIfDue(uint32_t now);
    // Where rolling backups and recovery copies go (see app/Backups.h); empty: nowhere but the
    // fallback below. Set by main from the environment; tests choose their own.
    std::string backupDirectory;
    // When the song has unsaved changes: writes a copy of it (atomically) among the rolling
    // backups, or as recoveryFallbackPath when that fails, and prints where on standard output.
    // Answers the path written, empty when there was nothing to keep or no copy could be written.
    std::string writeRecoveryCopy();
    std::string recoveryFallbackPath = "recovery.zcm";
    // The caption: the "window title" setting, then " - " and the song's file name once it has
    // one, then " *" while the song differs from the last save or load.
    std::string windowTitle() const;
    void setStatus(std::string text);
    void drawScreen();

    // The note keys being held, most recent last.
    const std::vector<uint32_t>& heldNoteKeys() const { return heldNoteKeys_; }

    // SongLoadHooks
    void stopPlayback() override;
    void requestReconfigure() override;
    void resetPositions() override;
    int currentInstrument() const override { return edit_.currentInstrument; }
    void setNameCursor(int position) override { edit_.nameCursor = position; }
    void songLoaded() override;

  private:
    // While cursor follow is on and the song plays, the editor's order and row take the player's
    // position. The main thread copies it, under the audio lock, at every key press and redraw:
    // the audio thread never writes editor state, which the editors read without the lock.
    // The caller holds the audio lock.
    void followPlayback();

    void timeRedraw();  // drawScreen() with the timing kept for redrawTimingFrames
    // Whether a key press that nothing took would have matched a binding of the active editor,
    // a note key or a global binding without the Caps Lock bit.
    bool matchesWithoutCapsLock(const KeyEvent& event) const;

    Song& song_;
    Player& player_;
    EditingState& edit_;
    KeyBindings& bindings_;
    GeneralSettings settings_;
    AudioLock& audioLock_;
    Canvas& canvas_;
    Host& host_;
    uint32_t lastBackup_ = 0;
    uint64_t lastRollingChange_ = 0;  // history's change count at the last rolling copy
    bool rollingBackupFailed_ = false;
    std::string shownTitle_;
    int timedRedraws_ = 0;
    double redrawWallNs_ = 0, redrawThreadNs_ = 0, redrawProcessNs_ = 0;
    std::map<uint32_t, bool> noteKeyHeld_;
    std::vector<uint32_t> heldNoteKeys_;
    // Set once the Caps Lock warning has been shown; cleared by the next Caps Lock key event.
    bool capsLockWarned_ = false;
    uint32_t helpKeyHeld_ = keysym::UNKNOWN;  // the key that last opened or closed the key list, while down

    EditHistory history_;
    EditorContext context_;
    InstrumentEditor instrumentEditor_;
    InstrumentList instrumentList_;
    PatternEditor patternEditor_;
    OrderEditor orderEditor_;
    GlobalCommands globalCommands_;
    FileCommands fileCommands_;
    HelpOverlay help_;
};

// The status text shown when a key press matched nothing only because Caps Lock is on.
inline constexpr const char* CAPS_LOCK_MESSAGE = "Caps Lock is on: keys are not recognised.";

// A new program's song: every instrument reset, instrument 1 with Volume 240 (level 15) and
// Duty/Mode 128 as its first values.
void initialiseSong(Song& song);

#include "app/Program.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "app/AudioExport.h"
#include "app/Backups.h"
#include "app/CellFormat.h"
#include "app/FramePacer.h"
#include "app/MainScreen.h"
#include "config/KeyNames.h"
#include "export/ConverterEntry.h"
#include "song/AtomicFile.h"
#include "song/SongFile.h"

namespace {

// SDL 1.2 key symbols of the fixed note map, which seed the held-key table.
const char NOTE_MAP_KEYS[] = "q2w3er5t6y7uio9p0zsxdcvgbhnjm,l.";

// The modifier bit a modifier key sets itself. Some SDL 1.2 builds already report it with the
// key's own press, others only from the next event; dropping it makes bindings of bare modifier
// keys ("SDLK_RCTRL", "SDLK_LALT") fire with either.
uint32_t ownModifierBit(uint32_t sym) {
    switch (sym) {
        case keysym::LSHIFT:
            return keymod::LSHIFT;
        case keysym::RSHIFT:
            return keymod::RSHIFT;
        case keysym::LCTRL:
            return keymod::LCTRL;
        case keysym::RCTRL:
            return keymod::RCTRL;
        case keysym::LALT:
            return keymod::LALT;
        case keysym::RALT:
            return keymod::RALT;
        default:
            return 0;
    }
}

// The cell a previewed note (1-120, at the pitch a pulse plays it) plays on a channel.
PatternCell previewCell(int channel, int note, int instrument) {
    PatternCell cell;
    cell.note = uint8_t(sameSoundingNote(note, CH_PULSE1, channel, 1, 120));
    cell.instrument = uint8_t(std::clamp(instrument, 0, INSTRUMENT_SLOTS - 1));
    return cell;
}

KeyEvent withoutModifiers(const KeyEvent& event) {
    KeyEvent e = event;
    e.mod = 0;
    return e;
}

}  // namespace

std::optional<int> converterHook(int argc, char** argv) { return runConverterFromCommandLine(argc, argv); }

std::string userConfigPath(const std::string& executableDir, const char* xdgConfigHome, const char* home,
                           const std::function<bool(const std::string&)>& exists) {
    std::vector<std::string> candidates{executableDir + "bleepforge.ini"};
    if (xdgConfigHome && xdgConfigHome[0] == '/')
        candidates.push_back(std::string(xdgConfigHome) + "/bleepforge/bleepforge.ini");
    else if (home && *home)
        candidates.push_back(std::string(home) + "/.config/bleepforge/bleepforge.ini");
    for (const std::string& path : candidates)
        if (exists(path)) return path;
    return candidates.back();
}

std::string backdropPath(const std::string& name, const std::string& configPath, const std::string& executableDir,
                         const std::function<bool(const std::string&)>& exists) {
    if (!name.empty() && name[0] == '/') return name;
    const size_t slash = configPath.rfind('/');
    if (slash != std::string::npos) {
        const std::string besideConfig = configPath.substr(0, slash + 1) + name;
        if (exists(besideConfig)) return besideConfig;
    }
    return executableDir + name;
}

void initialiseSong(Song& song) {
    for (int i = 0; i < INSTRUMENT_SLOTS; ++i) song.resetInstrument(i);
    song.instruments[1].envelopes[ENV_VOLUME].values[0] = 240;
    song.instruments[1].envelopes[ENV_DUTY].values[0] = 128;
}

Program::Program(Song& song, Player& player, EditingState& edit, KeyBindings& bindings,
                 const GeneralSettings& settings, AudioLock& audioLock, Canvas& canvas, Host& host)
    : song_(song),
      player_(player),
      edit_(edit),
      bindings_(bindings),
      settings_(settings),
      audioLock_(audioLock),
      canvas_(canvas),
      host_(host),
      history_(song, edit, audioLock, &player),
      context_{song,
               player,
               edit,
               bindings,
               audioLock,
               history_,
               [this](std::string text) { setStatus(std::move(text)); },
               [this](const KeyEvent& e, int note) { previewNote(e, note); },
               [this](int note) { soundNote(note); }},
      instrumentEditor_(context_),
      instrumentList_(context_, instrumentEditor_),
      patternEditor_(context_),
      orderEditor_(context_),
      globalCommands_(context_, instrumentList_, running),
      fileCommands_(
          context_, [this](const std::string& path) { return loadSongAt(path); }, *this),
      help_(bindings) {
    shownTitle_ = settings_.windowTitle;  // the caption the window opens with
    for (const char* k = NOTE_MAP_KEYS; *k; ++k) noteKeyHeld_[uint32_t(uint8_t(*k))] = false;
    globalCommands_.registerHandlers(bindings_.keyboardGlobal);
    fileCommands_.registerHandlers(bindings_.keyboardGlobal);
    fileCommands_.audioExportOptions = audioExportOptionsFor(settings_);
    bindings_.keyboardGlobal.handlers["show help"] = [this] { help_.open(edit_); };
    patternEditor_.registerHandlers(bindings_.patternEditor);
    orderEditor_.registerHandlers(bindings_.orderEditor);
    instrumentEditor_.registerHandlers(bindings_.instrumentEditor);
    instrumentList_.registerHandlers(bindings_.instrumentSelect, bindings_.instrumentNameEditor);
    globalCommands_.syncPlayer();
    editorKey[int(EditorMode::Pattern)] = [this](const KeyEvent& e) {
        return patternEditor_.patternEditorKey(e);
    };
    editorKey[int(EditorMode::Order)] = [this](const KeyEvent& e) { return orderEditor_.orderEditorKey(e); };
    editorKey[int(EditorMode::InstrumentEditor)] = [this](const KeyEvent& e) {
        return instrumentEditor_.instrumentEditorKey(e);
    };
    editorKey[int(EditorMode::InstrumentSelect)] = [this](const KeyEvent& e) {
        return instrumentList_.instrumentListKey(e);
    };
}

void Program::followPlayback() {
    if (edit_.cursorFollow && player_.playing && !player_.captureMode) {
        // A redo of an order delete can still leave the player past the shorter list until it
        // moves on; it plays the last order meanwhile, and the cursor shows that one.
        const int orderCount = std::clamp<int>(song_.orders.count, 1, MAX_ORDERS);
        edit_.currentOrder = std::clamp(player_.currentOrder, 0, orderCount - 1);
        edit_.cursor.row = player_.currentRow;
    }
}

void Program::onKeyDown(const KeyEvent& raw) {
    {
        // A key acts at the position the user sees playing.
        AudioLockGuard guard(audioLock_);
        followPlayback();
    }
    KeyEvent event = raw;
    event.mod &= ~(KMOD_NUM_BIT | ownModifierBit(event.sym));
    if (event.sym == keysym::CAPSLOCK) capsLockWarned_ = false;
    // A key held down repeats: the one that opened or closed the key list acts again only after
    // it is let go, so holding it (or a stalled frame) does not flicker the list on and off.
    if (helpKeyHeld_ != keysym::UNKNOWN && event.sym == helpKeyHeld_) return;
    // The key list takes every key while it is shown.
    if (help_.isOpen()) {
        help_.key(event);
        if (!help_.isOpen()) helpKeyHeld_ = event.sym;
        return;
    }
    const int mode = int(edit_.mode);
    bool taken = false;
    if (mode >= 0 && mode < 4 && editorKey[mode]) taken = editorKey[mode](event);
    if (taken) return;
    if (const ActionHandler* h = lookupAction(bindings_.keyboardGlobal, event)) {
        (*h)();
        if (help_.isOpen()) helpKeyHeld_ = event.sym;
        return;
    }
    if ((event.mod & keymod::CAPS) && !capsLockWarned_ && matchesWithoutCapsLock(event)) {
        capsLockWarned_ = true;
        setStatus(CAPS_LOCK_MESSAGE);
    }
}

bool Program::matchesWithoutCapsLock(const KeyEvent& event) const {
    KeyEvent e = event;
    e.mod &= ~keymod::CAPS;
    const ActionTable* editor = nullptr;
    switch (edit_.mode) {
        case EditorMode::Pattern: editor = &bindings_.patternEditor; break;
        case EditorMode::Order: editor = &bindings_.orderEditor; break;
        case EditorMode::InstrumentEditor: editor = &bindings_.instrumentEditor; break;
        case EditorMode::InstrumentSelect:
            editor = edit_.nameEditing ? &bindings_.instrumentNameEditor : &bindings_.instrumentSelect;
            break;
    }
    int32_t offset = 0;
    return (editor && lookupAction(*editor, e)) || lookupAction(bindings_.keyboardGlobal, e) ||
           noteOffsetForKey(bindings_.noteInput, e, offset);
}

void Program::soundNote(int note) {
    note = std::clamp(note, 1, 120);
    const int channel = edit_.cursor.channel;
    const int instrument = edit_.currentInstrument;
    AudioLockGuard guard(audioLock_);
    if (channel == CH_DPCM && instrument > 0 && instrument < INSTRUMENT_SLOTS &&
        isSampleType(song_.instruments[instrument].type)) {
        player_.previewSample(instrument, note);
        return;
    }
    player_.startNote(channel, previewCell(channel, note, instrument));
}

void Program::previewNote(const KeyEvent& event, int note) {
    bool& held = noteKeyHeld_[event.sym];
    if (held) return;  // key repeat
    held = true;
    soundNote(note);
    heldNoteKeys_.erase(std::remove(heldNoteKeys_.begin(), heldNoteKeys_.end(), event.sym),
                        heldNoteKeys_.end());
    heldNoteKeys_.push_back(event.sym);
}

void Program::onKeyUp(const KeyEvent& event) {
    // Some SDL 1.2 builds report Caps Lock going off as a release only.
    if (event.sym == keysym::CAPSLOCK) capsLockWarned_ = false;
    if (event.sym == helpKeyHeld_) helpKeyHeld_ = keysym::UNKNOWN;
    if (edit_.mode == EditorMode::InstrumentSelect && edit_.nameEditing) return;
    int32_t offset = 0;
    // A note key is recognised on release whatever modifiers are down.
    if (!noteOffsetForKey(bindings_.noteInput, withoutModifiers(event), offset)) return;
    noteKeyHeld_[event.sym] = false;
    const int channel = edit_.cursor.channel;
    if (heldNoteKeys_.empty()) {
        AudioLockGuard guard(audioLock_);
        player_.releasePreview(channel);
        return;
    }
    auto it = std::find(heldNoteKeys_.begin(), heldNoteKeys_.end(), event.sym);
    if (it == heldNoteKeys_.end()) return;
    if (it + 1 != heldNoteKeys_.end()) {
        heldNoteKeys_.erase(it);  // an older key: the newest note keeps sounding
        return;
    }
    heldNoteKeys_.erase(it);
    if (heldNoteKeys_.empty()) {
        AudioLockGuard guard(audioLock_);
        player_.releasePreview(channel);
        return;
    }
    // Last-key priority: go back to the newest key still held.
    KeyEvent previous;
    previous.sym = heldNoteKeys_.back();
    if (!noteOffsetForKey(bindings_.noteInput, previous, offset)) return;
    const int note = std::clamp(offset + edit_.octave * 12 + 1, 1, 120);
    AudioLockGuard guard(audioLock_);
    player_.startNote(channel, previewCell(channel, note, edit_.currentInstrument));
}

void Program::setStatus(std::string text) {
    if (statusObserver) statusObserver(text);
    ::setStatus(edit_.status, host_, std::move(text));
}

bool Program::loadSongAt(const std::string& path) {
    std::vector<uint8_t> bytes;
    // Read before the lock is taken: a slow disk must not hold up the sound.
    if (!readWholeFile(path, bytes)) return false;
    // The song about to be replaced keeps its unsaved changes in a copy.
    writeRecoveryCopy();
    bool ok;
    {
        AudioLockGuard guard(audioLock_);
        ok = loadSong(song_, bytes.data(), bytes.size(), *this);
        if (ok) player_.reset();
    }
    if (ok) {
        // A loaded song starts a history of its own.
        history_.clear();
        lastRollingChange_ = history_.changeCount();
        edit_.songPath = path;
    }
    return ok;
}

bool Program::openSong(const std::string& path) {
    if (context_.fileDialogs) context_.fileDialogs->noteFileUsed(path);
    const bool ok = loadSongAt(path);
    setStatus(ok ? "File succesfully opened!" : "Couldn't open file!");
    return ok;
}

void Program::backupIfDue(uint32_t now) {
    if (now - lastBackup_ <= backupIntervalMs) return;
    // The song is only read here, and only the main thread changes it: no lock needed.
    saveSong(song_, backupPath);
    lastBackup_ = now;
    if (history_.changeCount() == lastRollingChange_ || backupDirectory.empty()) return;
    const std::string written = writeRollingBackup(backupDirectory, backupSongName(edit_.songPath),
                                                   serializeSong(song_), std::time(nullptr));
    if (!written.empty()) {
        lastRollingChange_ = history_.changeCount();
        rollingBackupFailed_ = false;
    } else if (!rollingBackupFailed_) {
        // Said once; the next interval tries again.
        rollingBackupFailed_ = true;
        setStatus("Couldn't write backup to " + backupDirectory);
    }
}

std::string Program::writeRecoveryCopy() {
    if (!history_.modified()) return "";
    const std::vector<uint8_t> bytes = serializeSong(song_);
    std::string path =
        writeRollingBackup(backupDirectory, backupSongName(edit_.songPath), bytes, std::time(nullptr));
    if (path.empty() && !recoveryFallbackPath.empty() && writeFileAtomically(recoveryFallbackPath, bytes))
        path = recoveryFallbackPath;
    if (path.empty()) {
        std::fprintf(stderr, "Couldn't write a recovery copy of the unsaved changes!\n");
        return "";
    }
    lastRollingChange_ = history_.changeCount();
    std::printf("Unsaved changes written to %s\n", path.c_str());
    std::fflush(stdout);
    return path;
}

std::string Program::songName() const {
    const size_t slash = edit_.songPath.find_last_of('/');
    return slash == std::string::npos ? edit_.songPath : edit_.songPath.substr(slash + 1);
}

std::string Program::windowTitle() const {
    std::string title = settings_.windowTitle;
    if (!edit_.songPath.empty()) title += " - " + songName();
    if (history_.modified()) title += " *";
    return title;
}

void Program::drawScreen() {
    PlaybackView playback;
    {
        AudioLockGuard guard(audioLock_);
        followPlayback();
        playback.playing = player_.playing;
        playback.order = player_.currentOrder;
        playback.row = player_.currentRow;
        playback.channelMask = uint32_t(player_.channelMask);
    }
    ScreenInputs in{song_, edit_, playback, settings_.rowNumbering, host_.ticks(), backdrop, {}, &help_};
    in.info.songName = songName();
    in.info.unsaved = history_.modified();
    drawMainScreen(canvas_, in);
}

void Program::runPass() {
    AppEvent event;
    while (host_.pollEvent(event)) {
        switch (event.kind) {
            case AppEvent::Key:
                if (event.key.pressed)
                    onKeyDown(event.key);
                else
                    onKeyUp(event.key);
                break;
            case AppEvent::Quit:
                running = false;
                break;
            case AppEvent::FileDrop:
                openSong(event.path);
                break;
        }
    }
    backupIfDue(host_.ticks());
    fileCommands_.pollAudioExport();
    if (const std::string title = windowTitle(); title != shownTitle_) {
        host_.setTitle(title);
        shownTitle_ = title;
    }
    if (redrawTimingFrames > 0)
        timeRedraw();
    else
        drawScreen();
}

namespace {

double clockNs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

}  // namespace

void Program::timeRedraw() {
    const double wall = clockNs(CLOCK_MONOTONIC);
    const double thread = clockNs(CLOCK_THREAD_CPUTIME_ID);
    const double process = clockNs(CLOCK_PROCESS_CPUTIME_ID);
    drawScreen();
    redrawWallNs_ += clockNs(CLOCK_MONOTONIC) - wall;
    redrawThreadNs_ += clockNs(CLOCK_THREAD_CPUTIME_ID) - thread;
    redrawProcessNs_ += clockNs(CLOCK_PROCESS_CPUTIME_ID) - process;
    if (++timedRedraws_ < redrawTimingFrames) return;
    const double n = timedRedraws_ * 1e6;
    std::fprintf(stderr,
                 "redraw average over %d: wall %.3f ms, main thread CPU %.3f ms, process CPU %.3f ms\n",
                 timedRedraws_, redrawWallNs_ / n, redrawThreadNs_ / n, redrawProcessNs_ / n);
    timedRedraws_ = 0;
    redrawWallNs_ = redrawThreadNs_ = redrawProcessNs_ = 0;
}

void Program::runMainLoop() {
    FramePacer pacer(settings_.targetFps);
    while (running) {
        runPass();
        pacer.frameDrawn(host_.ticks());
        host_.delay(pacer.delay());
    }
    // However the loop ended (the quit command, the window closed, closed during a dialog),
    // unsaved changes are not lost.
    writeRecoveryCopy();
}

void Program::stopPlayback() {
    player_.requestStop();
    player_.playing = false;
    edit_.playPatternStartRow = -1;
}

void Program::requestReconfigure() { player_.reconfigureRequest = true; }

void Program::resetPositions() {
    edit_.cursor = PatternCursor{};
    edit_.currentOrder = 0;
    for (int32_t& c : edit_.envelopeCursor) c = 0;
    edit_.nameCursor = 0;
    player_.currentOrder = 0;
    player_.currentRow = 0;
}

void Program::songLoaded() {
    edit_.currentInstrument = 1;
    edit_.firstShownInstrument = 0;
}

#include "app/FileCommands.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <utility>

#include "app/AudioExport.h"
#include "export/FamiTone.h"
#include "export/FamiToneCheck.h"
#include "export/NsfExport.h"
#include "song/AtomicFile.h"
#include "song/InstrumentFile.h"
#include "song/SampleImport.h"
#include "song/SongFile.h"

const std::vector<FileFilter> SONG_FILE_FILTERS{{"Bleepforge Modules (*.zcm)", "*.zcm"},
                                                {"All files (*.*)", "*.*"}};
const std::vector<FileFilter> INSTRUMENT_FILE_FILTERS{{"Bleepforge instruments (*.zci)", "*.zci"},
                                                      {"All files (*.*)", "*.*"}};
const std::vector<FileFilter> SOUND_FILE_FILTERS{{"Microsoft WAV (*.wav)", "*.wav"},
                                                 {"Ogg Vorbis (*.ogg)", "*.ogg"},
                                                 {"FLAC (*.flac)", "*.flac"},
                                                 {"All files (*.*)", "*.*"}};
const std::vector<FileFilter> DPCM_FILE_FILTERS{{"DPCM Samples (*.dmc)", "*.dmc"},
                                                {"All files (*.*)", "*.*"}};
const std::vector<FileFilter> NSF_FILE_FILTERS{{"NES Sound Format (*.nsf)", "*.nsf"},
                                               {"All files (*.*)", "*.*"}};
const std::vector<FileFilter> FAMITONE_FILE_FILTERS{{"Text Documents (*.txt)", "*.txt"},
                                                    {"All files (*.*)", "*.*"}};

namespace {

const char* const OPENED = "File succesfully opened!";
const char* const SAVED = "File succesfully saved!";
const char* const OPEN_FAILED = "Couldn't open file!";
const char* const SAVE_FAILED = "Couldn't save file!";
const char* const CANCELED = "File selection canceled.";
const char* const AUDIO_SAVED = "Audio file saved.";

}  // namespace

FileCommands::FileCommands(EditorContext& context, std::function<bool(const std::string&)> loadSong,
                           SongLoadHooks& hooks)
    : ctx_(context), loadSong_(std::move(loadSong)), hooks_(hooks) {}

FileCommands::~FileCommands() = default;

void FileCommands::registerHandlers(ActionTable& table) {
    auto& h = table.handlers;
    h["load song"] = [this] { loadSong(); };
    h["load instr"] = [this] { loadInstrument(); };
    h["load sample"] = [this] { loadSample(); };
    h["load dpcm sample"] = [this] { loadDpcmSample(); };
    h["save song"] = [this] { saveSong(); };
    h["save instr"] = [this] { saveInstrument(); };
    h["save nsf"] = [this] { saveNsf(); };
    h["save famitone"] = [this] { saveFamiTone(); };
    h["save wav"] = [this] { saveWav(); };
}

std::optional<std::string> FileCommands::askOpen(const std::vector<FileFilter>& filters,
                                                 const char* extension) {
    if (!ctx_.fileDialogs) return cancelledUnlessNamed(std::nullopt);
    return cancelledUnlessNamed(ctx_.fileDialogs->askOpenPath(filters, extension));
}

std::optional<std::string> FileCommands::askSave(const std::vector<FileFilter>& filters,
                                                 const char* extension) {
    if (!ctx_.fileDialogs) return cancelledUnlessNamed(std::nullopt);
    return cancelledUnlessNamed(ctx_.fileDialogs->askSavePath(filters, extension));
}

std::optional<std::string> FileCommands::cancelledUnlessNamed(std::optional<std::string> path) {
    // An empty answer names no file: treated as a cancel rather than a failed open or save.
    if (path && path->empty()) path.reset();
    if (!path) ctx_.setStatus(CANCELED);
    return path;
}

int FileCommands::requireInstrument() {
    const int n = ctx_.edit.currentInstrument;
    if (n > 0 && n < INSTRUMENT_SLOTS) return n;
    ctx_.setStatus("No instrument selected");
    return 0;
}

void FileCommands::report(bool ok, const char* success, const char* failure) {
    ctx_.setStatus(ok ? success : failure);
}

void FileCommands::loadSong() {
    const auto path = askOpen(SONG_FILE_FILTERS, "zcm");
    if (!path) return;
    report(loadSong_ && loadSong_(*path), OPENED, OPEN_FAILED);
}

void FileCommands::loadInstrument() {
    const int slot = requireInstrument();
    if (!slot) return;
    const auto path = askOpen(INSTRUMENT_FILE_FILTERS, "zci");
    if (!path) return;
    std::vector<uint8_t> bytes;
    bool ok = readWholeFile(*path, bytes);
    if (ok) {
        // The player reads the instrument's envelopes and samples on every frame: the history
        // swaps the instrument in under the audio lock.
        ctx_.history.apply("instrument load", EditTarget::instrument(slot), [&] {
            ok = ::loadInstrument(ctx_.song, slot, bytes.data(), bytes.size(), hooks_);
        });
    }
    report(ok, "Instrument succesfully loaded!", OPEN_FAILED);
}

namespace {

// Swaps a read sample into the instrument under the audio lock; the buffer it replaces is
// released after the lock is given back (when `imported` goes out of the caller's scope).
void applySample(EditorContext& ctx, int slot, ImportedSample& imported) {
    ctx.history.apply("sample load", EditTarget::instrument(slot),
                      [&] { applyImportedSample(ctx.song, slot, imported); });
    // The name was replaced: keep the name editor's cursor inside it.
    const int length = int(ctx.song.instrumentNames[slot].size());
    if (ctx.edit.nameCursor > length) ctx.edit.nameCursor = length;
}

}  // namespace

void FileCommands::loadSample() {
    importSample(readPcmSample, SOUND_FILE_FILTERS, "wav", "Raw sample succesfully opened!");
}

void FileCommands::loadDpcmSample() {
    importSample(readDpcmSample, DPCM_FILE_FILTERS, "dmc", "DPCM sample succesfully opened!");
}

void FileCommands::importSample(SampleReader read, const std::vector<FileFilter>& filters,
                                const char* extension, const char* success) {
    const int slot = requireInstrument();
    if (!slot) return;
    const auto path = askOpen(filters, extension);
    if (!path) return;
    ImportedSample imported;
    const bool ok = read(*path, imported);
    if (ok) applySample(ctx_, slot, imported);
    report(ok, success, OPEN_FAILED);
}

void FileCommands::saveSong() {
    const auto path = askSave(SONG_FILE_FILTERS, "zcm");
    if (!path) return;
    // Only the main thread changes the song, so reading it needs no lock.
    const bool ok = ::saveSong(ctx_.song, *path);
    if (ok) {
        ctx_.history.markSaved();
        ctx_.edit.songPath = *path;
    }
    report(ok, SAVED, SAVE_FAILED);
}

void FileCommands::saveInstrument() {
    const int slot = requireInstrument();
    if (!slot) return;
    const auto path = askSave(INSTRUMENT_FILE_FILTERS, "zci");
    if (!path) return;
    report(::saveInstrument(ctx_.song, slot, *path), SAVED, SAVE_FAILED);
}

void FileCommands::saveNsf() {
    const auto path = askSave(NSF_FILE_FILTERS, "nsf");
    if (!path) return;
    std::vector<uint8_t> image;
    bool ok = false;
    try {
        // The export borrows the live player: the callback must neither run nor be due while it
        // does, so the device is paused first and resumed only after the lock is given back.
        AudioPauseGuard pause(ctx_.audioLock);
        AudioLockGuard guard(ctx_.audioLock);
        ok = exportNsf(ctx_.player, image);
    } catch (const std::exception&) {
        ok = false;  // an export that cannot finish is a failed save, not the end of the program
    }
    if (ok) ok = writeFileAtomically(*path, image);
    report(ok, SAVED, SAVE_FAILED);
}

void FileCommands::saveFamiTone() {
    const auto path = askSave(FAMITONE_FILE_FILTERS, "txt");
    if (!path) return;
    if (!exportFamiTone(ctx_.song, *path)) return report(false, SAVED, SAVE_FAILED);
    // Saved either way; what the FamiTone library will not play is told here, in detail on
    // standard output, since the status line holds one short text.
    const std::vector<FamiToneFinding> findings = checkFamiTone(ctx_.song);
    if (findings.empty()) return report(true, SAVED, SAVE_FAILED);
    for (const FamiToneFinding& finding : findings) std::printf("%s\n", finding.text().c_str());
    std::fflush(stdout);
    ctx_.setStatus("Saved, but " + famiToneSummary(findings) + " (see standard output)");
}

namespace {

bool plainFileOrNone(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

}  // namespace

void FileCommands::saveWav() {
    if (audioJob_) {
        ctx_.setStatus("Audio export already running.");
        return;
    }
    const auto path = askSave(SOUND_FILE_FILTERS, "wav");
    if (!path) return;
    AudioFileType type;
    // A name the writer has no format for fails here rather than on the worker, and so does
    // anything but a plain file: a pipe without a reader would hold the worker, and quitting
    // with it, for ever.
    if (!audioFileTypeFor(*path, type) || !plainFileOrNone(*path))
        return report(false, AUDIO_SAVED, SAVE_FAILED);
    if (audioExportOptions.stems)
        for (int c = 0; c < CHANNEL_COUNT; ++c)
            if (!plainFileOrNone(stemPath(*path, c))) return report(false, AUDIO_SAVED, SAVE_FAILED);
    // Only the main thread changes the song, so copying it needs no lock.
    audioJob_ = std::make_unique<AudioExportJob>(ctx_.song, *path, audioExportOptions);
    shownPercent_ = 0;
    shownAt_ = std::chrono::steady_clock::now();
    ctx_.setStatus("Saving audio... 0%");
}

void FileCommands::pollAudioExport() {
    if (!audioJob_) return;
    if (audioJob_->finished()) {
        const bool ok = audioJob_->wait();
        if (!ok) std::fprintf(stderr, "Couldn't save the audio file: %s\n", audioJob_->error().c_str());
        audioJob_.reset();
        report(ok, AUDIO_SAVED, SAVE_FAILED);
        return;
    }
    // Shown anew when the share moves, and at least every second so that the status line does
    // not fade out under a long render.
    const int percent = audioJob_->percent();
    const auto now = std::chrono::steady_clock::now();
    if (percent == shownPercent_ && now - shownAt_ < std::chrono::seconds(1)) return;
    shownPercent_ = percent;
    shownAt_ = now;
    ctx_.setStatus("Saving audio... " + std::to_string(percent) + "%");
}

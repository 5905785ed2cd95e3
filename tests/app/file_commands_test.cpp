// The file commands through a scripted dialog, and the instrument clipboard commands through a
// memory clipboard: status texts, what each command may change, and the audio lock around it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>

#include "EditorRig.h"
#include "song/InstrumentFile.h"
#include "song/SongFile.h"

namespace {

namespace fs = std::filesystem;

// Answers dialogs from a queue (an empty optional cancels) and records what was asked.
struct ScriptedDialogs : FileDialogs {
    struct Ask {
        bool save;
        std::vector<FileFilter> filters;
        std::string extension;
    };
    std::deque<std::optional<std::string>> answers;
    std::vector<Ask> asked;
    std::vector<std::string> noted;

    std::optional<std::string> answer(bool save, const std::vector<FileFilter>& f, const std::string& ext) {
        asked.push_back({save, f, ext});
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> askOpenPath(const std::vector<FileFilter>& f,
                                           const std::string& ext) override {
        return answer(false, f, ext);
    }
    std::optional<std::string> askSavePath(const std::vector<FileFilter>& f,
                                           const std::string& ext) override {
        return answer(true, f, ext);
    }
    void noteFileUsed(const std::string& path) override { noted.push_back(path); }
};

struct FileRig : EditorRig {
    ScriptedDialogs dialogs;
    MemoryClipboard clipboard;
    std::vector<std::string> statuses;
    fs::path dir;

    explicit FileRig(EditorMode mode = EditorMode::Pattern) : EditorRig(mode) {
        program->setFileDialogs(&dialogs);
        program->setClipboard(&clipboard);
        program->statusObserver = [this](const std::string& s) { statuses.push_back(s); };
        dir = fs::temp_directory_path() / ("bf_file_commands_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    ~FileRig() { fs::remove_all(dir); }

    std::string path(const char* name) const { return (dir / name).string(); }
    void write(const char* name, const std::string& bytes) const {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    std::string read(const char* name) const {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Runs the global action with the dialog answering `answer`; returns the single status.
    std::string run(const char* action, std::optional<std::string> answer) {
        dialogs.answers = {answer};
        statuses.clear();
        bindings.keyboardGlobal.handlers.at(action)();
        EXPECT_EQ(statuses.size(), 1u) << action;
        return statuses.empty() ? "" : statuses.back();
    }
};

// A 16-bit mono WAV file holding the given samples.
std::string wavFile(int rate, const std::vector<int16_t>& samples) {
    std::string s;
    auto u32 = [&s](uint32_t v) {
        for (int i = 0; i < 4; ++i) s += char(v >> (8 * i));
    };
    auto u16 = [&s](uint16_t v) { s += char(v), s += char(v >> 8); };
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    s += "RIFF", u32(36 + dataBytes), s += "WAVEfmt ", u32(16);
    u16(1), u16(1), u32(uint32_t(rate)), u32(uint32_t(rate) * 2), u16(2), u16(16);
    s += "data", u32(dataBytes);
    for (int16_t v : samples) u16(uint16_t(v));
    return s;
}

}  // namespace

TEST(FileCommands, EveryDialogHasItsFiltersAndACancelChangesNothing) {
    struct Case {
        const char* action;
        bool save;
        const std::vector<FileFilter>* filters;
        const char* extension;
        const char* firstFilter;
    };
    const Case cases[] = {
        {"load song", false, &SONG_FILE_FILTERS, "zcm", "Bleepforge Modules (*.zcm)"},
        {"load instr", false, &INSTRUMENT_FILE_FILTERS, "zci", "Bleepforge instruments (*.zci)"},
        {"load sample", false, &SOUND_FILE_FILTERS, "wav", "Microsoft WAV (*.wav)"},
        {"load dpcm sample", false, &DPCM_FILE_FILTERS, "dmc", "DPCM Samples (*.dmc)"},
        {"save song", true, &SONG_FILE_FILTERS, "zcm", "Bleepforge Modules (*.zcm)"},
        {"save instr", true, &INSTRUMENT_FILE_FILTERS, "zci", "Bleepforge instruments (*.zci)"},
        {"save nsf", true, &NSF_FILE_FILTERS, "nsf", "NES Sound Format (*.nsf)"},
        {"save famitone", true, &FAMITONE_FILE_FILTERS, "txt", "Text Documents (*.txt)"},
    };
    FileRig r;
    r.song->patterns[0].at(3, 1).note = 40;
    const std::vector<uint8_t> before = serializeSong(*r.song);
    for (const Case& c : cases) {
        r.dialogs.asked.clear();
        r.lock.events.clear();
        EXPECT_EQ(r.run(c.action, std::nullopt), "File selection canceled.") << c.action;
        ASSERT_EQ(r.dialogs.asked.size(), 1u) << c.action;
        const auto& ask = r.dialogs.asked[0];
        EXPECT_EQ(ask.save, c.save) << c.action;
        EXPECT_EQ(ask.extension, c.extension) << c.action;
        ASSERT_EQ(ask.filters.size(), c.filters->size()) << c.action;
        EXPECT_EQ(ask.filters.front().description, c.firstFilter) << c.action;
        EXPECT_EQ(ask.filters.back().description, "All files (*.*)") << c.action;
        EXPECT_EQ(ask.filters.back().pattern, "*.*") << c.action;
        EXPECT_EQ(r.lock.events, "") << c.action;  // nothing touched, no pause
        // An empty path is no file either.
        EXPECT_EQ(r.run(c.action, std::string()), "File selection canceled.") << c.action;
    }
    EXPECT_EQ(serializeSong(*r.song), before);
    EXPECT_TRUE(fs::is_empty(r.dir));
    EXPECT_EQ(SOUND_FILE_FILTERS[1].pattern, "*.ogg");
    EXPECT_EQ(SOUND_FILE_FILTERS[2].pattern, "*.flac");

    // Without dialogs at all every command reports a cancel as well.
    r.program->setFileDialogs(nullptr);
    EXPECT_EQ(r.run("load song", std::nullopt), "File selection canceled.");
}

TEST(FileCommands, InstrumentCommandsNeedAnInstrumentOthersDoNot) {
    FileRig r;
    r.edit.currentInstrument = 0;
    for (const char* action : {"load instr", "load sample", "load dpcm sample", "save instr"})
        EXPECT_EQ(r.run(action, r.path("x")), "No instrument selected") << action;
    EXPECT_TRUE(r.dialogs.asked.empty());
    EXPECT_EQ(r.dialogs.answers.size(), 1u);  // the last answer was never taken

    EXPECT_EQ(r.run("save nsf", r.path("song.nsf")), "File succesfully saved!");
    EXPECT_EQ(r.read("song.nsf").substr(0, 5), std::string("NESM\x1a"));
    EXPECT_EQ(r.run("save famitone", r.path("song.txt")), "File succesfully saved!");
    EXPECT_FALSE(r.read("song.txt").empty());
    EXPECT_EQ(r.dialogs.asked.size(), 2u);
}

TEST(FileCommands, SongSavedThenLoadedResetsThePlayerAndFailuresKeepEverything) {
    FileRig r;
    r.song->patterns[0].at(5, 2).note = 37;
    EXPECT_EQ(r.run("save song", r.path("a.zcm")), "File succesfully saved!");
    const std::string saved = r.read("a.zcm");
    EXPECT_EQ(saved.substr(0, 16), "ZephyrcantorTune");

    r.song->patterns[0].at(5, 2).note = 0;
    r.edit.currentInstrument = 7;
    r.edit.cursor.row = 20;
    r.player.resetRequest = false;
    r.player.tempoAccumulator = 99;
    r.lock.depth = r.lock.maxDepth = 0;
    EXPECT_EQ(r.run("load song", r.path("a.zcm")), "File succesfully opened!");
    EXPECT_EQ(r.song->patterns[0].at(5, 2).note, 37);
    EXPECT_TRUE(r.player.resetRequest);
    EXPECT_EQ(r.player.tempoAccumulator, 0);
    EXPECT_EQ(r.edit.currentInstrument, 1);
    EXPECT_EQ(r.edit.cursor.row, 0);
    EXPECT_EQ(r.lock.depth, 0);
    EXPECT_EQ(r.lock.maxDepth, 1);

    // A file that is no song, and one that is missing: the song stays as it was.
    r.write("junk.zcm", "this is not a song file at all");
    r.song->patterns[0].at(6, 0).note = 12;
    const std::vector<uint8_t> before = serializeSong(*r.song);
    EXPECT_EQ(r.run("load song", r.path("junk.zcm")), "Couldn't open file!");
    EXPECT_EQ(r.run("load song", r.path("missing.zcm")), "Couldn't open file!");
    EXPECT_EQ(r.run("load song", r.dir.string()), "Couldn't open file!");
    EXPECT_EQ(serializeSong(*r.song), before);

    // Saves that cannot write: the file already there is untouched, no stray file appears.
    r.write("plain", "x");
    for (const char* action : {"save song", "save instr", "save nsf", "save famitone"}) {
        EXPECT_EQ(r.run(action, r.path("plain/inside")), "Couldn't save file!") << action;
        EXPECT_EQ(r.run(action, r.dir.string()), "Couldn't save file!") << action;
    }
    EXPECT_EQ(r.read("plain"), "x");
    EXPECT_EQ(r.read("a.zcm"), saved);
    EXPECT_EQ(std::distance(fs::directory_iterator(r.dir), fs::directory_iterator()), 3);
}

TEST(FileCommands, InstrumentSaveAndLoadUnderTheLock) {
    FileRig r;
    Instrument& one = r.song->instruments[1];
    one.envelopes[ENV_VOLUME].values[0] = 176;
    r.song->instrumentNames[1] = "lead";
    EXPECT_EQ(r.run("save instr", r.path("lead.zci")), "File succesfully saved!");

    r.edit.currentInstrument = 9;
    int changedUnderLock = 0;
    r.lock.observe = [&](char c) {
        if (c == 'U' && r.song->instrumentNames[9] == "lead") ++changedUnderLock;
    };
    EXPECT_EQ(r.run("load instr", r.path("lead.zci")), "Instrument succesfully loaded!");
    EXPECT_EQ(r.song->instruments[9].envelopes[ENV_VOLUME].values[0], 176);
    EXPECT_EQ(changedUnderLock, 1);
    EXPECT_EQ(r.edit.nameCursor, 4);  // at the end of the loaded name

    r.write("bad.zci", "ZephyrcantorInst\x09");  // a version from the future
    EXPECT_EQ(r.run("load instr", r.path("bad.zci")), "Couldn't open file!");
    EXPECT_EQ(r.run("load instr", r.path("none.zci")), "Couldn't open file!");
    EXPECT_EQ(r.run("load instr", r.dir.string()), "Couldn't open file!");
    EXPECT_EQ(r.song->instrumentNames[9], "lead");
}

TEST(FileCommands, SamplesAreSwappedInUnderTheLock) {
    FileRig r;
    r.edit.currentInstrument = 3;
    r.edit.nameCursor = 30;
    const Instrument& inst = r.song->instruments[3];
    std::string swapSeen;
    r.lock.observe = [&](char c) {
        if (c == 'L' || c == 'U') swapSeen += c, swapSeen += char('0' + inst.type);
    };

    r.write("kick.dmc", std::string("\x55\xAA\x0F", 3));
    EXPECT_EQ(r.run("load dpcm sample", r.path("kick.dmc")), "DPCM sample succesfully opened!");
    EXPECT_EQ(swapSeen, "L0U2");  // Normal before the lock, DPCM when it is given back
    EXPECT_EQ(inst.type, INST_DPCM);
    ASSERT_EQ(inst.dpcm.size, 3u);
    EXPECT_EQ(inst.dpcm.data[1], 0xAA);
    EXPECT_EQ(r.song->instrumentNames[3], "kick.dmc");
    EXPECT_EQ(r.edit.nameCursor, 8);

    // Full scale up and down at the sample rate itself: one level per frame.
    swapSeen.clear();
    r.write("snare.wav", wavFile(7801, {32767, -32768, 0}));
    EXPECT_EQ(r.run("load sample", r.path("snare.wav")), "Raw sample succesfully opened!");
    EXPECT_EQ(swapSeen, "L2U1");
    ASSERT_EQ(inst.pcm.size, 3u);
    EXPECT_EQ(inst.pcm.data[0], 126);  // 32767 / 32768 x 63 + 64, truncated
    EXPECT_EQ(inst.pcm.data[1], 1);
    EXPECT_EQ(inst.pcm.data[2], 64);
    EXPECT_EQ(inst.dpcm.size, 3u);  // the other slot keeps its sample
    EXPECT_EQ(r.song->instrumentNames[3], "snare.wav");

    // Files that are no samples: the instrument stays, and nothing is locked.
    swapSeen.clear();
    r.write("junk.wav", "not a sound file");
    EXPECT_EQ(r.run("load sample", r.path("junk.wav")), "Couldn't open file!");
    EXPECT_EQ(r.run("load sample", r.dir.string()), "Couldn't open file!");
    EXPECT_EQ(r.run("load dpcm sample", r.dir.string()), "Couldn't open file!");
    EXPECT_EQ(r.run("load dpcm sample", r.path("none.dmc")), "Couldn't open file!");
    EXPECT_EQ(swapSeen, "");
    EXPECT_EQ(inst.type, INST_PCM);
    EXPECT_EQ(r.song->instrumentNames[3], "snare.wav");
}

TEST(FileCommands, NsfExportPausesTheDeviceAndHoldsTheLockThroughout) {
    FileRig r;
    r.song->patterns[0].at(0, 0).note = 30;
    r.song->patterns[0].at(0, 0).instrument = 1;
    r.player.currentOrder = 0;
    r.player.currentRow = 17;
    r.lock.events.clear();
    bool lockedWhileCapturing = true;
    r.lock.observe = [&](char c) {
        // The player is only borrowed while the lock is held.
        if ((c == 'P' || c == 'R') && r.player.captureMode) lockedWhileCapturing = false;
    };
    EXPECT_EQ(r.run("save nsf", r.path("out.nsf")), "File succesfully saved!");
    EXPECT_EQ(r.lock.events, "PLUR");
    EXPECT_TRUE(lockedWhileCapturing);
    EXPECT_EQ(r.player.currentRow, 17);  // the live position is given back
    EXPECT_TRUE(r.player.resetRequest);
    EXPECT_GT(r.read("out.nsf").size(), 128u);

    // A failed write still resumes the device.
    r.lock.events.clear();
    EXPECT_EQ(r.run("save nsf", r.path("no/such/dir.nsf")), "Couldn't save file!");
    EXPECT_EQ(r.lock.events, "PLUR");
}

TEST(FileCommands, DroppedAndCommandLineSongsAreRememberedForTheNextDialog) {
    FileRig r;
    ASSERT_TRUE(saveSong(*r.song, r.path("drop.zcm")));
    EXPECT_TRUE(r.program->openSong(r.path("drop.zcm")));
    EXPECT_FALSE(r.program->openSong(r.path("gone.zcm")));
    EXPECT_EQ(r.dialogs.noted, (std::vector<std::string>{r.path("drop.zcm"), r.path("gone.zcm")}));
    EXPECT_EQ(r.statuses, (std::vector<std::string>{"File succesfully opened!", "Couldn't open file!"}));
}

TEST(InstrumentClipboard, CopyAndPasteThroughTheListAndTheEditor) {
    FileRig r(EditorMode::InstrumentSelect);
    Instrument& src = r.song->instruments[1];
    src.type = INST_PCM_SAW;
    src.envelopes[ENV_VOLUME].values[0] = 200;
    src.envelopes[ENV_VOLUME].values[1] = 100;
    src.envelopes[ENV_VOLUME].values[2] = END_MARKER;
    src.envelopes[ENV_VOLUME].loopPoint = 1;
    src.envelopes[ENV_NOTE].values[0] = 140;
    r.song->instrumentNames[1] = "saw";

    r.press("SDLK_c", {"KMOD_LCTRL"});
    std::string text;
    ASSERT_TRUE(r.clipboard.getText(text));
    EXPECT_EQ(text.substr(0, 25), "Type: PCM Saw\r\n200 |100\r\n");

    // Pasted in the instrument editor onto instrument 2, whose cursor stood past the new end.
    r.edit.mode = EditorMode::InstrumentEditor;
    r.program->instrumentList().selectInstrument(2);
    Instrument& dst = r.song->instruments[2];
    dst.envelopes[ENV_VOLUME].values[4] = END_MARKER;
    for (int i = 0; i < 4; ++i) dst.envelopes[ENV_VOLUME].values[i] = 16 * i;
    r.edit.envelopeCursor[ENV_VOLUME] = 3;
    r.edit.currentEnvelope = ENV_VOLUME;
    r.edit.typeFieldSelected = false;
    std::string typeAtLock;  // the type at each lock and unlock: the paste is "L0U4"
    r.lock.observe = [&](char c) {
        if (c == 'L' || c == 'U') typeAtLock += c, typeAtLock += char('0' + dst.type);
    };
    r.press("SDLK_v", {"KMOD_LCTRL"});
    EXPECT_NE(typeAtLock.find("L0U4"), std::string::npos) << typeAtLock;
    r.lock.observe = nullptr;
    EXPECT_EQ(dst.type, INST_PCM_SAW);
    for (int e = 0; e < ENVELOPE_COUNT; ++e) EXPECT_EQ(dst.envelopes[e], src.envelopes[e]) << e;
    EXPECT_EQ(r.edit.envelopeCursor[ENV_VOLUME], 1);
    EXPECT_EQ(r.song->instrumentNames[2], "");  // names never travel
    EXPECT_TRUE(r.statuses.empty());            // nothing is reported

    // A DPCM instrument is not copied; the clipboard keeps the saw.
    dst.type = INST_DPCM;
    r.press("SDLK_c", {"KMOD_LCTRL"});
    ASSERT_TRUE(r.clipboard.getText(text));
    EXPECT_EQ(text.substr(0, 13), "Type: PCM Saw");

    // Without an instrument, or with an empty clipboard text, nothing changes.
    r.clipboard.putText("");
    r.press("SDLK_v", {"KMOD_LCTRL"});
    EXPECT_EQ(dst.type, INST_DPCM);
    r.clipboard.putText("Type: Normal\r\n15\r\n");
    r.edit.mode = EditorMode::InstrumentSelect;
    r.program->instrumentList().selectInstrument(0);
    const std::vector<uint8_t> before = serializeSong(*r.song);
    r.press("SDLK_v", {"KMOD_LCTRL"});
    r.press("SDLK_c", {"KMOD_LCTRL"});
    EXPECT_EQ(serializeSong(*r.song), before);
    ASSERT_TRUE(r.clipboard.getText(text));
    EXPECT_EQ(text, "Type: Normal\r\n15\r\n");
}

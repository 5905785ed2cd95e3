// The file commands through a scripted dialog: status texts, what each command may change, and
// the audio lock around it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>

#include "EditorRig.h"
#include "song/SongFile.h"

namespace {

namespace fs = std::filesystem;

struct FileRig : EditorRig, TempDir {
    ScriptedDialogs dialogs;
    std::vector<std::string> statuses;

    explicit FileRig(EditorMode mode = EditorMode::Pattern) : EditorRig(mode) {
        program->setFileDialogs(&dialogs);
        program->statusObserver = [this](const std::string& s) { statuses.push_back(s); };
        lock.events.clear();
    }
    void write(const char* name, const std::string& bytes) const {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    std::string read(const char* name) const { return readFile((dir / name).string()); }
    // Runs the global action with the dialog answering `answer`; returns its one status.
    std::string run(const char* action, std::optional<std::string> answer) {
        dialogs.answer = std::move(answer);
        statuses.clear();
        bindings.keyboardGlobal.handlers.at(action)();
        EXPECT_EQ(statuses.size(), 1u) << action;
        return statuses.empty() ? "" : statuses.back();
    }
};

}  // namespace

TEST(FileCommands, DialogsCancelsAndCommandsThatNeedAnInstrument) {
    FileRig r;
    r.song->patterns[0].at(3, 1).note = 40;
    const std::vector<uint8_t> before = serializeSong(*r.song);
    expectTable("app/file_command_dialogs", [&](const std::string& action) {
        r.dialogs.asked.clear();
        std::string out = r.run(action.c_str(), std::nullopt) + " " + r.run(action.c_str(), std::string());
        for (const std::string& a : r.dialogs.asked) out += " | " + a;
        return out;
    });
    EXPECT_EQ(SOUND_FILE_FILTERS[0].description, "Microsoft WAV (*.wav)");
    EXPECT_EQ(NSF_FILE_FILTERS[0].description, "NES Sound Format (*.nsf)");
    EXPECT_EQ(serializeSong(*r.song), before);
    EXPECT_EQ(r.lock.events, "");  // nothing locked, the device never paused
    EXPECT_TRUE(fs::is_empty(r.dir));

    // Without an instrument those four commands open no dialog; the exports need none.
    r.edit.currentInstrument = 0;
    r.dialogs.asked.clear();
    for (const char* action : {"load instr", "load sample", "load dpcm sample", "save instr"})
        EXPECT_EQ(r.run(action, r.path("x")), "No instrument selected") << action;
    EXPECT_TRUE(r.dialogs.asked.empty());
    EXPECT_EQ(r.run("save famitone", r.path("song.txt")), "File succesfully saved!");
    EXPECT_FALSE(r.read("song.txt").empty());

    r.program->setFileDialogs(nullptr);
    EXPECT_EQ(r.run("load song", r.path("song.txt")), "File selection canceled.");
}

TEST(FileCommands, SongSaveLoadResetsThePlayerAndFailuresKeepEverything) {
    FileRig r;
    r.song->patterns[0].at(2, 5).note = 37;
    EXPECT_EQ(r.run("save song", r.path("a.zcm")), "File succesfully saved!");
    const std::string saved = r.read("a.zcm");

    r.song->patterns[0].at(2, 5).note = 0;
    r.edit.currentInstrument = 7;
    r.player.resetRequest = false;
    r.player.tempoAccumulator = 99;
    EXPECT_EQ(r.run("load song", r.path("a.zcm")), "File succesfully opened!");
    EXPECT_EQ(std::vector<int>({r.song->patterns[0].at(2, 5).note, r.player.resetRequest,
                                r.player.tempoAccumulator, r.edit.currentInstrument}),
              std::vector<int>({37, 1, 0, 1}));
    EXPECT_EQ(r.lock.events, "LU");

    // Not a song, missing, a folder: the song stays. A folder used to throw from the stream.
    r.write("junk.zcm", "this is not a song file at all");
    r.song->patterns[0].at(0, 6).note = 12;
    const std::vector<uint8_t> before = serializeSong(*r.song);
    for (const char* name : {"junk.zcm", "missing.zcm", ""})
        EXPECT_EQ(r.run("load song", r.path(name)), "Couldn't open file!") << name;
    EXPECT_EQ(serializeSong(*r.song), before);

    // Saves that cannot write leave what was there and no stray file.
    r.write("plain", "x");
    for (const char* action : {"save song", "save instr", "save nsf", "save famitone"}) {
        EXPECT_EQ(r.run(action, r.path("plain/inside")), "Couldn't save file!") << action;
        EXPECT_EQ(r.run(action, r.dir.string()), "Couldn't save file!") << action;
    }
    EXPECT_EQ(r.read("plain"), "x");
    EXPECT_EQ(r.read("a.zcm"), saved);
    EXPECT_EQ(std::distance(fs::directory_iterator(r.dir), fs::directory_iterator()), 3);

    // Drops and the command line go through openSong, which tells the dialogs the file.
    r.statuses.clear();
    EXPECT_TRUE(r.program->openSong(r.path("a.zcm")));
    EXPECT_EQ(r.dialogs.noted, std::vector<std::string>{r.path("a.zcm")});
    EXPECT_EQ(r.statuses, std::vector<std::string>{"File succesfully opened!"});
}

TEST(FileCommands, InstrumentsAndSamplesAreSwappedInUnderTheLock) {
    FileRig r;
    r.song->instruments[1].envelopes[ENV_VOLUME].values[0] = 176;
    r.song->instrumentNames[1] = "lead";
    EXPECT_EQ(r.run("save instr", r.path("lead.zci")), "File succesfully saved!");

    // The instrument's state at each lock and unlock: a change made under the lock shows as
    // "L<before>U<after>".
    r.edit.currentInstrument = 3;
    const Instrument& inst = r.song->instruments[3];
    std::string seen;
    r.lock.observe = [&](char c) {
        seen += c;
        seen += char('0' + inst.type);
        seen += r.song->instrumentNames[3].empty() ? '-' : r.song->instrumentNames[3][0];
    };
    EXPECT_EQ(r.run("load instr", r.path("lead.zci")), "Instrument succesfully loaded!");
    EXPECT_EQ(inst.envelopes[ENV_VOLUME].values[0], 176);
    EXPECT_EQ(r.edit.nameCursor, 4);

    r.write("kick.dmc", std::string("\x55\xAA\x0F", 3));
    EXPECT_EQ(r.run("load dpcm sample", r.path("kick.dmc")), "DPCM sample succesfully opened!");
    ASSERT_EQ(inst.dpcm.size, 3u);
    EXPECT_EQ(r.edit.nameCursor, 4);  // kept inside the new name

    // A 16-bit mono WAV at 7801 Hz: full scale up, full scale down, silence.
    const char wav[] =
        "RIFF\x2a\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x79\x1e\0\0\xf2\x3c\0\0\x02\0\x10\0"
        "data\x06\0\0\0\xff\x7f\x00\x80\x00\x00";
    r.write("snare.wav", std::string(wav, sizeof wav - 1));
    EXPECT_EQ(r.run("load sample", r.path("snare.wav")), "Raw sample succesfully opened!");
    ASSERT_EQ(inst.pcm.size, 3u);
    EXPECT_EQ(std::vector<uint8_t>(inst.pcm.data.get(), inst.pcm.data.get() + 3),
              (std::vector<uint8_t>{126, 1, 64}));
    EXPECT_EQ(inst.dpcm.size, 3u);  // the other slot keeps its sample
    EXPECT_EQ(seen,
              "L0-U0l"
              "L0lU2k"
              "L2kU1s");

    // Files that are no instruments or samples change nothing and lock nothing.
    seen.clear();
    r.write("bad.zci", "ZephyrcantorInst\x09");  // a version from the future
    for (auto [action, name] : {std::pair{"load instr", "bad.zci"},
                                {"load instr", ""},
                                {"load sample", "bad.zci"},
                                {"load sample", ""},
                                {"load dpcm sample", ""},
                                {"load dpcm sample", "no.dmc"}})
        EXPECT_EQ(r.run(action, r.path(name)), "Couldn't open file!") << action << name;
    EXPECT_EQ(seen, "L1sU1s");  // only the refused instrument file was looked at under the lock
    EXPECT_EQ(r.song->instrumentNames[3], "snare.wav");
}

TEST(FileCommands, NsfExportPausesTheDeviceAndHoldsTheLockThroughout) {
    FileRig r;
    r.song->patterns[0].at(0, 0).note = 30;
    r.song->patterns[0].at(0, 0).instrument = 1;
    r.player.currentRow = 17;
    bool borrowedOnlyUnderTheLock = true;
    r.lock.observe = [&](char c) {
        if ((c == 'P' || c == 'R') && r.player.captureMode) borrowedOnlyUnderTheLock = false;
    };
    EXPECT_EQ(r.run("save nsf", r.path("out.nsf")), "File succesfully saved!");
    EXPECT_EQ(r.lock.events, "PLUR");
    EXPECT_TRUE(borrowedOnlyUnderTheLock);
    EXPECT_EQ(r.player.currentRow, 17);  // the live position is given back
    EXPECT_TRUE(r.player.resetRequest);
    EXPECT_EQ(r.read("out.nsf").substr(0, 5), std::string("NESM\x1a"));

    r.lock.events.clear();
    EXPECT_EQ(r.run("save nsf", r.path("no/such/dir.nsf")), "Couldn't save file!");
    EXPECT_EQ(r.lock.events, "PLUR");  // resumed after a failed write too
}

// "save famitone" tells how many cells the FamiTone library will not play, with the details on
// standard output; a song within its limits keeps the plain saved text.
TEST(FileCommands, SaveFamiToneReportsWhatWillNotPlay) {
    FileRig r;
    auto save = [&] {
        testing::internal::CaptureStdout();
        const std::string status = r.run("save famitone", r.path("song.txt"));
        return testing::internal::GetCapturedStdout() + status;
    };
    r.song->patterns[0].at(CH_PULSE1, 0) = {40, 0, 0x0F, 0x06};  // speed: played
    EXPECT_EQ(save(), "File succesfully saved!");
    r.song->patterns[0].at(CH_PULSE2, 0x1F) = {40, 0, 0xA4, 0x03};  // vibrato
    r.song->patterns[0].at(CH_NOISE, 2) = {1, 0, 0, 0};             // too low
    EXPECT_EQ(save(),
              "order 00 row 02 Noise: note is too low for the library\n"
              "order 00 row 1F Pulse 2: effect 4 (vibrato) is not played\n"
              "Saved, but 2 cells will not play as written (see standard output)");
    EXPECT_FALSE(r.read("song.txt").empty());
}

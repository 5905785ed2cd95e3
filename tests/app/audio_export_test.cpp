// "save wav": the file rendered in the background against an offline render, the status texts,
// failures that keep what was on disk, and an export cut short by quitting.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "EditorRig.h"
#include "player/OfflinePlayback.h"
#include "song/SongFile.h"
#include "tests/AudioRead.h"

namespace {

namespace fs = std::filesystem;

struct WavRig : EditorRig, TempDir {
    ScriptedDialogs dialogs;
    std::vector<std::string> statuses;

    WavRig() {
        program->setFileDialogs(&dialogs);
        program->statusObserver = [this](const std::string& s) { statuses.push_back(s); };
        // Sixteen rows of a short tune at speed 3: the song loops after 48 frames.
        song->orders.count = 1;
        song->speed = 3;
        for (int row = 0; row < 16; row += 4)
            song->patterns[0].at(0, row) = PatternCell{uint8_t(40 + row), 1, 0, 0};
        song->patterns[0].at(2, 0) = PatternCell{30, 1, 0, 0};
        song->patterns[0].at(0, 15).setEffect(0xB, 0);  // back to order 0
    }
    ~WavRig() { program.reset(); }  // stops an export still running before its folder goes
    size_t files() const { return size_t(std::distance(fs::directory_iterator(dir), {})); }

    void saveWav(const std::string& answer) {
        dialogs.answer = answer;
        statuses.clear();
        press("KMOD_LCTRL+KMOD_LSHIFT+SDLK_w");
    }
    // Saves to `answer` if given; the last status once the export has ended (waiting 20 s at most).
    std::string finish(std::optional<std::string> answer = std::nullopt) {
        if (answer) saveWav(*answer);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (program->fileCommands().audioExportRunning() && std::chrono::steady_clock::now() < until) {
            program->runPass();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return statuses.empty() ? "" : statuses.back();
    }
};

// The song rendered offline on a player of its own, as the command-line renderer does.
std::vector<int16_t> offlineRender(Song& song) {
    Nonlinear_Buffer buffer;
    Apu apu(buffer);
    Player player(song, apu);
    return renderSong(player, apu, 44100, 0.0);
}

}  // namespace

TEST(SaveWav, RendersACopyInTheBackgroundInEveryFormatAndAsStems) {
    WavRig r;
    // Not the new song's rate and tempo: the copy rendered must carry them.
    const auto rateAndTempo = std::make_pair(r.song->ntsc, r.song->tempo);
    r.song->ntsc = true;
    r.song->tempo = 150;
    const std::vector<int16_t> expected = offlineRender(*r.song);
    ASSERT_GT(expected.size(), 44100u / 2);
    const std::vector<uint8_t> before = serializeSong(*r.song);
    r.player.currentRow = 9;
    bool paused = false;
    r.lock.observe = [&paused](char c) { paused |= c == 'P'; };

    r.saveWav(r.path("tune.wav"));  // what it asks: tests/data/app/sessions/file_commands.txt
    ASSERT_EQ(r.statuses, std::vector<std::string>{"Saving audio... 0%"});
    // The editor takes keys while the render runs: a note typed in record mode changes the song
    // but not the copy being rendered.
    r.press("SDLK_ESCAPE SDLK_q");
    EXPECT_NE(serializeSong(*r.song), before);

    EXPECT_EQ(r.finish(), "Audio file saved.");
    for (size_t i = 1; i + 1 < r.statuses.size(); ++i) {
        EXPECT_EQ(r.statuses[i].rfind("Saving audio... ", 0), 0u) << r.statuses[i];
        EXPECT_LE(std::stoi(r.statuses[i - 1].substr(16)), std::stoi(r.statuses[i].substr(16)));
    }
    SF_INFO info;
    EXPECT_EQ(readAudio(r.path("tune.wav"), info), expected);
    EXPECT_EQ(std::make_tuple(info.samplerate, info.channels, info.format & SF_FORMAT_TYPEMASK),
              std::make_tuple(44100, 1, int(SF_FORMAT_WAV)));
    // The live player was neither borrowed nor paused; the file is the only one.
    EXPECT_EQ(std::make_tuple(r.player.currentRow, paused, r.files()), std::make_tuple(9, false, 1u));

    // Options, formats and stems, at the new song's rate and tempo.
    std::tie(r.song->ntsc, r.song->tempo) = rateAndTempo;
    const std::vector<int16_t> once = offlineRender(*r.song);
    FileCommands& commands = r.program->fileCommands();
    commands.audioExportOptions.render.passes = 2;
    commands.audioExportOptions.render.fadeSeconds = 0.5;
    EXPECT_EQ(r.finish(r.path("twice.flac")), "Audio file saved.");
    const std::vector<int16_t> twice = readAudio(r.path("twice.flac"), info);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
    // Frames hold 881 or 882 samples, so the second pass may differ from the first by one.
    EXPECT_NEAR(double(twice.size()), double(2 * once.size() + 22050), 1.0);
    EXPECT_TRUE(std::equal(once.begin(), once.end(), twice.begin()));

    commands.audioExportOptions = AudioExportOptions{};
    commands.audioExportOptions.stems = true;
    EXPECT_EQ(r.finish(r.path("parts.wav")), "Audio file saved.");
    for (const char* stem : {"Pulse1", "Pulse2", "Triangle", "Noise", "DPCM"})
        EXPECT_EQ(readAudio(r.path("parts-" + std::string(stem) + ".wav"), info).size(), once.size()) << stem;
    EXPECT_FALSE(fs::exists(r.path("parts.wav")));

    // The export runs at the sound device's rate when the renderer can.
    GeneralSettings settings;
    settings.sampleRate = 48000;
    EXPECT_EQ(audioExportOptionsFor(settings).render.sampleRate, 48000);
    settings.sampleRate = 1000000;
    EXPECT_EQ(audioExportOptionsFor(settings).render.sampleRate, 44100);
}

TEST(SaveWav, FailuresKeepTheFileThereAndQuittingStopsAnExport) {
    WavRig r;
    const std::vector<uint8_t> before = serializeSong(*r.song);
    std::ofstream(r.path("plain")) << "x";
    std::ofstream(r.path("keep.wav")) << "old";
    // No format for the name, a folder that is a file, a folder in the way of the file, a pipe
    // that nobody reads (which would block the writer).
    fs::create_directories(r.path("folder.wav"));
    ASSERT_EQ(::mkfifo(r.path("pipe.wav").c_str(), 0600), 0);
    for (const char* name : {"keep.mp3", "plain/inside.wav", "folder.wav", "pipe.wav"})
        EXPECT_EQ(r.finish(r.path(name)), "Couldn't save file!") << name;
    if (::geteuid() != 0) {  // permissions do not hold back the superuser
        fs::create_directories(r.path("locked"));
        std::ofstream(r.path("locked/keep.wav")) << "old";
        fs::permissions(r.path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(r.finish(r.path("locked/keep.wav")), "Couldn't save file!");
        fs::permissions(r.path("locked"), fs::perms::owner_all);
        EXPECT_EQ(readFile(r.path("locked/keep.wav")), "old");
        fs::remove_all(r.path("locked"));
    }
    EXPECT_EQ(readFile(r.path("plain")), "x");
    EXPECT_EQ(serializeSong(*r.song), before);
    // "-" is a name without a format here, never standard output.
    EXPECT_EQ(r.finish("-"), "Couldn't save file!");

    // One export at a time (sixteen passes and ten minutes of fade outlast the test); quitting
    // stops it quickly without touching the file.
    FileCommands& commands = r.program->fileCommands();
    commands.audioExportOptions.render.passes = 16;
    commands.audioExportOptions.render.fadeSeconds = 600;
    r.saveWav(r.path("keep.wav"));
    ASSERT_TRUE(commands.audioExportRunning());
    r.dialogs.asked.clear();
    r.saveWav(r.path("other.wav"));
    EXPECT_EQ(r.statuses, std::vector<std::string>{"Audio export already running."});
    EXPECT_TRUE(r.dialogs.asked.empty());
    const auto start = std::chrono::steady_clock::now();
    r.program.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(readFile(r.path("keep.wav")), "old");
    EXPECT_EQ(r.files(), 4u);  // no temporary file left behind
}

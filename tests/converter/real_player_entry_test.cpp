// The converter as the program's entry runs it, on the shipped example songs and an effect built
// here: real playback, files that a real assembler and linker accept, and the exit codes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "export/ConverterEntry.h"
#include "song/SongFile.h"

namespace fs = std::filesystem;

namespace {

struct EntryRun {
    std::optional<int> code;
    std::string out, err;
};

EntryRun convert(std::vector<std::string> args) {
    args.insert(args.begin(), "bleepforge");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EntryRun run;
    run.code = runConverterFromCommandLine(int(args.size()), argv.data());
    run.out = testing::internal::GetCapturedStdout();
    run.err = testing::internal::GetCapturedStderr();
    return run;
}

std::string read(const fs::path& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

struct Workspace {
    fs::path dir;
    explicit Workspace(const std::string& name) : dir(fs::path(BF_BINARY_DIR) / "converter-work" / name) {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    // A short zap on pulse 1 over a noise hit, looping with EEy.
    void writeEffect(const std::string& name) const {
        auto s = std::make_unique<Song>();
        s->instruments[1].envelopes[ENV_VOLUME].values[0] = 0xF0;
        PatternCell& lead = s->patterns[0].at(CH_PULSE1, 0);
        lead.note = 50, lead.instrument = 1;
        lead.setEffect(0x2, 0x40);
        s->patterns[0].at(CH_NOISE, 0).note = 30;
        s->patterns[0].at(CH_NOISE, 0).instrument = 1;
        s->patterns[0].at(CH_NOISE, 2).note = NOTE_OFF;
        s->patterns[0].at(CH_PULSE2, 0).setEffect(0xE, 0xE1);
        s->patterns[0].at(CH_PULSE2, 3).setEffect(0xB, 0x00);
        ASSERT_TRUE(saveSong(*s, path(name)));
    }

    // Includes every file in one source and links it with the samples at $C000, where the DMC
    // reads them: every label must resolve and every byte be in range.
    bool assembleAndLink(const std::vector<std::string>& codeFiles, const std::string& dpcmFile) const {
        std::ofstream wrapper(path("all.s"));
        wrapper << ".segment \"CODE\"\n";
        for (const std::string& f : codeFiles) wrapper << ".include \"" << f << "\"\n";
        wrapper << ".segment \"DPCM\"\n.include \"" << dpcmFile << "\"\n";
        wrapper.close();
        std::ofstream(path("nes.cfg"))
            << "MEMORY { DATA: start = $2000, size = $A000; SAMPLES: start = $C000, size = $4000; }\n"
               "SEGMENTS { CODE: load = DATA, type = ro; DPCM: load = SAMPLES, type = ro; }\n";
        const std::string cd = "cd '" + dir.string() + "' && ";
        return std::system((cd + "ca65 -o all.o all.s && ld65 -C nes.cfg -o all.bin all.o").c_str()) == 0;
    }
};

TEST(ConverterEntry, ExampleSongsAndAnEffectAssemble) {
    ASSERT_EQ(std::system("command -v ca65 >/dev/null && command -v ld65 >/dev/null"), 0)
        << "cc65 needed on PATH";
    const std::string demo = BF_SOURCE_DIR "/examples/demo.zcm";
    const std::string example = BF_SOURCE_DIR "/examples/example.zcm";
    const std::vector<std::string> files = {"music.s", "music-demo.s", "music-example.s", "music-zap.s"};

    Workspace w("real-player-entry");
    w.writeEffect("zap.zcm");
    const EntryRun run = convert({"-s", demo, example, "-e", w.path("zap.zcm"), "-o", w.path("music.s")});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out,
              "Processing songs...\n  demo.zcm\n  example.zcm\nProcessing sound effects...\n  zap.zcm\n");
    EXPECT_EQ(run.err, "");
    // The effect really played: the zap sounds and loops back to its start.
    const std::string zap = read(w.dir / "music-zap.s");
    EXPECT_NE(zap.find("  .byte 206\n  .word BLEEP_L4 + 0\n"), std::string::npos) << zap;
    EXPECT_TRUE(w.assembleAndLink(files, "music-dpcm.s"));

    // The other assembler dialect changes the low-byte operator of the sample table, nothing else.
    Workspace n("real-player-entry-nesasm");
    n.writeEffect("zap.zcm");
    ASSERT_EQ(
        convert({"-s", demo, example, "-e", n.path("zap.zcm"), "-o", n.path("music.s"), "-nesasm"}).code, 0);
    std::string main = read(n.dir / "music.s");
    int lowLines = 0;
    for (size_t at; (at = main.find("  .byte low( ")) != std::string::npos; ++lowLines)
        main.replace(at, 13, "  .byte <( ");
    EXPECT_EQ(lowLines, 2);  // one kick drum per song
    EXPECT_EQ(main, read(w.dir / "music.s"));
    for (size_t i = 1; i < files.size(); ++i)
        EXPECT_EQ(read(n.dir / files[i]), read(w.dir / files[i])) << files[i];
    EXPECT_EQ(read(n.dir / "music-dpcm.s"), read(w.dir / "music-dpcm.s"));
}

TEST(ConverterEntry, ExitCodes) {
    Workspace w("real-player-exit");
    // Not the converter's command line: the editor starts.
    EXPECT_EQ(convert({"song.zcm"}).code, std::nullopt);
    // An error that ends the run.
    EntryRun run = convert({"-s", w.path("a.zcm")});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "Error: Output file must be specified.\n");
    run = convert({"-s", w.path("a.zcm"), "-o", w.path("a.s"), "b.s"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "Error: More than one output file specified.\n");
    // A song that cannot be loaded fails the run.
    run = convert({"-s", w.path("missing.zcm"), "-o", w.path("m.s")});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "Processing songs...\n  missing.zcm\n");
}

}  // namespace

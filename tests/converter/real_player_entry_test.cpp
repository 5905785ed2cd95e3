// The converter as the program's entry runs it, on the shipped example songs and an effect built
// here: real playback, files that a real assembler and linker accept, and the exit codes.

#include <gtest/gtest.h>

#include <memory>

#include "TestFiles.h"
#include "export/ConverterEntry.h"
#include "song/SongFile.h"

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

struct Workspace : ScratchDir {
    using ScratchDir::ScratchDir;

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
};

TEST(ConverterEntry, ExampleSongsAndAnEffectAssemble) {
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
    const std::string zap = w.read("music-zap.s");
    EXPECT_NE(zap.find("  .byte 206\n  .word BLEEP_L4 + 0\n"), std::string::npos) << zap;
    EXPECT_TRUE(w.assembleAndLink(files, "music-dpcm.s"));

    // The other assembler dialect changes the low-byte operator of the sample table, nothing else.
    Workspace n("real-player-entry-nesasm");
    n.writeEffect("zap.zcm");
    ASSERT_EQ(
        convert({"-s", demo, example, "-e", n.path("zap.zcm"), "-o", n.path("music.s"), "-nesasm"}).code, 0);
    std::string main = n.read("music.s");
    int lowLines = 0;
    for (size_t at; (at = main.find("  .byte low( ")) != std::string::npos; ++lowLines)
        main.replace(at, 13, "  .byte <( ");
    EXPECT_EQ(lowLines, 2);  // one kick drum per song
    EXPECT_EQ(main, w.read("music.s"));
    for (const std::string& f : {files[1], files[2], files[3], std::string("music-dpcm.s")})
        EXPECT_EQ(n.read(f), w.read(f)) << f;
}

TEST(ConverterEntry, ExitCodes) {
    Workspace w("real-player-exit");
    // Not the converter's command line: the editor starts.
    EXPECT_EQ(convert({"song.zcm"}).code, std::nullopt);
    // Errors that end the run, and a song that cannot be loaded.
    const std::pair<std::vector<std::string>, std::string> failures[] = {
        {{"-s", w.path("a.zcm"), "-o", w.path("a.s"), "b.s"},
         "Error: More than one output file specified.\n"},
        {{"-s", w.path("missing.zcm"), "-o", w.path("m.s")},
         "Error: couldn't load " + w.path("missing.zcm") + "\n"}};
    for (const auto& [args, err] : failures) {
        const EntryRun run = convert(args);
        EXPECT_EQ(run.code, 1) << err;
        EXPECT_EQ(run.err, err);
    }
}

}  // namespace

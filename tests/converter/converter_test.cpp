// The converter as the program's entry runs it, with the real Player: argument grammar, the files
// of a whole run, progress lines and failures, and a real assembler and linker over the output.

#include <gtest/gtest.h>

#include "TestData.h"
#include "TestFiles.h"
#include "export/AsmNames.h"
#include "export/Converter.h"
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

// Songs a and b share the lead and the kick from other slots; the zap loops with EEy, the coin ends.
struct Workspace : ScratchDir {
    explicit Workspace(const std::string& name) : ScratchDir(name) {
        const std::pair<const char*, const char*> songs[] = {
            {"song-a", "a.zcm"}, {"song-b", "song b.zcm"}, {"coin", "coin.zcm"}, {"zap", "zap.zcm"}};
        for (const auto& [script, file] : songs) {
            auto s = std::make_unique<Song>();
            loadSongScript(*s, std::string("converter/") + script);
            EXPECT_TRUE(saveSong(*s, path(file)));
        }
    }
};

}  // namespace

TEST(ConverterArguments, Grammar) {
    std::ifstream table(BF_SOURCE_DIR "/tests/data/converter/arguments.in");
    std::ostringstream out;
    for (std::string line; std::getline(table, line);) {
        if (line.starts_with("#")) continue;
        std::vector<std::string> words = {"bleepforge"};
        std::istringstream in(line);
        for (std::string w; in >> w;) words.push_back(w);
        std::vector<const char*> argv;
        for (const std::string& w : words) argv.push_back(w.c_str());
        const ConverterArguments a = parseConverterArguments(int(argv.size()), argv.data());
        out << line << "\n  songs";
        for (const std::string& song : a.songs) out << " " << song;
        out << "; effects";
        for (const std::string& fx : a.effects) out << " " << fx;
        out << "; output " << a.output << "; nesasm " << a.nesasm << "; taken " << a.taken() << "\n";
    }
    expectTestData("converter/arguments.txt", out.str());
    EXPECT_EQ(convert({"song.zcm"}).code, std::nullopt);
}

TEST(Converter, WholeRunAssemblesAndLinks) {
    // The shipped songs, and songs a and b, which share a kick drum from different slots.
    const auto run = [&](const Workspace& w, const char* dialect) {
        fs::create_directories(w.dir / "out");
        std::vector<std::string> args = {"-s", w.path("a.zcm"), w.path("song b.zcm")};
        args.insert(args.end(), {BF_SOURCE_DIR "/examples/demo.zcm", BF_SOURCE_DIR "/examples/example.zcm"});
        args.insert(args.end(), {"-e", w.path("zap.zcm"), w.path("coin.zcm"), "-o", w.path("out/music.s")});
        if (*dialect) args.push_back(dialect);
        return convert(args);
    };
    Workspace w("full");
    EntryRun r = run(w, "");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "Processing songs...\n  a.zcm\n  song b.zcm\n  demo.zcm\n  example.zcm\n"
              "Processing sound effects...\n  zap.zcm\n  coin.zcm\n");
    EXPECT_EQ(r.err, "");
    // Every file exactly: the zap really played, sounds and loops back to its start; the coin does
    // not loop; the kick songs a and b use from different slots is stored once.
    const std::vector<std::string> files = {"out/music.s",         "out/music-a.s",   "out/music-song b.s",
                                            "out/music-demo.s",    "out/music-example.s",
                                            "out/music-zap.s",     "out/music-coin.s", "out/music-dpcm.s"};
    std::string all;
    for (const std::string& f : files) all += "; file " + f + "\n" + w.read(f);
    expectTestData("converter/whole-run.s.txt", all);
    EXPECT_TRUE(w.assembleAndLink({files.begin(), files.end() - 1}, files.back()));

    // The other assembler dialect changes the low-byte operator of the sample table, nothing else.
    Workspace n("full-nesasm");
    ASSERT_EQ(run(n, "-nesasm").code, 0);
    std::string nesasmMain = n.read("out/music.s");
    for (size_t at; (at = nesasmMain.find("  .byte low( ")) != std::string::npos;)
        nesasmMain.replace(at, 13, "  .byte <( ");
    EXPECT_EQ(nesasmMain, w.read(files[0]));
    for (size_t i = 1; i < files.size(); ++i) EXPECT_EQ(n.read(files[i]), w.read(files[i])) << files[i];
}

TEST(Converter, FailuresEndTheRunLoudly) {
    Workspace w("failures");
    // A song that cannot be loaded: exit code 1, named on the error stream; the main file keeps
    // its entry tables and nothing else is written.
    EntryRun r =
        convert({"-s", w.path("a.zcm"), w.path("nothere.zcm"), "-e", w.path("zap.zcm"), "-o", w.path("m.s")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Error: couldn't load " + w.path("nothere.zcm") + "\n");
    EXPECT_EQ(r.out, "Processing songs...\n  a.zcm\n  nothere.zcm\n");
    EXPECT_EQ(w.read("m.s"),
              "m:\n  .word BLEEP_L0\n  .word BLEEP_L1\n\nBLEEP_L0:\n  .word BLEEP_L2\n"
              "  .word BLEEP_L3\n\nBLEEP_L1:\n  .word BLEEP_L4\n\n");
    EXPECT_FALSE(fs::exists(w.path("m-a.s")) || fs::exists(w.path("m-dpcm.s")) ||
                 fs::exists(w.path("m-zap.s")));

    // Only effects: an empty song table, no tables or DPCM file. A broken effect file stops the
    // phase after the effects before it were written.
    std::ofstream(w.path("bad.zcm")) << "not a song";
    EXPECT_EQ(
        convert({"-e", w.path("zap.zcm"), w.path("bad.zcm"), w.path("coin.zcm"), "-o", w.path("fx.s")}).code,
        1);
    EXPECT_EQ(w.read("fx.s"),
              "fx:\n  .word BLEEP_L0\n  .word BLEEP_L1\n\nBLEEP_L0:\n\nBLEEP_L1:\n"
              "  .word BLEEP_L2\n  .word BLEEP_L3\n  .word BLEEP_L4\n\n");
    EXPECT_TRUE(fs::exists(w.path("fx-zap.s")));
    EXPECT_FALSE(fs::exists(w.path("fx-coin.s")) || fs::exists(w.path("fx-dpcm.s")));

    // Errors found before anything is written. An effect named like a song, or like the DPCM
    // data, or an output named like an input, would replace that file.
    fs::create_directories(w.dir / "fx");
    fs::copy_file(w.path("zap.zcm"), w.path("fx/a.zcm"));
    const auto error = [&](std::vector<std::string> args) {
        EntryRun run = convert(args);
        EXPECT_EQ(run.code, 1) << run.err;
        return run.err;
    };
    EXPECT_EQ(error({"-s", w.path("a.zcm"), "-o", w.path("a.s"), "b.s"}),
              "Error: More than one output file specified.\n");
    EXPECT_EQ(error({"-s", w.path("a.zcm"), "-o", ""}), "Error: Output file must be specified.\n");
    EXPECT_EQ(error({"-s", w.path("a.zcm"), "-o", w.path("no/dir/n.s")}),
              "Error: Couldn't open " + w.path("no/dir/n.s") + "\n");
    const std::string clash = error({"-s", w.path("a.zcm"), "-e", w.path("fx/a.zcm"), "-o", w.path("n.s")});
    EXPECT_NE(clash.find(w.path("n-a.s")), std::string::npos) << clash;
    EXPECT_NE(clash.find("sound effect " + w.path("fx/a.zcm")), std::string::npos) << clash;
    EXPECT_TRUE(
        error({"-s", w.path("a.zcm"), "-e", w.path("dpcm.zcm"), "-o", w.path("n.s")}).starts_with("Error: "));
    EXPECT_TRUE(error({"-s", w.path("a.zcm"), "-o", w.path("a.zcm")}).starts_with("Error: "));
    EXPECT_FALSE(fs::exists(w.path("n.s")));
    EXPECT_EQ(w.read("a.zcm").substr(0, 16), "ZephyrcantorTune");
    // The same song twice is no clash: the same data is written twice.
    EXPECT_EQ(convert({"-s", w.path("a.zcm"), w.path("a.zcm"), "-o", w.path("n.s")}).code, 0);
}

TEST(Converter, EntryLabelAssemblesWhateverTheOutputIsCalled) {
    // Names that are symbols already keep their label; the others get the prefix. Each run is
    // assembled and linked, and the label must be defined exactly once.
    const std::pair<const char*, const char*> cases[] = {
        {"music.s", "music"},         {"s.s", "s"},
        {"bleep_l0.s", "bleep_l0"},   {"BLEEP_L.s", "BLEEP_L"},
        {"8bit-music.s", "BLEEP_8bit_music"},
        {"a.s", "BLEEP_a"},           {"X.s", "BLEEP_X"},
        {"z.s", "BLEEP_z"},           {"LdA.s", "BLEEP_LdA"},
        {"BLEEP_L0.s", "BLEEP_BLEEP_L0"}, {"BLEEP_L12.s", "BLEEP_BLEEP_L12"},
    };
    Workspace w("labels");
    for (const auto& [file, label] : cases) {
        const std::string stem = replaceExtension(file, "");
        EntryRun r = convert({"-s", w.path("a.zcm"), "-e", w.path("zap.zcm"), "-o", w.path(file)});
        ASSERT_EQ(r.code, 0) << file << r.err;
        EXPECT_EQ(w.read(file).find(std::string(label) + ":\n  .word BLEEP_L0\n"), 0u) << file;
        std::ofstream(w.path("use.s")) << ".export " << label << "\n";
        EXPECT_TRUE(w.assembleAndLink({file, stem + "-a.s", stem + "-zap.s", "use.s"}, stem + "-dpcm.s"))
            << file;
    }
}

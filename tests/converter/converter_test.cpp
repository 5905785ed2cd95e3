// The converter: names and labels; captured songs written out as assembler text (scripts in
// tests/data/converter/song-data); the command line as the program's entry runs it, with the real
// Player, and a real assembler and linker over the output.

#include <gtest/gtest.h>

#include "TestData.h"
#include "TestFiles.h"
#include "export/AsmNames.h"
#include "export/AsmSongData.h"
#include "export/Converter.h"
#include "export/ConverterEntry.h"
#include "song/SongFile.h"
#include "tests/TraceScripts.h"

namespace {

// Songs a and b share the lead and the kick from other slots; the zap loops with EEy, the coin ends.
struct Workspace : ScratchDir {
    explicit Workspace(const std::string& name) : ScratchDir(name) {
        const std::pair<const char*, const char*> songs[] = {
            {"song-a", "a.zcm"}, {"song-b", "song b.zcm"}, {"coin", "coin.zcm"}, {"zap", "zap.zcm"}};
        for (const auto& [script, file] : songs)
            EXPECT_TRUE(saveSong(*songScript(std::string("converter/") + script), path(file)));
    }
};

// A song data script, one statement a line ('#' starts a comment):
//   song <path>                          a captured song, no stretches yet
//   <channel>: <code>[(<argument>)]...   one more stretch of the channel, codes in hexadecimal
//   loop <stretch>, used <slot>...       the song's loop point and the instruments it played
//   stretches <count>                    every channel's first stretch repeated up to <count>
//   write|try <output> [<low byte>]      every song so far written: write prints the main text
//                                        and each file, try only "written"; both the error
//                                        that refuses it
// and statements of a test song (TestData.h), which set the instruments of the last song.
std::string runSongData(std::istream& script) {
    std::vector<CapturedSong> songs;
    std::vector<std::unique_ptr<Song>> instruments;
    std::string out;
    for (std::string line; std::getline(script, line) && line != "--- trace";) {
        std::istringstream in(line);
        std::string op;
        if (!(in >> op) || op[0] == '#') continue;
        if (op == "song") {
            songs.emplace_back();
            in >> songs.back().path;
            instruments.push_back(std::make_unique<Song>());
        } else if (op.back() == ':') {
            CommandList& stretch = songs.back().channels[size_t(std::stoi(op))].emplace_back();
            for (std::string command; in >> command;) {
                const size_t open = command.find('(');
                stretch.push_back({std::stoi(command, nullptr, 16), {}});
                if (open != std::string::npos) stretch.back().args = {std::stoi(command.substr(open + 1))};
            }
        } else if (op == "loop") {
            in >> songs.back().loopIndex;
        } else if (op == "used") {
            for (size_t slot; in >> slot;) songs.back().usedInstruments[slot] = true;
        } else if (op == "stretches") {
            size_t count = 0;
            in >> count;
            for (auto& channel : songs.back().channels) channel.resize(count, channel[0]);
        } else if (op == "write" || op == "try") {
            std::string output, lowByte = "<";
            in >> output >> lowByte;
            for (size_t i = 0; i < songs.size(); ++i)
                songs[i].instruments.assign(instruments[i]->instruments,
                                            instruments[i]->instruments + INSTRUMENT_SLOTS);
            std::string text = "written\n";
            const std::string error = errorOf([&] {
                LabelTable labels;
                const SongDataText data = writeSongData(labels, lowByte, songs, OutputNames(output));
                if (op == "try") return;
                text = "; main\n" + data.mainText;
                for (const auto& file : data.files) text += "; file " + file.name + "\n" + file.text;
            });
            out += line + "\n" + (error.empty() ? text : "error: " + error + "\n");
        } else {
            songScriptLine(*instruments.back(), line, "converter/song-data");
        }
    }
    return out;
}

KEPT_TRACE_SUITE(SongDataScript, std::filesystem::path(BF_SOURCE_DIR "/tests/data/converter/song-data"),
                 runSongData);

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
    EXPECT_EQ(runConverter({"song.zcm"}).code, std::nullopt);
}

TEST(Converter, WholeRunAndEveryEntryLabelAssembleAndLink) {
    const auto run = [](const Workspace& w, std::vector<std::string> args) {
        fs::create_directories(w.dir / "out");
        args.insert(args.end(), {"-s", w.path("a.zcm"), w.path("song b.zcm"),
                                 BF_SOURCE_DIR "/examples/demo.zcm", BF_SOURCE_DIR "/examples/example.zcm",
                                 "-e", w.path("zap.zcm"), w.path("coin.zcm"), "-o", w.path("out/music.s")});
        return runConverter(args);
    };
    Workspace w("full");
    ConverterRun r = run(w, {});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The progress lines and every file exactly: the zap really played, sounds and loops back to
    // its start; the coin does not loop; the kick songs a and b use from different slots is stored once.
    const std::vector<std::string> files = {"out/music.s",      "out/music-a.s",       "out/music-song b.s",
                                            "out/music-demo.s", "out/music-example.s", "out/music-zap.s",
                                            "out/music-coin.s", "out/music-dpcm.s"};
    std::string all = "; output\n" + r.out;
    for (const std::string& f : files) all += "; file " + f + "\n" + w.read(f);
    expectTestData("converter/whole-run.s.txt", all);
    EXPECT_TRUE(w.assembleAndLink({files.begin(), files.end() - 1}, files.back()));

    // The other assembler dialect changes the low-byte operator of the sample table, nothing else.
    Workspace n("full-nesasm");
    ASSERT_EQ(run(n, {"-nesasm"}).code, 0);
    EXPECT_EQ(replaceAll(n.read("out/music.s"), "  .byte low( ", "  .byte <( "), w.read(files[0]));
    for (size_t i = 1; i < files.size(); ++i) EXPECT_EQ(n.read(files[i]), w.read(files[i])) << files[i];

    // Names that are symbols already keep their label, the others get the prefix; each run is
    // assembled and linked, and the label must be defined exactly once.
    std::ifstream table(BF_SOURCE_DIR "/tests/data/converter/entry-labels.txt");
    ASSERT_TRUE(table);
    for (std::string file, label; table >> file >> label;) {
        const std::string stem = replaceExtension(file, "");
        r = runConverter({"-s", w.path("a.zcm"), "-e", w.path("zap.zcm"), "-o", w.path(file)});
        ASSERT_EQ(r.code, 0) << file << r.err;
        EXPECT_EQ(w.read(file).find(label + ":\n  .word BLEEP_L0\n"), 0u) << file;
        std::ofstream(w.path("use.s")) << ".export " << label << "\n";
        EXPECT_TRUE(w.assembleAndLink({file, stem + "-a.s", stem + "-zap.s", "use.s"}, stem + "-dpcm.s"))
            << file;
    }
}

// Runs that fail, one a line of tests/data/converter/failures.txt in one workspace ($W), each
// with its exit code, output, errors and the files it wrote or changed (their text when short):
// what is found before anything is written writes nothing, and a failing phase stops where it is.
TEST(Converter, FailuresEndTheRunLoudly) {
    Workspace w("failures");
    std::ofstream(w.path("bad.zcm")) << "not a song";
    fs::create_directories(w.dir / "fx");
    fs::copy_file(w.path("zap.zcm"), w.path("fx/a.zcm"));
    for (const char* name : {"a-b.zcm", "a_b.zcm"}) fs::copy_file(w.path("a.zcm"), w.path(name));
    // Two songs of 140 instruments each, none alike: more than the instrument table holds.
    auto many = songScript("converter/many-instruments");
    EXPECT_TRUE(saveSong(*many, w.path("many.zcm")));
    for (int slot = 1; slot <= 140; ++slot) many->instruments[slot].envelopes[ENV_VOLUME].values[0] = 224;
    EXPECT_TRUE(saveSong(*many, w.path("many-b.zcm")));
    const std::string root = w.dir.string();
    const auto unroot = [&](const auto& t) { return replaceAll(replaceAll(t, root, "$W"), "\n", "\\n"); };
    const auto files = [&] {
        std::map<std::string, std::string> all;
        for (const auto& e : fs::recursive_directory_iterator(w.dir))
            if (e.is_regular_file()) all[e.path().string()] = readFile(e.path());
        return all;
    };
    expectKeptTrace(BF_SOURCE_DIR "/tests/data/converter/failures.txt", [&](std::istream& script) {
        std::string out;
        for (std::string line; std::getline(script, line) && line != "--- trace";) {
            if (line.empty() || line[0] == '#') continue;
            std::vector<std::string> args;
            std::istringstream in(line);
            for (std::string a; in >> a;)
                args.push_back(a == "''" ? "" : a.starts_with("$W") ? root + a.substr(2) : a);
            const auto before = files();
            const ConverterRun r = runConverter(args);
            out += line + "\n  exit " + (r.code ? std::to_string(*r.code) : "none") + "; out " +
                   unroot(r.out) + "; err " + unroot(r.err) + "\n";
            for (const auto& [path, text] : files())
                if (!before.count(path) || before.at(path) != text)
                    out += "  wrote " + unroot(path) + (text.size() < 300 ? ": " + unroot(text) : "") + "\n";
        }
        return out;
    });
}

TEST(AsmNames, PathHelpersOutputNamesAndLabels) {
    EXPECT_EQ(directoryOf("a/b\\c.zcm") + "|" + fileNameOf("a/b\\c.zcm") + "|" + fileNameOf("c") + "|" +
                  extensionOf("x.tar.asm", "s") + extensionOf(".hidden", "s") +
                  extensionOf("dir.v2/music", "s") + "|" + replaceExtension(".zcm", "s") + "|" +
                  replaceExtension("d.x/song", "asm"),
              "a/b|c.zcm|c|asmss|.zcm.s|d.x/song.asm");
    EXPECT_EQ(entryKey("music", "dir/my-song\xc3\xa9.zcm"), "music_my_song__");
    EXPECT_EQ(entryKey("m", "a-b.zcm"), entryKey("m", "a_b.zcm"));  // one label for both
    const OutputNames bare("music"), nested("out\\sub/snd-data.asm");
    EXPECT_EQ(bare.songFileName("songs/title.zcm") + "|" + bare.dpcmFileName(), "music-title.s|music-dpcm.s");
    EXPECT_EQ(nested.base + "|" + nested.effectFileName("fx/jump.zcm"),
              "snd_data|out\\sub/snd-data-jump.asm");
    LabelTable labels;
    EXPECT_EQ(labels.labelFor("x") + labels.labelFor("y") + labels.labelFor("x"), "BLEEP_L0BLEEP_L1BLEEP_L0");
}

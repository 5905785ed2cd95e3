// The converter from the command line to files: argument grammar, the files of a whole run,
// their progress lines and failures, and a real assembler and linker over the output.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakePlayer.h"
#include "export/Converter.h"
#include "song/SongFile.h"

namespace fs = std::filesystem;

namespace {

// Plays the loaded song the simple way: three frames per row, the order list from the start,
// wrapping at its end. Channel 0-3 notes report instrument and note; DPCM instruments on the
// DPCM channel report rate and play; pulse 1 and the noise set effect registers; EEy asks for a
// loop.
struct SongPlayer : FakePlayer {
    Song& song;
    explicit SongPlayer(Song& s) : song(s) {
        framesPerRow = 3;
        onTick = [this](FakePlayer&, int o, int r, int frame) { tick(o, r, frame); };
    }
    void reset() override {
        FakePlayer::reset();
        orders = song.orders.count;
    }
    void tick(int o, int r, int frame) {
        if (frame != 0) return;
        const Pattern& pattern = song.patterns[song.orders.entries[o]];
        for (int c = 0; c < CHANNEL_COUNT; ++c) {
            const PatternCell& cell = pattern.at(c, r);
            if (cell.effect() == 0xE && (cell.parameter() >> 4) == 0xE) {
                loopFlag = true;
                report(4, DRV_DPCM_EFFECT, {cell.parameter() & 15});
            }
            if (cell.note == 0) continue;
            if (cell.note == NOTE_OFF) {
                report(c, DRV_NOTE_CUT);
                if (c == 0) regs.field[0] = 0x80, regs.field[1] = regs.field[2] = -1;
                if (c == 3) regs.field[9] = 0, regs.field[10] = -1;
                continue;
            }
            const Instrument& inst = song.instruments[cell.instrument];
            if (c == CH_DPCM) {
                if (inst.type == INST_DPCM) {
                    report(c, DRV_DPCM_RATE, {(cell.note & 15) | (inst.dpcm.loop ? 0x40 : 0)});
                    report(c, DRV_DPCM_PLAY, {cell.instrument});
                }
                continue;
            }
            if (cell.instrument && cell.instrument != instrument[c]) {
                instrument[c] = cell.instrument;
                report(c, DRV_INSTRUMENT, {cell.instrument});
            }
            report(c, DRV_NOTE, {cell.note});
            if (c == 0) regs.field[0] = 0x8F, regs.field[1] = (0x700 >> (cell.note / 12)) & 0xFF, regs.field[2] = 0;
            if (c == 3) regs.field[9] = 12, regs.field[10] = cell.note & 15;
        }
    }
};

struct Workspace {
    fs::path dir;
    std::unique_ptr<Song> song = std::make_unique<Song>();
    SongPlayer player{*song};
    DriverCommandRecorder recorder;
    ConverterContext context{*song, player, recorder};
    std::ostringstream out, err;

    explicit Workspace(const std::string& name) : dir(fs::path(BF_BINARY_DIR) / "converter-work" / name) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        player.recorder = &recorder;
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool exists(const std::string& name) const { return fs::exists(dir / name); }
    std::optional<int> run(std::vector<std::string> args) {
        args.insert(args.begin(), "bleepforge");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        return runConverter(int(argv.size()), argv.data(), context, out, err);
    }
};

void noteAt(Song& s, int pattern, int channel, int row, int note, int instrument) {
    s.patterns[pattern].at(channel, row).note = uint8_t(note);
    s.patterns[pattern].at(channel, row).instrument = uint8_t(instrument);
}

void setVolume(Instrument& inst, std::vector<int> values) {
    for (size_t i = 0; i < values.size(); ++i) inst.envelopes[ENV_VOLUME].values[i] = values[i];
    inst.envelopes[ENV_VOLUME].values[values.size()] = END_MARKER;
    inst.envelopes[ENV_VOLUME].loopPoint = int(values.size()) - 1;
}

// Writes the example songs and effects of the run into the workspace.
void writeInputs(const Workspace& w) {
    auto s = std::make_unique<Song>();
    // Song a: two orders, a lead on pulse 1, bass on the triangle, DPCM drums.
    s->orders.count = 2;
    s->orders.entries[1] = 1;
    setVolume(s->instruments[1], {0xF0, 0xA0, 0x60});
    setVolume(s->instruments[2], {0xC0});
    s->instruments[3].type = INST_DPCM;
    std::vector<uint8_t> kick(700, 0xAA), snare(300, 0x33);
    s->instruments[3].dpcm.assign(kick.data(), uint32_t(kick.size()), false);
    s->instruments[4].type = INST_DPCM;
    s->instruments[4].dpcm.assign(snare.data(), uint32_t(snare.size()), true);
    for (int row = 0; row < 64; row += 8) {
        noteAt(*s, 0, 0, row, 37 + row / 8, 1);
        noteAt(*s, 1, 0, row, 80 - row / 8, row < 32 ? 1 : 2);
        noteAt(*s, 0, 2, row, 25, 2);
        noteAt(*s, 1, 2, row, 25, 2);
        noteAt(*s, 0, 4, row, 0x0F, row % 16 ? 4 : 3);
    }
    noteAt(*s, 1, 0, 60, NOTE_OFF, 0);
    ASSERT_TRUE(saveSong(*s, w.path("a.zcm")));
    // Song b (file name a-b, key shared with nothing): the same lead instrument in slot 7.
    s->clear();
    setVolume(s->instruments[7], {0xF0, 0xA0, 0x60});
    s->instruments[8].type = INST_DPCM;
    s->instruments[8].dpcm.assign(kick.data(), uint32_t(kick.size()), false);
    noteAt(*s, 0, 0, 0, 12, 7);
    noteAt(*s, 0, 4, 0, 0x0E, 8);
    noteAt(*s, 0, 3, 4, 5, 7);
    ASSERT_TRUE(saveSong(*s, w.path("song b.zcm")));
    // Effects: a jump on pulse 1 that loops with EEE, a coin on the noise.
    s->clear();
    noteAt(*s, 0, 0, 0, 40, 0);
    noteAt(*s, 0, 0, 1, 52, 0);
    s->patterns[0].at(1, 2).setEffect(0xE, 0xE1);
    ASSERT_TRUE(saveSong(*s, w.path("jump.zcm")));
    s->clear();
    noteAt(*s, 0, 3, 0, 9, 0);
    noteAt(*s, 0, 3, 2, NOTE_OFF, 0);
    ASSERT_TRUE(saveSong(*s, w.path("coin.zcm")));
}

bool haveTool(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null").c_str()) == 0; }

// Assembles a wrapper that includes every file of the run and links it with the DPCM data at
// $C000; true when both succeed (every label resolves, every byte is in range).
bool assembleAndLink(const Workspace& w, const std::vector<std::string>& codeFiles, const std::string& dpcmFile) {
    std::ofstream wrapper(w.path("all.s"));
    wrapper << ".segment \"CODE\"\n";
    for (const std::string& f : codeFiles) wrapper << ".include \"" << f << "\"\n";
    wrapper << ".segment \"DPCM\"\n.include \"" << dpcmFile << "\"\n";
    wrapper.close();
    std::ofstream cfg(w.path("nes.cfg"));
    cfg << "MEMORY { DATA: start = $8000, size = $4000; SAMPLES: start = $C000, size = $4000; }\n"
           "SEGMENTS { CODE: load = DATA, type = ro; DPCM: load = SAMPLES, type = ro; }\n";
    cfg.close();
    const std::string cd = "cd '" + w.dir.string() + "' && ";
    return std::system((cd + "ca65 -o all.o all.s && ld65 -C nes.cfg -o all.bin all.o").c_str()) == 0;
}

}  // namespace

TEST(ConverterArguments, Grammar) {
    const auto parse = [](std::vector<const char*> args) {
        args.insert(args.begin(), "bleepforge");
        return parseConverterArguments(int(args.size()), args.data());
    };
    ConverterArguments a = parse({"-o", "out.s", "-s", "a.zcm"});
    EXPECT_EQ(a.songs, std::vector<std::string>{"a.zcm"});
    EXPECT_EQ(a.output, "out.s");
    a = parse({"ignored.zcm", "-s", "a.zcm", "-e", "b.zcm", "-nesasm", "x.zcm", "-s", "c.zcm", "-o", "o.s"});
    EXPECT_EQ(a.songs, (std::vector<std::string>{"a.zcm", "c.zcm"}));
    EXPECT_EQ(a.effects, (std::vector<std::string>{"b.zcm", "x.zcm"}));
    EXPECT_TRUE(a.nesasm);
    EXPECT_TRUE(a.taken());
    a = parse({"-e", "fx.zcm", "-o", "out.s"});
    EXPECT_TRUE(a.taken());
    EXPECT_TRUE(a.songs.empty());
    EXPECT_EQ(a.output, "out.s");
    // Not the converter's: the editor starts.
    for (auto args : std::vector<std::vector<const char*>>{
             {}, {"song.zcm"}, {"-o", "x.s"}, {"-nesasm"}, {"-s", "-o", "out.s"}, {"-S", "a.zcm", "-o", "o.s"}})
        EXPECT_FALSE(parse(args).taken()) << args.size();
    try {
        parse({"-s", "a.zcm", "-o", "out.s", "b.zcm"});
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "More than one output file specified.");
    }
    EXPECT_THROW(parse({"-o", "a.s", "-nesasm", "b.s"}), std::runtime_error);
}

TEST(Converter, WholeRunAssemblesAndLinks) {
    Workspace w("full");
    writeInputs(w);
    const std::string out = w.path("out/music.s");
    fs::create_directories(w.dir / "out");
    ASSERT_EQ(w.run({"-s", w.path("a.zcm"), w.path("song b.zcm"), "-e", w.path("jump.zcm"), w.path("coin.zcm"),
                     "-o", out}),
              0)
        << w.err.str();
    EXPECT_EQ(w.out.str(),
              "Processing songs...\n  a.zcm\n  song b.zcm\nProcessing sound effects...\n  jump.zcm\n  coin.zcm\n");
    EXPECT_EQ(w.err.str(), "");
    EXPECT_EQ(w.player.saves, 2);
    EXPECT_EQ(w.player.restores, 2);

    const std::string main = w.read("out/music.s");
    EXPECT_EQ(main.find("music:\n  .word BLEEP_L0\n  .word BLEEP_L1\n\nBLEEP_L0:\n  .word BLEEP_L2\n  .word BLEEP_L3\n\n"
                        "BLEEP_L1:\n  .word BLEEP_L4\n  .word BLEEP_L5\n\n"),
              0u);
    const std::vector<std::string> files = {"out/music.s", "out/music-a.s", "out/music-song b.s",
                                            "out/music-jump.s", "out/music-coin.s"};
    for (const std::string& f : files) EXPECT_TRUE(w.exists(f)) << f;
    EXPECT_EQ(w.read("out/music-jump.s").find("; Sound effect data generated by Bleepforge\n\nBLEEP_L4:\n"), 0u);
    EXPECT_NE(w.read("out/music-jump.s").find("  .word BLEEP_L4 + "), std::string::npos);
    EXPECT_EQ(w.read("out/music-coin.s").find(".word"), std::string::npos);

    if (!haveTool("ca65") || !haveTool("ld65")) FAIL() << "ca65 and ld65 (cc65) are needed on PATH";
    EXPECT_TRUE(assembleAndLink(w, files, "out/music-dpcm.s"));

    // The other assembler dialect changes the low-byte operator of the DPCM table and nothing
    // else.
    Workspace n("nesasm");
    writeInputs(n);
    fs::create_directories(n.dir / "out");
    ASSERT_EQ(n.run({"-nesasm", "-s", n.path("a.zcm"), n.path("song b.zcm"), "-e", n.path("jump.zcm"),
                     n.path("coin.zcm"), "-o", n.path("out/music.s")}),
              0);
    std::string converted = n.read("out/music.s");
    int lowLines = 0;
    for (size_t at; (at = converted.find("  .byte low( ")) != std::string::npos; ++lowLines)
        converted.replace(at, 13, "  .byte <( ");
    EXPECT_EQ(lowLines, 2);
    EXPECT_EQ(converted, main);
    for (size_t i = 1; i < files.size(); ++i) EXPECT_EQ(n.read(files[i]), w.read(files[i])) << files[i];
    EXPECT_EQ(n.read("out/music-dpcm.s"), w.read("out/music-dpcm.s"));
}

TEST(Converter, FailuresEndTheRunLoudly) {
    {
        // A song that cannot be loaded: exit code 1, named on the error stream; the main file keeps
        // its entry tables, no song data and no effects are written.
        Workspace w("missing");
        writeInputs(w);
        EXPECT_EQ(w.run({"-s", w.path("a.zcm"), w.path("nothere.zcm"), "-e", w.path("jump.zcm"), "-o",
                         w.path("m.s")}),
                  1);
        EXPECT_EQ(w.err.str(), "Error: couldn't load " + w.path("nothere.zcm") + "\n");
        EXPECT_EQ(w.out.str(), "Processing songs...\n  a.zcm\n  nothere.zcm\n");
        EXPECT_EQ(w.read("m.s"), "m:\n  .word BLEEP_L0\n  .word BLEEP_L1\n\nBLEEP_L0:\n  .word BLEEP_L2\n"
                                 "  .word BLEEP_L3\n\nBLEEP_L1:\n  .word BLEEP_L4\n\n");
        EXPECT_FALSE(w.exists("m-a.s"));
        EXPECT_FALSE(w.exists("m-dpcm.s"));
        EXPECT_FALSE(w.exists("m-jump.s"));
        EXPECT_EQ(w.player.restores, 1);
    }
    {
        // Only effects: empty song table, no tables and no DPCM file. A broken effect file stops the
        // phase after the first effect was written.
        Workspace w("effects");
        writeInputs(w);
        std::ofstream(w.path("bad.zcm")) << "not a song";
        EXPECT_EQ(w.run({"-e", w.path("jump.zcm"), w.path("bad.zcm"), w.path("coin.zcm"), "-o", w.path("fx.s")}), 1);
        EXPECT_EQ(w.read("fx.s"), "fx:\n  .word BLEEP_L0\n  .word BLEEP_L1\n\nBLEEP_L0:\n\nBLEEP_L1:\n"
                                  "  .word BLEEP_L2\n  .word BLEEP_L3\n  .word BLEEP_L4\n\n");
        EXPECT_TRUE(w.exists("fx-jump.s"));
        EXPECT_FALSE(w.exists("fx-coin.s"));
        EXPECT_FALSE(w.exists("fx-dpcm.s"));
        EXPECT_EQ(w.err.str(), "Error: couldn't load " + w.path("bad.zcm") + "\n");
    }
    {
        // Errors thrown before anything is written.
        Workspace w("errors");
        writeInputs(w);
        const auto message = [&](std::vector<std::string> args) -> std::string {
            try {
                w.run(args);
            } catch (const std::runtime_error& e) {
                return e.what();
            }
            return "no error";
        };
        EXPECT_EQ(message({"-s", w.path("a.zcm"), "-o", ""}), "Output file must be specified.");
        EXPECT_EQ(message({"-s", w.path("a.zcm")}), "Output file must be specified.");
        EXPECT_EQ(message({"-s", w.path("a.zcm"), "-o", w.path("no/such/dir/m.s")}),
                  "Couldn't open " + w.path("no/such/dir/m.s"));
        // An effect named like a song would replace the song's data file.
        fs::create_directories(w.dir / "fx");
        fs::copy_file(w.path("jump.zcm"), w.path("fx/a.zcm"));
        const std::string clash = message({"-s", w.path("a.zcm"), "-e", w.path("fx/a.zcm"), "-o", w.path("m.s")});
        EXPECT_NE(clash.find(w.path("m-a.s")), std::string::npos) << clash;
        EXPECT_NE(clash.find("sound effect " + w.path("fx/a.zcm")), std::string::npos) << clash;
        EXPECT_NE(message({"-s", w.path("a.zcm"), "-e", w.path("dpcm.zcm"), "-o", w.path("m.s")}), "no error");
        EXPECT_FALSE(w.exists("m.s"));
        // The same song twice is no clash: the same data is written twice.
        EXPECT_EQ(w.run({"-s", w.path("a.zcm"), w.path("a.zcm"), "-o", w.path("m.s")}), 0);
        // Nothing for the converter: the editor starts.
        EXPECT_EQ(w.run({w.path("a.zcm")}), std::nullopt);
        EXPECT_EQ(w.run({"-s", "-o", w.path("m.s")}), std::nullopt);
    }
}

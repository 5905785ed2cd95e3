// The converter from the command line to files: argument grammar, the files of a whole run,
// progress lines and failures, and a real assembler and linker over the output.

#include <gtest/gtest.h>

#include "FakePlayer.h"
#include "TestFiles.h"
#include "export/Converter.h"
#include "song/SongFile.h"

namespace {

// Plays the loaded song simply: three frames per row through the order list. Notes on channels
// 0-3 report instrument and note, DPCM instruments on the DPCM channel rate and play; pulse 1
// sets its registers; EEy asks for a loop.
struct SongPlayer : FakePlayer {
    Song& song;
    explicit SongPlayer(Song& s) : song(s) {
        framesPerRow = 3;
        onTick = [this](FakePlayer&, int o, int r, int frame) {
            for (int c = 0; frame == 0 && c < CHANNEL_COUNT; ++c)
                row(c, song.patterns[song.orders.entries[o]].at(c, r));
        };
    }
    void reset() override {
        FakePlayer::reset();
        orders = song.orders.count;
    }
    void row(int c, const PatternCell& cell) {
        if (cell.effect() == 0xE && (cell.parameter() >> 4) == 0xE) loopFlag = true;
        const Instrument& inst = song.instruments[cell.instrument];
        if (cell.note == NOTE_OFF && c == 0) regs.field[0] = 0x80, regs.field[1] = regs.field[2] = -1;
        if (cell.note == 0 || cell.note == NOTE_OFF) return;
        if (c == CH_DPCM && inst.type == INST_DPCM) {
            report(c, DRV_DPCM_RATE, {(cell.note & 15) | (inst.dpcm.loop ? 0x40 : 0)});
            report(c, DRV_DPCM_PLAY, {cell.instrument});
        }
        if (c == CH_DPCM) return;
        if (cell.instrument && cell.instrument != instrument[c])
            report(c, DRV_INSTRUMENT, {instrument[c] = cell.instrument});
        report(c, DRV_NOTE, {cell.note});
        if (c == 0)
            regs.field[0] = 0x8F, regs.field[1] = (0x700 >> (cell.note / 12)) & 0xFF, regs.field[2] = 0;
    }
};

struct Workspace : ScratchDir {
    std::unique_ptr<Song> song = std::make_unique<Song>();
    SongPlayer player{*song};
    DriverCommandRecorder recorder;
    ConverterContext context{*song, player, recorder};
    std::ostringstream out, err;

    explicit Workspace(const std::string& name) : ScratchDir(name) {
        fs::create_directories(dir / "out");
        player.recorder = &recorder;
        writeInputs();
    }
    std::optional<int> run(std::vector<std::string> args) {
        args.insert(args.begin(), "bleepforge");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        return runConverter(int(argv.size()), argv.data(), context, out, err);
    }

    // Song a: two orders, a lead with two instruments, DPCM drums; song b shares the lead and the
    // kick from other slots. Effect jump loops with EEE; coin ends.
    void writeInputs() {
        auto s = std::make_unique<Song>();
        const auto put = [&](int pattern, int channel, int row, int note, int instrument) {
            s->patterns[pattern].at(channel, row).note = uint8_t(note);
            s->patterns[pattern].at(channel, row).instrument = uint8_t(instrument);
        };
        const auto sample = [&](int slot, int size, bool loop) {
            std::vector<uint8_t> bytes(size, uint8_t(size));
            s->instruments[slot].type = INST_DPCM;
            s->instruments[slot].dpcm.assign(bytes.data(), uint32_t(size), loop);
        };
        s->orders.count = 2, s->orders.entries[1] = 1;
        s->instruments[1].envelopes[ENV_VOLUME].values[0] = 0xF0;
        s->instruments[2].envelopes[ENV_DUTY].values[0] = 0x80;
        sample(3, 700, false);
        sample(4, 300, true);
        for (int row = 0; row < 64; row += 8) {
            put(0, 0, row, 37 + row / 8, 1);
            put(1, 0, row, 80 - row / 8, row < 32 ? 1 : 2);
            put(0, 2, row, 25, 2);
            put(0, 4, row, 0x0F, row % 16 ? 4 : 3);
        }
        put(1, 0, 60, NOTE_OFF, 0);
        ASSERT_TRUE(saveSong(*s, path("a.zcm")));
        s->clear();
        s->instruments[7].envelopes[ENV_VOLUME].values[0] = 0xF0;
        sample(8, 700, false);
        put(0, 0, 0, 12, 7);
        put(0, 4, 0, 0x0E, 8);
        ASSERT_TRUE(saveSong(*s, path("song b.zcm")));
        s->clear();
        put(0, 0, 0, 40, 0);
        put(0, 0, 1, 52, 0);
        s->patterns[0].at(1, 2).setEffect(0xE, 0xE1);
        ASSERT_TRUE(saveSong(*s, path("jump.zcm")));
        s->patterns[0].at(1, 2).setEffect(0, 0);
        put(0, 0, 2, NOTE_OFF, 0);
        ASSERT_TRUE(saveSong(*s, path("coin.zcm")));
    }
};

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
    EXPECT_TRUE(parse({"-e", "fx.zcm", "-o", "out.s"}).taken());
    // Not the converter's: the editor starts.
    for (auto args : std::vector<std::vector<const char*>>{{},
                                                           {"song.zcm"},
                                                           {"-o", "x.s"},
                                                           {"-nesasm"},
                                                           {"-s", "-o", "out.s"},
                                                           {"-S", "a.zcm", "-o", "o.s"}})
        EXPECT_FALSE(parse(args).taken()) << args.size();
    try {
        parse({"-s", "a.zcm", "-o", "out.s", "b.zcm"});
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "More than one output file specified.");
    }
}

TEST(Converter, WholeRunAssemblesAndLinks) {
    Workspace w("full");
    ASSERT_EQ(w.run({"-s", w.path("a.zcm"), w.path("song b.zcm"), "-e", w.path("jump.zcm"),
                     w.path("coin.zcm"), "-o", w.path("out/music.s")}),
              0)
        << w.err.str();
    EXPECT_EQ(
        w.out.str(),
        "Processing songs...\n  a.zcm\n  song b.zcm\nProcessing sound effects...\n  jump.zcm\n  coin.zcm\n");
    EXPECT_EQ(w.err.str(), "");
    EXPECT_EQ(w.player.saves + w.player.restores, 4);
    const std::string main = w.read("out/music.s");
    EXPECT_EQ(
        main.find(
            "music:\n  .word BLEEP_L0\n  .word BLEEP_L1\n\nBLEEP_L0:\n  .word BLEEP_L2\n  .word BLEEP_L3\n\n"
            "BLEEP_L1:\n  .word BLEEP_L4\n  .word BLEEP_L5\n\n"),
        0u);
    EXPECT_EQ(w.read("out/music-jump.s").find("; Sound effect data generated by Bleepforge\n\nBLEEP_L4:\n"),
              0u);
    EXPECT_NE(w.read("out/music-jump.s").find("  .word BLEEP_L4 + "), std::string::npos);
    EXPECT_EQ(w.read("out/music-coin.s").find(".word"), std::string::npos);
    // The kick both songs use from different slots is stored once.
    int sampleEntries = 0;
    for (size_t at = 0; (at = main.find("  .byte <( ", at)) != std::string::npos; ++at) ++sampleEntries;
    EXPECT_EQ(sampleEntries, 2);
    EXPECT_TRUE(w.assembleAndLink(
        {"out/music.s", "out/music-a.s", "out/music-song b.s", "out/music-jump.s", "out/music-coin.s"},
        "out/music-dpcm.s"));
}

TEST(Converter, FailuresEndTheRunLoudly) {
    Workspace w("failures");
    const std::string entriesOnly =
        "m:\n  .word BLEEP_L0\n  .word BLEEP_L1\n\nBLEEP_L0:\n  .word BLEEP_L2\n"
        "  .word BLEEP_L3\n\nBLEEP_L1:\n  .word BLEEP_L4\n\n";
    // A song that cannot be loaded: exit code 1, named on the error stream; the main file keeps
    // its entry tables and nothing else is written.
    EXPECT_EQ(
        w.run({"-s", w.path("a.zcm"), w.path("nothere.zcm"), "-e", w.path("jump.zcm"), "-o", w.path("m.s")}),
        1);
    EXPECT_EQ(w.err.str(), "Error: couldn't load " + w.path("nothere.zcm") + "\n");
    EXPECT_EQ(w.out.str(), "Processing songs...\n  a.zcm\n  nothere.zcm\n");
    EXPECT_EQ(w.read("m.s"), entriesOnly);
    EXPECT_FALSE(fs::exists(w.path("m-a.s")) || fs::exists(w.path("m-dpcm.s")) ||
                 fs::exists(w.path("m-jump.s")));
    EXPECT_EQ(w.player.restores, 1);

    // Only effects: an empty song table, no tables or DPCM file. A broken effect file stops the
    // phase after the effects before it were written.
    std::ofstream(w.path("bad.zcm")) << "not a song";
    EXPECT_EQ(w.run({"-e", w.path("jump.zcm"), w.path("bad.zcm"), w.path("coin.zcm"), "-o", w.path("fx.s")}),
              1);
    EXPECT_EQ(w.read("fx.s"),
              "fx:\n  .word BLEEP_L0\n  .word BLEEP_L1\n\nBLEEP_L0:\n\nBLEEP_L1:\n"
              "  .word BLEEP_L2\n  .word BLEEP_L3\n  .word BLEEP_L4\n\n");
    EXPECT_TRUE(fs::exists(w.path("fx-jump.s")));
    EXPECT_FALSE(fs::exists(w.path("fx-coin.s")) || fs::exists(w.path("fx-dpcm.s")));

    // Errors thrown before anything is written.
    const auto message = [&](std::vector<std::string> args) -> std::string {
        try {
            w.run(args);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(message({"-s", w.path("a.zcm"), "-o", ""}), "Output file must be specified.");
    EXPECT_EQ(message({"-s", w.path("a.zcm"), "-o", w.path("no/dir/n.s")}),
              "Couldn't open " + w.path("no/dir/n.s"));
    // An effect named like a song, or like the DPCM data, would replace that file.
    fs::create_directories(w.dir / "fx");
    fs::copy_file(w.path("jump.zcm"), w.path("fx/a.zcm"));
    const std::string clash = message({"-s", w.path("a.zcm"), "-e", w.path("fx/a.zcm"), "-o", w.path("n.s")});
    EXPECT_NE(clash.find(w.path("n-a.s")), std::string::npos) << clash;
    EXPECT_NE(clash.find("sound effect " + w.path("fx/a.zcm")), std::string::npos) << clash;
    EXPECT_NE(message({"-s", w.path("a.zcm"), "-e", w.path("dpcm.zcm"), "-o", w.path("n.s")}), "no error");
    EXPECT_NE(message({"-s", w.path("a.zcm"), "-o", w.path("a.zcm")}), "no error");
    EXPECT_FALSE(fs::exists(w.path("n.s")));
    EXPECT_EQ(w.read("a.zcm").substr(0, 16), "ZephyrcantorTune");
    // The same song twice is no clash: the same data is written twice.
    EXPECT_EQ(w.run({"-s", w.path("a.zcm"), w.path("a.zcm"), "-o", w.path("n.s")}), 0);
}

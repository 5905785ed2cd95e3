// ROM export: the data bytes are those ca65 and ld65 make of the converter's text, a ROM of each
// example song sounds like the editor's render of it on the project's 6502 core, and what cannot
// be built fails with a clear error and leaves an earlier ROM in place.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "apu/Apu.h"
#include "export/AsmNames.h"
#include "export/ConverterEntry.h"
#include "export/RomExport.h"
#include "nes/ConsolePlayer.h"
#include "player/OfflinePlayback.h"
#include "song/SongFile.h"
#include "tests/TraceScripts.h"
#include "tests/converter/TestData.h"
#include "tests/converter/TestFiles.h"
#include "tests/nsf/Listening.h"
#include "tests/nsf/SongRig.h"

namespace {

const std::string EXAMPLES = BF_SOURCE_DIR "/examples/";

// A test song script saved as a song file in `w`.
std::string savedScript(const ScratchDir& w, const std::string& name) {
    EXPECT_TRUE(saveSong(*songScript("converter/" + name), w.path(name + ".zcm")));
    return w.path(name + ".zcm");
}

// The demo with a 12 KB DPCM sample it does not play (named, so that the file keeps it): the
// samples fill most of $C000-$FFFF, so the rest of the data moves down to $8000 (NROM-256).
std::string bigSampleDemo(const ScratchDir& w, uint32_t size = 12 * 1024) {
    SongRig rig;
    EXPECT_TRUE(rig.load());
    songScriptLine(*rig.song, "dpcm 12 " + std::to_string(size) + " 0", "nes/big-sample");
    songScriptLine(*rig.song, "name 12 Unplayed", "nes/big-sample");
    const std::string path = w.path("big" + std::to_string(size) + ".zcm");
    EXPECT_TRUE(saveSong(*rig.song, path));
    return path;
}

// Expects tests/data/export/<file>: each of its lines (but blank ones and comments) and, indented
// below it, what `run` says of it.
void expectKeptLines(const std::string& file, const std::function<std::string(const std::string&)>& run) {
    expectKeptTrace(BF_SOURCE_DIR "/tests/data/export/" + file, [&](std::istream& script) {
        std::string trace;
        for (std::string line; std::getline(script, line) && line != "--- trace";)
            if (!line.empty() && line[0] != '#') trace += line + "\n  " + run(line) + "\n";
        return trace;
    });
}

}  // namespace

// The converter's command line output, assembled by ca65 and linked by ld65 where the ROM puts it,
// gives every byte from the data's start to the driver image; the verb's own conversion too.
TEST(Rom, DataBytesAreWhatCa65MakesOfTheConverterText) {
    ScratchDir w("rom-bytes");
    const std::string loop = savedScript(w, "looping-effect"), coin = savedScript(w, "coin"),
                      samples = savedScript(w, "two-notes-and-samples");
    using Names = std::vector<std::string>;  // songs, effects; then the banks the ROM takes
    const std::tuple<Names, Names, int> cases[] = {
        {{EXAMPLES + "demo.zcm", EXAMPLES + "example.zcm", samples}, {loop, coin}, 1},
        {{bigSampleDemo(w)}, {}, 2},
    };
    for (const auto& [songs, effects, banks] : cases) {
        std::vector<std::string> args = {"-s"};
        args.insert(args.end(), songs.begin(), songs.end());
        if (!effects.empty()) args.push_back("-e");
        args.insert(args.end(), effects.begin(), effects.end());
        args.insert(args.end(), {"-o", w.path("music.s")});
        ASSERT_EQ(runConverter(args).code, 0);
        const Rom rom = romFromConverterTexts(readConverterOutput(w.path("music.s"), songs, effects), true);
        const RomLayout& l = rom.layout;
        EXPECT_EQ(l.prgBanks, banks);
        EXPECT_EQ(l.dpcmStart % 64, 0u);
        EXPECT_GE(l.dpcmStart, 0xC000u);
        EXPECT_EQ(rom.file, exportRom(songs, effects).file);

        const OutputNames names(w.path("music.s"));
        std::vector<std::string> files = {"music.s"};
        for (const std::string& s : songs) files.push_back(names.songFileName(s));
        for (const std::string& e : effects) files.push_back(names.effectFileName(e));
        char cfg[256];
        std::snprintf(cfg, sizeof cfg,
                      "MEMORY { M: start = $%X, size = $%X, fill = yes; }\n"
                      "SEGMENTS { CODE: load = M, start = $%X; DPCM: load = M, start = $%X; }\n",
                      l.dataStart, l.imageStart - l.dataStart, l.dataStart, l.dpcmStart);
        ASSERT_TRUE(w.assembleAndLink(files, "music-dpcm.s", cfg));
        const std::string theirs = w.read("all.bin");
        ASSERT_EQ(theirs.size(), l.imageStart - l.dataStart);
        const std::string ours(rom.file.begin() + 16, rom.file.begin() + 16 + long(theirs.size()));
        EXPECT_TRUE(ours == theirs) << "the data bytes differ from ca65's";
    }
}

// A ROM of each example song on the 6502 core against the editor's render. Windows lose their
// clear pitch where the driver writes a pulse's period high byte, restarting its duty cycle (an
// arpeggio across one does so every frame); pitches differ in the frame a portamento leads by.
TEST(Rom, ExampleSongsSoundAsTheEditorPlaysThem) {
    const double seconds = 40.0;
    // The ROM's render, from the sample that the editor's render begins with.
    const auto romRender = [&](const Rom& rom, bool ntsc) {
        SongRig rig;  // for its APU
        ConsolePlayer console(rom.file, ConsoleFileKind::Nes, *rig.apu);
        EXPECT_EQ(console.ntsc(), ntsc);
        std::vector<int16_t> samples;
        while (samples.size() < size_t((seconds + 0.1) * LISTEN_RATE)) console.runFrame(&samples);
        // The shell enables the NMI after two vertical blanks: the driver's first update comes
        // three frames after the editor's, on NTSC half a frame more (the editor's frames are longer).
        const double delay = (ntsc ? 3.5 : 3.0) * console.frameCycles() / double(console.clockRate());
        return std::vector<double>(samples.begin() + std::lround(delay * LISTEN_RATE), samples.end());
    };
    std::vector<double> demo;
    ScratchDir w("rom-listen");
    // An NTSC console's frames are shorter than the editor's: the ROM keeps its tempo.
    for (const auto& [name, ntsc] : {std::pair{"demo", false}, {"example", false}, {"example", true}}) {
        const std::string what = name + std::string(ntsc ? " NTSC" : ""), path = w.path(what + ".zcm");
        SongRig rig;
        ASSERT_TRUE(rig.load(EXAMPLES + name + ".zcm"));
        rig.song->ntsc = ntsc;
        ASSERT_TRUE(saveSong(*rig.song, path));
        leaveOutWhatTheDataCannotCarry(*rig.song);
        const std::vector<int16_t> editor = renderSong(rig.play(), *rig.apu, LISTEN_RATE, seconds);
        const std::vector<double> cartridge = romRender(exportRom({path}, {}), ntsc);
        if (demo.empty()) demo = cartridge;
        const Heard h = compareHeard({editor.begin(), editor.end()}, cartridge, 0);
        std::printf("[ listen   ] %s: envelope correlation %.4f; %d clear windows, %d in the ROM, %d alike\n",
                    what.c_str(), h.envelopeCorrelation, h.clear, h.bothClear, h.agreed);
        EXPECT_GE(h.envelopeCorrelation, 0.95) << what;
        EXPECT_GE(h.clear, 100) << what;
        EXPECT_GE(h.bothClear, h.clear * 4 / 5) << what;
        EXPECT_GE(h.agreed, h.bothClear * 9 / 10) << what;
    }
    // Moved down to $8000, the demo plays the same but for the cycles its data reads take more or
    // less across pages (which the noise's random sequence does not forgive: loudness is compared).
    const std::vector<double> moved = romRender(exportRom({bigSampleDemo(w)}, {}), false);
    EXPECT_GT(correlation(rmsEnvelope(moved, LISTEN_RATE / 20), rmsEnvelope(demo, LISTEN_RATE / 20)), 0.995);
}

// What cannot be built ends with an error that says why, naming the inputs as given: the verb's
// arguments, files that do not load, too many samples for the converter, too much data for NROM,
// and converter text the built-in assembler does not take (the runs and their whole errors kept in
// tests/data/export/rom-cli.txt and rom-texts.txt). A ROM written before stays as it was.
TEST(Rom, WhatCannotBeBuiltFailsClearly) {
    ScratchDir w("rom-errors");
    std::ofstream(w.path("old.nes")) << "an earlier ROM";
    bigSampleDemo(w, 16384);
    std::filesystem::create_directories(w.path("other"));
    std::filesystem::copy_file(EXAMPLES + "demo.zcm", w.path("other/demo.zcm"));
    const std::string root = w.dir.string(), cli = BF_BINARY_DIR "/cli/bleepforge-cli ";
    expectKeptLines("rom-cli.txt", [&](const std::string& line) {
        const std::string args = replaceAll(replaceAll(line, "$W", root), "$E/", EXAMPLES);
        const int status = std::system((cli + args + " 2>" + w.path("err")).c_str());
        const std::string err = replaceAll(replaceAll(w.read("err"), root, "$W"), EXAMPLES, "$E/");
        return "exit " + std::to_string(WEXITSTATUS(status)) + "; err " + replaceAll(err, "\n", "\\n");
    });
    EXPECT_EQ(w.read("old.nes"), "an earlier ROM");
    // The driver numbers songs and effects in one byte, two to an entry.
    const std::vector<std::string> one = {EXAMPLES + "demo.zcm"}, many(129, one[0]);
    EXPECT_EQ(errorOf([&] { exportRom({}, one); }), "a ROM needs at least one song");
    EXPECT_EQ(errorOf([&] { exportRom(many, {}); }), "129 songs given; a ROM holds at most 128");
    EXPECT_EQ(errorOf([&] { exportRom(one, many); }), "129 sound effects given; a ROM holds at most 128");

    // Converter text: a good base changed as each line of tests/data/export/rom-texts.txt says.
    ConverterTexts good;
    good.label = "music";
    good.main = "music:\n  .word BLEEP_L0, BLEEP_L1\nBLEEP_L0:\n  .word song\nBLEEP_L1:\n";
    good.songs = {"song: .byte 0\n"};
    expectKeptLines("rom-texts.txt", [&](const std::string& line) {
        const size_t space = line.find(' '), times = line.find(" times ");
        const int count = times == std::string::npos ? 1 : std::stoi(line.substr(space + 1));
        std::string text;
        for (int i = 0; i < count; ++i)
            text += line.substr(times == std::string::npos ? space + 1 : times + 7) + "\n";
        ConverterTexts t = good;
        if (line.starts_with("main"))
            t.main = text;
        else
            (line.starts_with("dpcm") ? t.dpcm : t.songs[0]) += text;
        const std::string error = errorOf([&] { romFromConverterTexts(t, false); });
        return error.empty() ? "built" : "error: " + error;
    });
    // The same text with operators the converter writes assembles, little-endian and in order.
    ConverterTexts t = good;
    t.songs[0] =
        "song: .BYTE <(song >> 6), >song, %101 * 2 | 1, ~0 & $FF, 7 - 2 - 1, 6 ^ 3, -(-3), +2, 9 / 2\n"
        " .word song - 1 + 2\n";
    const Rom rom = romFromConverterTexts(t, false);
    const size_t at = 16 + 6;  // after the entry tables' three words
    const uint32_t song = rom.layout.dataStart + 6;
    EXPECT_EQ(std::vector<uint8_t>(rom.file.begin() + long(at), rom.file.begin() + long(at) + 11),
              (std::vector<uint8_t>{uint8_t(song >> 6), uint8_t(song >> 8), 11, 255, 4, 5, 3, 2, 4,
                                    uint8_t(song + 1), uint8_t((song + 1) >> 8)}));
}

// The buttons, with the controller port read from RAM at $0400 instead (the core has no
// controller; every read then gives the same bit, as if all buttons were held): Start wins over
// the others, a held button counts once, and the song after the last is the first.
TEST(Rom, StartPlaysTheNextSongOncePerPress) {
    ScratchDir w("rom-buttons");
    Rom rom = exportRom({savedScript(w, "coin"), savedScript(w, "zap")}, {savedScript(w, "effect")});
    const uint8_t port[] = {0xAD, 0x16, 0x40};  // lda $4016
    const auto at = std::search(rom.file.begin() + 16 + long(rom.layout.imageStart - rom.layout.dataStart),
                                rom.file.end(), port, port + 3);
    ASSERT_NE(at, rom.file.end());
    at[1] = 0x00, at[2] = 0x04;
    SongRig rig;  // for its APU
    ConsolePlayer console(rom.file, ConsoleFileKind::Nes, *rig.apu);
    std::vector<int> songs;
    for (int frame = 0; frame < 12; ++frame) {
        console.cpu().poke(0x0400, {uint8_t(frame == 3 || frame == 4 || frame == 8)});
        console.runFrame(nullptr);
        songs.push_back(console.cpu().read(0x02));
    }
    EXPECT_EQ(songs, (std::vector<int>{0, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0}));
}

// Song data as assembler text: names and labels, and captured songs written out (shared tables,
// patterns, the DPCM layout and the data the driver cannot hold) as scripts with kept traces in
// tests/data/converter/song-data.

#include <gtest/gtest.h>

#include "TestData.h"
#include "export/AsmNames.h"
#include "export/AsmSongData.h"
#include "tests/TraceScripts.h"

namespace {

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
            CommandList stretch;
            for (std::string command; in >> command;) {
                stretch.push_back({std::stoi(command, nullptr, 16), {}});
                const size_t open = command.find('(');
                if (open != std::string::npos)
                    stretch.back().args.push_back(std::stoi(command.substr(open + 1)));
            }
            songs.back().channels[size_t(std::stoi(op))].push_back(stretch);
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
            out += line + "\n";
            try {
                LabelTable labels;
                const SongDataText data = writeSongData(labels, lowByte, songs, OutputNames(output));
                if (op == "try") {
                    out += "written\n";
                    continue;
                }
                out += "; main\n" + data.mainText;
                for (const auto& file : data.files) out += "; file " + file.name + "\n" + file.text;
            } catch (const std::runtime_error& e) {
                out += std::string("error: ") + e.what() + "\n";
            }
        } else {
            songScriptLine(*instruments.back(), line, "converter/song-data");
        }
    }
    return out;
}

KEPT_TRACE_SUITE(SongDataScript, std::filesystem::path(BF_SOURCE_DIR "/tests/data/converter/song-data"),
                 runSongData);

}  // namespace

TEST(AsmNames, PathHelpersOutputNamesAndLabels) {
    EXPECT_EQ(directoryOf("a/b\\c.zcm") + "|" + fileNameOf("a/b\\c.zcm") + "|" + fileNameOf("c"),
              "a/b|c.zcm|c");
    EXPECT_EQ(extensionOf("x.tar.asm", "s") + extensionOf(".hidden", "s") + extensionOf("dir.v2/music", "s"),
              "asmss");
    EXPECT_EQ(replaceExtension(".zcm", "s") + "|" + replaceExtension("d.x/song", "asm"),
              ".zcm.s|d.x/song.asm");
    EXPECT_EQ(entryKey("music", "dir/my-song\xc3\xa9.zcm"), "music_my_song__");
    EXPECT_EQ(entryKey("m", "a-b.zcm"), entryKey("m", "a_b.zcm"));  // one label for both

    const OutputNames bare("music");
    EXPECT_EQ(bare.songFileName("songs/title.zcm") + "|" + bare.dpcmFileName(), "music-title.s|music-dpcm.s");
    const OutputNames nested("out\\sub/snd-data.asm");
    EXPECT_EQ(nested.base, "snd_data");
    EXPECT_EQ(nested.effectFileName("fx/jump.zcm"), "out\\sub/snd-data-jump.asm");

    LabelTable labels;
    EXPECT_EQ(labels.labelFor("x") + labels.labelFor("y") + labels.labelFor("x"), "BLEEP_L0BLEEP_L1BLEEP_L0");
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "export/FamiTone.h"
#include "export/FamiToneCheck.h"
#include "song/SongFile.h"
#include "tests/app/Golden.h"
#include "tests/converter/TestData.h"
#include "tests/song/FileBytes.h"

namespace {

// A reader of FamiTone text written to the converter's grammar, as an independent client: a fault
// of form ends the read with `error` set (as the converter stops), while cells and sequences
// outside the converter's limits are collected in `refusals`, so that each can be compared.
using Place = std::tuple<FamiToneProblem, int, int, int, int>;  // problem, order, row, channel, slot

struct FamiToneRead {
    std::string error;  // empty when the text parsed
    std::map<std::string, int> module;
    std::vector<std::vector<int>> dmc;  // SamplesAssigned, SamplesPitch, SamplesLoop
    std::map<int, std::vector<unsigned char>> samples;
    std::vector<Place> refusals;  // the slot is the text number of the instrument or sequence line
};

FamiToneRead readFamiTone(const std::string& text) {
    using std::regex, std::regex_match, std::smatch, std::string;
    using P = FamiToneProblem;
    FamiToneRead out;
    std::vector<string> lines;
    std::istringstream in(text);
    for (string line; std::getline(in, line);) lines.push_back(line);
    size_t at = 0;
    int instruments = 0, frames = 0;
    const auto fail = [&](const string& w) { out.error += out.error.empty() ? "Parsing error: " + w : ""; };
    const auto refuse = [&](P p, int frame, int row, int channel, int instrument = -1) {
        out.refusals.emplace_back(p, frame, row, channel, instrument);
    };
    // key=value lines up to the empty line; a key twice or a line without one is a fault.
    const auto keys = [&] {
        std::map<string, string> k;
        smatch m;
        for (; at < lines.size() && !lines[at].empty(); ++at)
            if (!regex_match(lines[at], m, regex("([^=]+)=(.*)")) || !k.emplace(m[1], m[2]).second)
                fail("key line '" + lines[at] + "'");
        return k;
    };
    const regex number("-?[0-9]+"),
        cellForm("(\\.\\.\\.|---|([A-G][-#])([0-9]+)) (\\.\\.|[0-9a-f]{2}) \\. (\\.\\.\\.|[0-9A-F]{3})");
    const auto integer = [&](const string& s, int& v) {
        return regex_match(s, number) && (v = std::stoi(s), true);
    };
    while (out.error.empty() && at < lines.size()) {
        smatch m;
        const string heading = lines[at++];
        int n = 0;
        if (!regex_match(heading, m, regex("\\[([A-Za-z]+?)(-?[0-9]*)\\]")))
            return fail("section expected, got '" + heading + "'"), out;
        const string name = m[1], tail = m[2];
        const bool numbered = integer(tail, n) && n >= 0;
        if (name == "Module" && tail.empty()) {
            auto k = keys();
            for (const char* key : {"Speed", "FramesCount", "PatternLength", "InstrumentsCount",
                                    "SamplesCount", "SequencesVolumeCount", "SequencesArpeggioCount",
                                    "SequencesPitchCount", "SequencesHiPitchCount", "SequencesDutyCount"})
                if (!integer(k[key], out.module[key])) fail(string("No ") + key + " found");
            if (out.module["PatternLength"] != 64) fail("pattern length");
            if (out.module["InstrumentsCount"] > 64) refuse(P::TooManyInstruments, -1, -1, -1, 64);
        } else if (name == "Instrument" && numbered) {
            if (n != instruments++) fail("instruments out of order");
            auto k = keys();
            for (const char* key : {"SequenceVolume", "SequenceArpeggio", "SequencePitch", "SequenceDuty"})
                if (k[key] != std::to_string(n)) fail("instrument sequence");
        } else if (regex_match(name, m, regex("Sequences(Volume|Arpeggio|Pitch|Duty)")) && tail.empty()) {
            const string prefix = "Sequence" + string(m[1]);
            const auto k = keys();
            for (auto& [key, value] : k) {
                smatch v;
                if (!regex_match(key, v, regex(prefix + "([0-9]+)")) ||
                    !regex_match(value, regex("(\\|?-?[0-9]+(,\\|?-?[0-9]+)*)?")) ||
                    std::count(value.begin(), value.end(), '|') > 1)
                    fail("sequence " + key + "=" + value);
                std::istringstream items(value);
                for (string item; out.error.empty() && std::getline(items, item, ',');)
                    if (const int x = std::stoi(item.substr(item[0] == '|')); x < -64 || x > 63) {
                        refuse(P::SequenceRange, -1, -1, -1, std::stoi(v[1]));
                        break;
                    }
            }
            if (int(k.size()) != instruments) fail("sequence count");
        } else if (name == "Frame" && numbered) {
            if (n != frames++) return fail("frames out of order"), out;
            for (int row = 0; row < 64; ++row) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02x", row);
                std::vector<string> cells;
                std::istringstream line(at < lines.size() ? lines[at++] : "");
                for (string c; std::getline(line, c, '|');) cells.push_back(c);
                if (cells.size() != 6 || cells[0] != hex) return fail("row " + std::to_string(row)), out;
                for (int ch = 0; ch < 5; ++ch) {
                    smatch c;
                    if (!regex_match(cells[size_t(ch) + 1], c, cellForm))
                        return fail("cell '" + cells[size_t(ch) + 1] + "'"), out;
                    if (c[4] != ".." && std::stoi(c[4], nullptr, 16) > 63)
                        refuse(P::InstrumentRange, n, row, ch);
                    if (c[2].matched) {
                        static const string names = "C-C#D-D#E-F-F#G-G#A-A#B-";
                        const size_t name2 = names.find(c[2]);
                        if (name2 % 2) return fail("note '" + string(c[1]) + "'"), out;
                        const int note = int(name2 / 2) + 12 * std::stoi(c[3]) + 1;  // 1 = C-0
                        if (ch == 4 ? note < 37 || note > 48 : note < 13 || note > 75)
                            refuse(ch == 4 ? P::SampleNoteRange : P::NoteRange, n, row, ch);
                    }
                    if (c[5] != "...") {
                        const int effect = std::stoi(c[5].str(), nullptr, 16), command = effect >> 8;
                        if (command == 0xB && (effect & 0xFF) > n) refuse(P::ForwardJump, n, row, ch);
                        if (command != 0xB && command != 0xD && command != 0xF) refuse(P::Effect, n, row, ch);
                    }
                }
            }
        } else if (name == "DMC" && tail == "0") {
            auto k = keys();
            for (const char* key : {"SamplesAssigned", "SamplesPitch", "SamplesLoop"}) {
                std::vector<int>& entries = out.dmc.emplace_back();
                std::istringstream items(k[key]);
                for (string item; std::getline(items, item, ',');)
                    if (integer(item, n)) entries.push_back(n);
                if (entries.size() != 96) fail(string("No ") + key + " found");
            }
        } else if (name == "Sample" && numbered) {
            auto k = keys();
            const string& data = k["SampleData"];
            int size = 0;
            if (!k.count("SampleName") || !integer(k["SampleSize"], size) ||
                !regex_match(data, regex("\\$([0-9a-f]{2})+")) || data.size() != 1 + 2 * size_t(size))
                fail("sample " + std::to_string(n));
            for (size_t i = 1; out.error.empty() && i + 1 < data.size(); i += 2)
                out.samples[n].push_back((unsigned char)std::stoi(data.substr(i, 2), nullptr, 16));
        } else {
            fail("unknown section " + heading);
        }
        if (out.error.empty() && (at >= lines.size() || !lines[at++].empty()))
            fail(heading + " is not closed by an empty line");
    }
    // Counts agree with what was read, and every assigned sample has its section.
    if (out.module.empty() || out.dmc.size() != 3) fail("missing section");
    if (out.module["FramesCount"] != frames || out.module["InstrumentsCount"] != instruments) fail("counts");
    for (int entry : out.error.empty() ? out.dmc[0] : std::vector<int>{})
        if (entry != 0 && !out.samples.count(entry)) fail("No SampleData found");
    return out;
}

// The reader over the song's exported text: it parses, and refuses exactly what the check reports
// as refused (all but its warnings), each cell of a pattern at its first order.
FamiToneRead expectReaderAgrees(const Song& song) {
    using P = FamiToneProblem;
    const FamiToneRead read = readFamiTone(exportFamiTone(song));
    EXPECT_EQ(read.error, "");
    std::multiset<Place> refused, reported;
    std::set<std::tuple<int, int, int, FamiToneProblem>> seen;
    for (const auto& [problem, frame, row, channel, instrument] : read.refusals)
        if (frame < 0)
            refused.insert({problem, -1, -1, -1, instrument + 1});
        else if (seen.insert({song.orders.entries[frame], row, channel, problem}).second)
            refused.insert({problem, frame, row, channel, 0});
    for (const FamiToneFinding& f : checkFamiTone(song))
        if (f.problem != P::SampleNote && f.problem != P::NoiseNoteOff && f.problem != P::AbsoluteNote &&
            f.problem != P::NotASample && f.problem != P::TableFull)
            reported.insert({f.problem, f.order, f.row, f.channel, f.isCell() ? 0 : f.instrument});
    EXPECT_EQ(refused, reported);
    return read;
}

}  // namespace

// Cells as "note instrument byte2 byte3" in hexadecimal bytes (byte 3's high nibble is no effect),
// and scripts in tests/data/export, each with its exported text beside it. With no instruments:
// empty sequence sections, an empty DMC table and no [Sample] section.
TEST(FamiTone, CellsAndScriptedSongsExportExactly) {
    expectTable("export/cell_text", [](const std::string& c) {
        unsigned v[4] = {};
        std::sscanf(c.c_str(), "%x %x %x %x", &v[0], &v[1], &v[2], &v[3]);
        return famiToneCellText(PatternCell{uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), uint8_t(v[3])});
    });
    expectTestData("export/no-instruments.txt", exportFamiTone(*std::make_unique<Song>()));
    for (const std::string name : {"sequences", "dpcm-table", "whole-file"})
        expectTestData("export/" + name + ".txt", exportFamiTone(*songScript("export/" + name)));
}

// The CLI writes exactly the library's text, replaces an older longer file whole, reports what
// will not play, and fails on a bad song or destination (the atomic writer is tested with the saver).
TEST(FamiToneCli, ExportsASavedSongAndFailsOnBadInput) {
    const std::filesystem::path dir = scratch();
    const auto song = songScript("export/famitone-cli");
    ASSERT_TRUE(saveSong(*song, (dir / "in.zcm").string()));
    std::ofstream(dir / "out.txt") << std::string(20000, 'x');
    std::ofstream(dir / "junk.zcm") << "not a song";
    const auto run = [&](const std::string& in, const std::string& out, const std::string& option = "") {
        return runTool("famitone " + option + "'" + (dir / in).string() + "' '" + (dir / out).string() + "'");
    };
    ToolRun r = run("in.zcm", "out.txt", "--strict ");
    EXPECT_EQ(std::tie(r.status, r.err), std::make_tuple(0, ""));
    EXPECT_EQ(readFile(dir / "out.txt"), exportFamiTone(*song));
    // What the library will not play is reported; the file is written all the same, and only
    // --strict turns the report into a failure.
    song->patterns[0].at(CH_PULSE2, 0x1F).setEffect(0x4, 0xA3);
    ASSERT_TRUE(saveSong(*song, (dir / "vibrato.zcm").string()));
    for (const bool strict : {false, true}) {
        std::filesystem::remove(dir / "vibrato.txt");
        r = run("vibrato.zcm", "vibrato.txt", strict ? "--strict " : "");
        EXPECT_EQ(r.status != 0, strict);
        EXPECT_EQ(r.err, "order 00 row 1F Pulse 2: effect 4 (vibrato) is not played\n" +
                             std::string(strict ? "Error: " : "") + "1 cell will not play as written\n");
        EXPECT_EQ(readFile(dir / "vibrato.txt"), exportFamiTone(*song));
    }

    EXPECT_NE(run("junk.zcm", "junk.txt").status, 0);
    EXPECT_NE(run("in.zcm", "no/out.txt").status, 0);
}

// The FamiTone check against a reader of our own written to the converter's grammar: for a song
// that hits every check once, one within every limit and the example songs, what the reader
// refuses in the exported text is exactly what the check reports as refused.
TEST(FamiToneCheck, ReportsEachProblemOnceAsTheReaderRefusesIt) {
    const auto song = songScript("export/famitone-problems");
    const auto findings = checkFamiTone(*song);
    std::string texts;
    for (const auto& f : findings) texts += f.text() + "\n";
    expectTestData("export/famitone-problems.txt", texts + famiToneSummary(findings) + "\n");
    EXPECT_EQ(famiToneCellCount(findings), 14);
    expectReaderAgrees(*song);

    const auto clean = songScript("export/famitone-clean");
    const uint8_t bytes[] = {0x00, 0x5A, 0xFF};
    clean->instruments[2].dpcm.assign(bytes, 3, true);
    EXPECT_TRUE(checkFamiTone(*clean).empty());
    const FamiToneRead read = expectReaderAgrees(*clean);
    EXPECT_EQ(read.samples.at(1), std::vector<unsigned char>(bytes, bytes + 3));
    EXPECT_EQ(std::vector<int>({read.dmc.at(0).at(36), read.dmc.at(1).at(36), read.dmc.at(2).at(36)}),
              std::vector<int>({1, 15, 1}));

    for (const char* name : {"demo.zcm", "example.zcm"}) {
        SCOPED_TRACE(name);
        auto example = std::make_unique<Song>();
        SongLoadHooks hooks;
        ASSERT_TRUE(loadSongFile(*example, std::string(BF_SOURCE_DIR "/examples/") + name, hooks));
        expectReaderAgrees(*example);
    }
}

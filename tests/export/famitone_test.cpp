#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
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
    int frames = 0;
    std::vector<std::vector<int>> dmc;  // SamplesAssigned, SamplesPitch, SamplesLoop
    std::map<int, std::vector<unsigned char>> samples;
    std::vector<Place> refusals;  // the slot is the text number of the instrument or sequence line
};

FamiToneRead readFamiTone(const std::string& text) {
    using std::regex, std::regex_match, std::smatch, std::string;
    FamiToneRead out;
    std::vector<string> lines;
    std::istringstream in(text);
    for (string line; std::getline(in, line);) lines.push_back(line);
    size_t at = 0;
    int instruments = 0;
    const auto fail = [&](const string& what) {
        if (out.error.empty()) out.error = "Parsing error: " + what;
    };
    const auto refuse = [&](FamiToneProblem p, int frame, int row, int channel, int instrument = -1) {
        out.refusals.push_back({p, frame, row, channel, instrument});
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
            if (out.module["InstrumentsCount"] > 64)
                refuse(FamiToneProblem::TooManyInstruments, -1, -1, -1, 64);
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
                        refuse(FamiToneProblem::SequenceRange, -1, -1, -1, std::stoi(v[1]));
                        break;
                    }
            }
            if (int(k.size()) != instruments) fail("sequence count");
        } else if (name == "Frame" && numbered) {
            if (n != out.frames++) return fail("frames out of order"), out;
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
                        refuse(FamiToneProblem::InstrumentRange, n, row, ch);
                    if (c[2].matched) {
                        static const string names = "C-C#D-D#E-F-F#G-G#A-A#B-";
                        const size_t name2 = names.find(c[2]);
                        if (name2 % 2) return fail("note '" + string(c[1]) + "'"), out;
                        const int note = int(name2 / 2) + 12 * std::stoi(c[3]) + 1;  // 1 = C-0
                        if (ch == 4 ? note < 37 || note > 48 : note < 13 || note > 75)
                            refuse(ch == 4 ? FamiToneProblem::SampleNoteRange : FamiToneProblem::NoteRange, n,
                                   row, ch);
                    }
                    if (c[5] != "...") {
                        const int command = std::stoi(string(c[5]).substr(0, 1), nullptr, 16);
                        if (command == 0xB && std::stoi(string(c[5]).substr(1), nullptr, 16) > n)
                            refuse(FamiToneProblem::ForwardJump, n, row, ch);
                        if (command != 0xB && command != 0xD && command != 0xF)
                            refuse(FamiToneProblem::Effect, n, row, ch);
                    }
                }
            }
        } else if (name == "DMC" && tail == "0") {
            auto k = keys();
            for (const char* key : {"SamplesAssigned", "SamplesPitch", "SamplesLoop"}) {
                std::vector<int> entries;
                std::istringstream items(k[key]);
                for (string item; std::getline(items, item, ',');)
                    if (integer(item, n)) entries.push_back(n);
                if (entries.size() != 96) fail(string("No ") + key + " found");
                out.dmc.push_back(entries);
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
    if (out.error.empty() && (out.module.empty() || out.dmc.size() != 3)) fail("missing section");
    if (out.error.empty() &&
        (out.module["FramesCount"] != out.frames || out.module["InstrumentsCount"] != instruments))
        fail("counts");
    for (int entry : out.error.empty() ? out.dmc[0] : std::vector<int>{})
        if (entry != 0 && !out.samples.count(entry)) fail("No SampleData found");
    return out;
}

// What the reader refuses in the exported text, each cell of a pattern at its first order.
std::multiset<Place> readerRefusals(const Song& song, const FamiToneRead& read) {
    std::multiset<Place> out;
    std::set<std::tuple<int, int, int, FamiToneProblem>> seen;
    for (const auto& [problem, frame, row, channel, instrument] : read.refusals) {
        if (frame < 0) {
            out.insert({problem, -1, -1, -1, instrument + 1});
        } else if (seen.insert({song.orders.entries[frame], row, channel, problem}).second) {
            out.insert({problem, frame, row, channel, 0});
        }
    }
    return out;
}

// What the check reports as refused: all but its warnings.
std::multiset<Place> checkRefusals(const std::vector<FamiToneFinding>& findings) {
    using P = FamiToneProblem;
    std::multiset<Place> out;
    for (const FamiToneFinding& f : findings)
        if (f.problem != P::SampleNote && f.problem != P::NoiseNoteOff && f.problem != P::AbsoluteNote &&
            f.problem != P::NotASample && f.problem != P::TableFull)
            out.insert({f.problem, f.order, f.row, f.channel, f.isCell() ? 0 : f.instrument});
    return out;
}

}  // namespace

// Cells as "note instrument byte2 byte3" in hexadecimal bytes; byte 3's high nibble is no effect.
TEST(FamiTone, CellText) {
    expectTable("export/cell_text", [](const std::string& c) {
        unsigned v[4] = {};
        std::sscanf(c.c_str(), "%x %x %x %x", &v[0], &v[1], &v[2], &v[3]);
        return famiToneCellText(PatternCell{uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), uint8_t(v[3])});
    });
}

// Scripts in tests/data/export, each with its exported text beside it. With no instruments: empty
// sequence sections, an empty DMC table and no [Sample] section.
TEST(FamiTone, ScriptedSongsExportExactly) {
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
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(slurp(dir / "out.txt"), exportFamiTone(*song));
    EXPECT_EQ(r.err, "");
    // What the library will not play is reported; the file is written all the same, and only
    // --strict turns the report into a failure.
    song->patterns[0].at(CH_PULSE2, 0x1F).setEffect(0x4, 0xA3);
    ASSERT_TRUE(saveSong(*song, (dir / "vibrato.zcm").string()));
    const std::string report = "order 00 row 1F Pulse 2: effect 4 (vibrato) is not played\n";
    r = run("vibrato.zcm", "vibrato.txt");
    EXPECT_EQ(std::tie(r.status, r.err), std::make_tuple(0, report + "1 cell will not play as written\n"));
    EXPECT_EQ(slurp(dir / "vibrato.txt"), exportFamiTone(*song));
    std::filesystem::remove(dir / "vibrato.txt");
    r = run("vibrato.zcm", "vibrato.txt", "--strict ");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err, report + "Error: 1 cell will not play as written\n");
    EXPECT_EQ(slurp(dir / "vibrato.txt"), exportFamiTone(*song));

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
    const FamiToneRead read = readFamiTone(exportFamiTone(*song));
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(readerRefusals(*song, read), checkRefusals(findings));

    const auto clean = songScript("export/famitone-clean");
    const uint8_t bytes[] = {0x00, 0x5A, 0xFF};
    clean->instruments[2].dpcm.assign(bytes, 3, true);
    EXPECT_TRUE(checkFamiTone(*clean).empty());
    const FamiToneRead cleanRead = readFamiTone(exportFamiTone(*clean));
    ASSERT_EQ(cleanRead.error, "");
    EXPECT_TRUE(cleanRead.refusals.empty());
    EXPECT_EQ(cleanRead.samples.at(1), std::vector<unsigned char>(bytes, bytes + 3));
    EXPECT_EQ(std::vector<int>({cleanRead.dmc[0][36], cleanRead.dmc[1][36], cleanRead.dmc[2][36]}),
              std::vector<int>({1, 15, 1}));

    for (const char* name : {"demo.zcm", "example.zcm"}) {
        auto example = std::make_unique<Song>();
        SongLoadHooks hooks;
        ASSERT_TRUE(loadSongFile(*example, std::string(BF_SOURCE_DIR "/examples/") + name, hooks)) << name;
        const FamiToneRead exampleRead = readFamiTone(exportFamiTone(*example));
        ASSERT_EQ(exampleRead.error, "") << name;
        EXPECT_EQ(readerRefusals(*example, exampleRead), checkRefusals(checkFamiTone(*example))) << name;
    }
}

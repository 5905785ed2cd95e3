#pragma once
// A reader of FamiTone text written to the converter's grammar, as the tests' independent client:
// sections in brackets, "key=value" lines, every section closed by an empty line, sample bytes as
// one "$"-prefixed hexadecimal number. It parses the whole text; a fault of form ends the read
// with `error` set (as the converter stops), while cells and sequences outside the converter's
// limits are collected in `refusals` so that every one of them can be compared.

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "export/FamiToneCheck.h"

struct FamiToneRefusal {
    FamiToneProblem problem;
    int frame = -1, row = -1, channel = -1;
    int instrument = -1;  // text number of the instrument or sequence line
};

struct FamiToneRead {
    std::string error;  // empty when the text parsed
    std::map<std::string, int> module;
    int frames = 0;
    std::vector<std::vector<int>> dmc;  // SamplesAssigned, SamplesPitch, SamplesLoop
    std::map<int, std::vector<unsigned char>> samples;
    std::vector<FamiToneRefusal> refusals;
};

inline FamiToneRead readFamiTone(const std::string& text) {
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
    const regex number("-?[0-9]+"), cellForm("(\\.\\.\\.|---|([A-G][-#])([0-9]+)) (\\.\\.|[0-9a-f]{2}) \\. (\\.\\.\\.|[0-9A-F]{3})");
    const auto integer = [&](const string& s, int& v) { return regex_match(s, number) && (v = std::stoi(s), true); };
    while (out.error.empty() && at < lines.size()) {
        smatch m;
        const string heading = lines[at++];
        int n = 0;
        if (!regex_match(heading, m, regex("\\[([A-Za-z]+?)(-?[0-9]*)\\]"))) return fail("section expected, got '" + heading + "'"), out;
        const string name = m[1], tail = m[2];
        const bool numbered = integer(tail, n) && n >= 0;
        if (name == "Module" && tail.empty()) {
            auto k = keys();
            for (const char* key : {"Speed", "FramesCount", "PatternLength", "InstrumentsCount", "SamplesCount",
                                    "SequencesVolumeCount", "SequencesArpeggioCount", "SequencesPitchCount",
                                    "SequencesHiPitchCount", "SequencesDutyCount"})
                if (!integer(k[key], out.module[key])) fail(string("No ") + key + " found");
            if (out.module["PatternLength"] != 64) fail("pattern length");
            if (out.module["InstrumentsCount"] > 64) refuse(FamiToneProblem::TooManyInstruments, -1, -1, -1, 64);
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
                    !regex_match(value, regex("(\\|?-?[0-9]+(,\\|?-?[0-9]+)*)?")) || std::count(value.begin(), value.end(), '|') > 1)
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
                    if (!regex_match(cells[size_t(ch) + 1], c, cellForm)) return fail("cell '" + cells[size_t(ch) + 1] + "'"), out;
                    if (c[4] != ".." && std::stoi(c[4], nullptr, 16) > 63) refuse(FamiToneProblem::InstrumentRange, n, row, ch);
                    if (c[2].matched) {
                        static const string names = "C-C#D-D#E-F-F#G-G#A-A#B-";
                        const size_t name2 = names.find(c[2]);
                        if (name2 % 2) return fail("note '" + string(c[1]) + "'"), out;
                        const int note = int(name2 / 2) + 12 * std::stoi(c[3]) + 1;  // 1 = C-0
                        if (ch == 4 ? note < 37 || note > 48 : note < 13 || note > 75)
                            refuse(ch == 4 ? FamiToneProblem::SampleNoteRange : FamiToneProblem::NoteRange,
                                   n, row, ch);
                    }
                    if (c[5] != "...") {
                        const int command = std::stoi(string(c[5]).substr(0, 1), nullptr, 16);
                        if (command == 0xB && std::stoi(string(c[5]).substr(1), nullptr, 16) > n)
                            refuse(FamiToneProblem::ForwardJump, n, row, ch);
                        if (command != 0xB && command != 0xD && command != 0xF) refuse(FamiToneProblem::Effect, n, row, ch);
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
        if (out.error.empty() && (at >= lines.size() || !lines[at++].empty())) fail(heading + " is not closed by an empty line");
    }
    // Counts agree with what was read, and every assigned sample has its section.
    if (out.error.empty() && (out.module.empty() || out.dmc.size() != 3)) fail("missing section");
    if (out.error.empty() && (out.module["FramesCount"] != out.frames || out.module["InstrumentsCount"] != instruments))
        fail("counts");
    for (int entry : out.error.empty() ? out.dmc[0] : std::vector<int>{})
        if (entry != 0 && !out.samples.count(entry)) fail("No SampleData found");
    return out;
}

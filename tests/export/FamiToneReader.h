#pragma once
// A reader of FamiTone text written to the converter's grammar, as the tests' independent client:
// sections in brackets, "key=value" lines, every section closed by an empty line, sample bytes as
// one "$"-prefixed hexadecimal number. It parses the whole text; a fault of form ends the read
// with `error` set (as the converter stops), while cells and sequences outside the converter's
// limits are collected in `refusals` so that every one of them can be compared.

#include <cctype>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "export/FamiToneCheck.h"

struct FamiToneRefusal {
    FamiToneProblem problem;
    int frame = -1, row = -1, channel = -1;
    int instrument = -1;  // text number of the instrument or sequence line
    bool operator<(const FamiToneRefusal& o) const {
        return std::tie(frame, row, channel, instrument, problem) <
               std::tie(o.frame, o.row, o.channel, o.instrument, o.problem);
    }
};

struct FamiToneRead {
    std::string error;  // empty when the text parsed
    std::map<std::string, int> module;
    int frames = 0;
    std::vector<std::vector<int>> dmc;  // SamplesAssigned, SamplesPitch, SamplesLoop
    std::map<int, std::vector<unsigned char>> samples;
    std::vector<FamiToneRefusal> refusals;
};

namespace famitone_reader {

inline bool toInt(const std::string& s, int& out) {
    if (s.empty()) return false;
    size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size()) return false;
    for (size_t j = i; j < s.size(); ++j)
        if (!std::isdigit(static_cast<unsigned char>(s[j]))) return false;
    out = std::stoi(s);
    return true;
}

inline int hexDigit(char c, bool upper) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!upper && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (upper && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "NN" as two hexadecimal digits of the given case, or -1.
inline int hex2(const std::string& s, size_t at, bool upper) {
    int hi = hexDigit(s[at], upper), lo = hexDigit(s[at + 1], upper);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

class Reader {
  public:
    explicit Reader(const std::string& text) {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) lines_.push_back(line);
    }

    FamiToneRead read() {
        while (out_.error.empty() && at_ < lines_.size()) {
            const std::string& heading = lines_[at_++];
            if (heading.size() < 3 || heading.front() != '[' || heading.back() != ']')
                return fail("Parsing error: section expected, got '" + heading + "'");
            section(heading.substr(1, heading.size() - 2));
            if (out_.error.empty() && (at_ >= lines_.size() || !lines_[at_++].empty()))
                fail("Parsing error: section [" + heading + "] is not closed by an empty line");
        }
        if (out_.error.empty()) finish();
        return out_;
    }

  private:
    FamiToneRead fail(const std::string& message) {
        if (out_.error.empty()) out_.error = message;
        return out_;
    }
    void refuse(FamiToneProblem p, int frame, int row, int channel, int instrument = -1) {
        out_.refusals.push_back({p, frame, row, channel, instrument});
    }

    // key=value lines up to the empty line.
    std::map<std::string, std::string> keys() {
        std::map<std::string, std::string> out;
        while (at_ < lines_.size() && !lines_[at_].empty()) {
            const std::string& line = lines_[at_++];
            size_t eq = line.find('=');
            if (eq == std::string::npos || eq == 0) {
                fail("Parsing error: key expected, got '" + line + "'");
                break;
            }
            if (!out.emplace(line.substr(0, eq), line.substr(eq + 1)).second)
                fail("Parsing error: key twice");
        }
        return out;
    }

    bool numberedSection(const std::string& name, const std::string& prefix, int& number) {
        return name.rfind(prefix, 0) == 0 && toInt(name.substr(prefix.size()), number) && number >= 0;
    }

    void section(const std::string& name) {
        int number = 0;
        if (name == "Module")
            moduleSection();
        else if (numberedSection(name, "Instrument", number))
            instrumentSection(number);
        else if (name.rfind("Sequences", 0) == 0)
            sequenceSection(name.substr(9));
        else if (numberedSection(name, "Frame", number))
            frameSection(number);
        else if (name == "DMC0")
            dmcSection();
        else if (numberedSection(name, "Sample", number))
            sampleSection(number);
        else
            fail("Parsing error: unknown section [" + name + "]");
    }

    void moduleSection() {
        static const char* const required[] = {"Speed",
                                               "FramesCount",
                                               "PatternLength",
                                               "InstrumentsCount",
                                               "SamplesCount",
                                               "SequencesVolumeCount",
                                               "SequencesArpeggioCount",
                                               "SequencesPitchCount",
                                               "SequencesHiPitchCount",
                                               "SequencesDutyCount"};
        auto k = keys();
        for (const std::string key : required) {
            int v = 0;
            if (!k.count(key) || !toInt(k[key], v)) {
                fail("Parsing error: No " + key + " found");
                return;
            }
            out_.module[key] = v;
        }
        if (out_.module["PatternLength"] != 64) fail("Parsing error: pattern length");
        if (out_.module["InstrumentsCount"] > 64) refuse(FamiToneProblem::TooManyInstruments, -1, -1, -1, 64);
    }

    void instrumentSection(int number) {
        if (number != instruments_++) fail("Parsing error: instruments out of order");
        auto k = keys();
        for (const char* key : {"SequenceVolume", "SequenceArpeggio", "SequencePitch", "SequenceDuty"}) {
            int v = 0;
            if (!k.count(key) || !toInt(k[key], v) || v != number) fail("Parsing error: instrument sequence");
        }
    }

    void sequenceSection(const std::string& kind) {
        static const std::map<std::string, std::string> lineKeys = {{"Volume", "SequenceVolume"},
                                                                    {"Arpeggio", "SequenceArpeggio"},
                                                                    {"Pitch", "SequencePitch"},
                                                                    {"Duty", "SequenceDuty"}};
        auto it = lineKeys.find(kind);
        if (it == lineKeys.end()) return (void)fail("Parsing error: unknown sequences " + kind);
        int count = 0;
        for (auto& [key, value] : keys()) {
            int number = 0;
            if (key.rfind(it->second, 0) != 0 || !toInt(key.substr(it->second.size()), number))
                return (void)fail("Parsing error: sequence key " + key);
            ++count;
            bool refused = false, looped = false;
            std::istringstream values(value);
            std::string item;
            while (!value.empty() && std::getline(values, item, ',')) {
                if (!item.empty() && item[0] == '|') {
                    if (looped) return (void)fail("Parsing error: two loops");
                    looped = true;
                    item.erase(0, 1);
                }
                int v = 0;
                if (!toInt(item, v)) return (void)fail("Parsing error: sequence value '" + item + "'");
                if ((v < -64 || v > 63) && !refused) {
                    refuse(FamiToneProblem::SequenceRange, -1, -1, -1, number);
                    refused = true;
                }
            }
        }
        if (count != instruments_) fail("Parsing error: sequence count");
    }

    void frameSection(int number) {
        if (number != out_.frames++) return (void)fail("Parsing error: frames out of order");
        for (int row = 0; row < 64; ++row) {
            if (at_ >= lines_.size()) return (void)fail("Parsing error: frame too short");
            std::istringstream line(lines_[at_++]);
            std::string field;
            std::getline(line, field, '|');
            if (field.size() != 2 || hex2(field, 0, false) != row)
                return (void)fail("Parsing error: row '" + field + "'");
            int ch = 0;
            for (; ch < 5 && std::getline(line, field, '|'); ++ch) cellText(field, number, row, ch);
            if (ch != 5 || std::getline(line, field)) return (void)fail("Parsing error: row of five cells");
        }
    }

    // "note instrument volume effect", separated by single spaces.
    void cellText(const std::string& c, int frame, int row, int ch) {
        std::istringstream in(c);
        std::string note, instrument, volume, effect, rest;
        if (!(in >> note >> instrument >> volume >> effect) || (in >> rest) || volume != "." ||
            instrument.size() != 2 || effect.size() != 3 || note.size() < 3)
            return (void)fail("Parsing error: cell '" + c + "'");
        if (instrument != "..") {
            int i = hex2(instrument, 0, false);
            if (i < 0) return (void)fail("Parsing error: instrument '" + instrument + "'");
            if (i > 63) refuse(FamiToneProblem::InstrumentRange, frame, row, ch);
        }
        if (note != "..." && note != "---") {
            static const std::string names = "C-C#D-D#E-F-F#G-G#A-A#B-";
            size_t name = names.find(note.substr(0, 2));
            int octave = 0;
            if (name == std::string::npos || name % 2 || !toInt(note.substr(2), octave) || octave < 0)
                return (void)fail("Parsing error: note '" + note + "'");
            const int n = int(name / 2) + 12 * octave + 1;  // 1 = C-0
            if (ch == 4 && (n < 37 || n > 48))
                refuse(FamiToneProblem::SampleNoteRange, frame, row, ch);
            else if (ch < 4 && (n < 13 || n > 75))
                refuse(FamiToneProblem::NoteRange, frame, row, ch);
        }
        if (effect != "...") {
            const int cmd = hexDigit(effect[0], true), param = hex2(effect, 1, true);
            if (cmd < 0 || param < 0) return (void)fail("Parsing error: effect '" + effect + "'");
            if (cmd == 0xB && param > frame) refuse(FamiToneProblem::ForwardJump, frame, row, ch);
            if (cmd != 0xB && cmd != 0xD && cmd != 0xF) refuse(FamiToneProblem::Effect, frame, row, ch);
        }
    }

    void dmcSection() {
        auto k = keys();
        for (const char* key : {"SamplesAssigned", "SamplesPitch", "SamplesLoop"}) {
            std::vector<int> entries;
            std::istringstream in(k[key]);
            std::string item;
            int v = 0;
            while (std::getline(in, item, ','))
                if (toInt(item, v)) entries.push_back(v);
            if (entries.size() != 96) return (void)fail(std::string("Parsing error: No ") + key + " found");
            out_.dmc.push_back(entries);
        }
    }

    void sampleSection(int number) {
        auto k = keys();
        int size = 0;
        if (!k.count("SampleName") || !toInt(k["SampleSize"], size))
            return (void)fail("Parsing error: sample");
        const std::string& data = k["SampleData"];
        if (data.empty() || data[0] != '$') return (void)fail("Parsing error: No SampleData found");
        if (data.size() != 1 + 2 * size_t(size)) return (void)fail("Parsing error: sample size");
        std::vector<unsigned char>& bytes = out_.samples[number];
        for (size_t i = 1; i < data.size(); i += 2) {
            int b = hex2(data, i, false);
            if (b < 0) return (void)fail("Parsing error: sample data");
            bytes.push_back(static_cast<unsigned char>(b));
        }
    }

    // Counts agree with what was read, and every assigned sample has its section.
    void finish() {
        if (out_.module.empty() || out_.dmc.size() != 3) return (void)fail("Parsing error: missing section");
        if (out_.module["FramesCount"] != out_.frames || out_.module["InstrumentsCount"] != instruments_)
            return (void)fail("Parsing error: counts");
        for (int entry : out_.dmc[0])
            if (entry != 0 && !out_.samples.count(entry))
                return (void)fail("Parsing error: No SampleData found");
    }

    std::vector<std::string> lines_;
    size_t at_ = 0;
    int instruments_ = 0;
    FamiToneRead out_;
};

}  // namespace famitone_reader

inline FamiToneRead readFamiTone(const std::string& text) { return famitone_reader::Reader(text).read(); }

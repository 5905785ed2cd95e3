#pragma once
// Test songs written as text in tests/data/<folder>/<name>.song, one statement a line:
//   include <name>                           another song's (of the same folder) statements first
//   orders <pattern>...
//   env <slot> volume|note|duty|finetune <loop point> <value>...
//   type <slot> <instrument type number>
//   name <slot> <text to the end of the line, "\n" for a line break>
//   dpcm|pcm <slot> <size> <loop 0|1> [<fill>]   a sample of bytes i * 37 + slot, or all <fill>
//   cell <pattern> P1|P2|TR|NO|DM <row>[-<last row>] <note>|off|- <instrument>|- <effect>|-
// where an effect is three hexadecimal digits, command then parameter ("130" slides up by $30).
// '#' starts a comment. Exact expected outputs sit beside them, compared by expectTestData.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "song/Song.h"
#include "tests/ExpectedText.h"

inline void loadSongScript(Song& s, const std::string& name);

// One statement of the script `name` ("<folder>/<song>"), which an include names its folder by.
inline void songScriptLine(Song& s, const std::string& line, const std::string& name) {
    const auto number = [](const std::string& t, int none) { return t == "-" ? none : std::stoi(t); };
    std::istringstream in(line.substr(0, line.find('#')));
    std::string op, a, b, c;
    in >> op;
    if (op == "include") {
        in >> a;
        loadSongScript(s, name.substr(0, name.rfind('/') + 1) + a);
    } else if (op == "orders") {
        s.orders.count = 0;
        for (int p; in >> p;) s.orders.entries[s.orders.count++] = p;
    } else if (op == "env") {
        static const std::vector<std::string> kinds = {"volume", "note", "duty", "finetune"};
        int slot = 0, loop = 0, i = 0;
        in >> slot >> a >> loop;
        const auto kind = std::find(kinds.begin(), kinds.end(), a) - kinds.begin();
        ASSERT_LT(kind, ENVELOPE_COUNT) << name << ": " << line;
        Envelope& e = s.instruments[slot].envelopes[kind];
        for (int v; in >> v;) e.values[i++] = v;
        e.values[i] = END_MARKER;
        e.loopPoint = loop;
    } else if (op == "name") {
        int slot = 0;
        in >> slot >> std::ws;
        std::getline(in, a);
        for (size_t at; (at = a.find("\\n")) != std::string::npos;) a.replace(at, 2, "\n");
        s.instrumentNames[slot] = a;
    } else if (op == "type") {
        int slot = 0, type = 0;
        in >> slot >> type;
        s.instruments[slot].type = InstrumentType(type);
    } else if (op == "dpcm" || op == "pcm") {
        int slot = 0, size = 0, loop = 0, fill = -1;
        in >> slot >> size >> loop >> fill;
        std::vector<uint8_t> bytes(static_cast<size_t>(size), static_cast<uint8_t>(fill));
        for (int i = 0; fill < 0 && i < size; ++i) bytes[size_t(i)] = uint8_t(i * 37 + slot);
        Instrument& instrument = s.instruments[slot];
        instrument.type = op == "pcm" ? INST_PCM : INST_DPCM;
        (op == "pcm" ? instrument.pcm : instrument.dpcm).assign(bytes.data(), uint32_t(size), loop != 0);
    } else if (op == "cell") {
        static const std::string channels = "P1P2TRNODM";
        std::string rows, fx;
        int pattern = 0;
        in >> pattern >> a >> rows >> b >> c >> fx;
        // Without a '-' the last row is the first (npos + 1 is 0).
        const int first = std::stoi(rows), last = std::stoi(rows.substr(rows.find('-') + 1));
        const int effect = fx == "-" ? -1 : std::stoi(fx, nullptr, 16);
        const size_t channel = channels.find(a);
        ASSERT_TRUE(channel % 2 == 0 && channel < channels.size() && pattern >= 0 && pattern < MAX_PATTERNS &&
                    first >= 0 && last < ROWS_PER_PATTERN)
            << name << ": " << line;
        for (int r = first; r <= last; ++r) {
            PatternCell& cell = s.patterns[pattern].at(int(channel / 2), r);
            cell.note = uint8_t(b == "off" ? NOTE_OFF : number(b, 0));
            cell.instrument = uint8_t(number(c, 0));
            if (effect >= 0) cell.setEffect(effect >> 8, effect & 0xFF);
        }
    } else {
        ASSERT_TRUE(op.empty()) << name << ": " << line;
    }
}

inline void loadSongScript(Song& s, const std::string& name) {
    std::ifstream file(BF_SOURCE_DIR "/tests/data/" + name + ".song");
    ASSERT_TRUE(file) << name;
    for (std::string line; std::getline(file, line);) songScriptLine(s, line, name);
}

// A new song holding the script `name`'s statements.
inline std::unique_ptr<Song> songScript(const std::string& name) {
    auto song = std::make_unique<Song>();
    loadSongScript(*song, name);
    return song;
}

// What the converter's data does not carry, left out of a song that the editor plays to compare
// with: the software voice of the DPCM channel (PCM samples, pulse and saw waves; the hardware
// samples stay) and echo (8xy).
inline void leaveOutWhatTheDataCannotCarry(Song& song) {
    for (Pattern& p : song.patterns)
        for (int c = 0; c < CHANNEL_COUNT; ++c)
            for (PatternCell& cell : p.cells[c]) {
                if (cell.effect() == 0x8) cell.setEffect(0, 0);
                const bool sample =
                    cell.instrument != 0 && song.instruments[cell.instrument].type == INST_DPCM;
                if (c == CH_DPCM && !sample && cell.note != NOTE_OFF) cell.note = cell.instrument = 0;
            }
}

#pragma once
// Exact outputs kept as files in tests/data/: traces of editing sessions, drawn frames, tables of
// cases and their answers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/RecordingCanvas.h"
#include "tests/ExpectedText.h"

// One line per drawing operation, in drawing order.
inline std::vector<std::string> drawnLines(const RecordingCanvas& c) {
    std::vector<std::string> out;
    for (const DrawOp& op : c.ops) {
        char head[96];
        std::snprintf(head, sizeof head, "%c %d,%d %dx%d %d,%d #%06X/%d t%u", "BTFLPE"[op.kind], op.x, op.y,
                      op.width, op.height, op.x2, op.y2, unsigned(op.colour), op.opacity,
                      unsigned(op.texture));
        out.push_back(head + (op.kind == DrawOp::Text ? " \"" + op.text + "\"" : std::string()));
    }
    return out;
}

// C escapes for bytes a table line cannot hold as they are: \n \r \t \\ and \xHH.
inline std::string escapeBytes(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        const size_t named = std::string_view("\n\r\t\\").find(char(c));
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += named != std::string_view::npos ? std::string{'\\', "nrt\\"[named]}
               : c < 0x20 || c >= 0x7F         ? std::string(hex)
                                               : std::string(1, char(c));
    }
    return out;
}
inline std::string unescapeBytes(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i] == '\\' && i + 1 < s.size() ? s[++i] : 0;
        const size_t named = std::string_view("nrt").find(c);
        if (!c)
            out += s[i];
        else if (c == 'x' && i + 2 < s.size())
            out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16)), i += 2;
        else
            out += named != std::string_view::npos ? "\n\r\t"[named] : c;
    }
    return out;
}

// Cases kept in tests/data/NAME.txt, one "INPUT<TAB>ANSWER" a line (escaped as above; lines
// starting with '#' are comments): every ANSWER must be what `answer` gives for its INPUT
// (tests/ExpectedText.h tells how to rewrite the file).
inline void expectTable(const std::string& name,
                        const std::function<std::string(const std::string&)>& answer) {
    std::ifstream in(BF_SOURCE_DIR "/tests/data/" + name + ".txt", std::ios::binary);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        const size_t tab = line.find('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos)
            out += line + "\n";
        else
            out += line.substr(0, tab + 1) + escapeBytes(answer(unescapeBytes(line.substr(0, tab)))) + "\n";
    }
    ASSERT_FALSE(out.empty()) << name;
    expectTestData(name + ".txt", out);
}

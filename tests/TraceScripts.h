#pragma once
// Scripts with kept traces: a file is a script, a line "--- trace", and the trace its run gave
// when it was last checked (BF_UPDATE_TEST_DATA=1 rewrites the traces, see tests/ExpectedText.h).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/ExpectedText.h"

// Names (without .txt) of the scripts in `dir`, sorted.
inline std::vector<std::string> traceScripts(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".txt") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs the script at `path` (the runner reads up to the "--- trace" line) and expects the kept
// trace, reporting the first line that differs.
inline void expectKeptTrace(const std::filesystem::path& path,
                            const std::function<std::string(std::istream&)>& run) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    const std::string all = text.str();
    const size_t mark = all.find("--- trace\n");
    ASSERT_NE(mark, std::string::npos) << path;
    std::istringstream script(all);
    const std::string got = run(script), want = all.substr(mark + 10);
    if (updatingTestData()) std::ofstream(path) << all.substr(0, mark + 10) << got;
    expectSameText(got, want, path.string());
}

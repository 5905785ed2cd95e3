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
#include <utility>
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
    const std::string all = readFile(path);
    const size_t mark = all.find("--- trace\n");
    ASSERT_NE(mark, std::string::npos) << path;
    std::istringstream script(all);
    const std::string got = run(script), want = all.substr(mark + 10);
    if (updatingTestData()) std::ofstream(path) << all.substr(0, mark + 10) << got;
    expectSameText(got, want, path.string());
}

// " name=value" for each watched value that differs from `last` (all of them when `last` is
// empty); `last` becomes `now`.
inline std::string changes(const std::vector<std::pair<std::string, int>>& now, std::vector<int>& last) {
    std::string out;
    for (size_t k = 0; k < now.size(); ++k)
        if (last.size() != now.size() || last[k] != now[k].second)
            out += " " + now[k].first + "=" + std::to_string(now[k].second);
    last.clear();
    for (const auto& watched : now) last.push_back(watched.second);
    return out;
}

// Suite.MatchesTheKeptTrace, one test per script in `dir`, each run by `run`.
#define KEPT_TRACE_SUITE(Suite, dir, run)                                                       \
    class Suite : public testing::TestWithParam<std::string> {};                                \
    TEST_P(Suite, MatchesTheKeptTrace) { expectKeptTrace((dir) / (GetParam() + ".txt"), run); } \
    INSTANTIATE_TEST_SUITE_P(Scripts, Suite, testing::ValuesIn(traceScripts(dir)),              \
                             [](const testing::TestParamInfo<std::string>& info) { return info.param; })

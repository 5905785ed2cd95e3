#pragma once
// Exact outputs kept as files under tests/data/. After a deliberate change of behaviour, run the
// tests with BF_UPDATE_TEST_DATA=1 to write what they now produce, and read the difference
// before committing it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline bool updatingTestData() { return std::getenv("BF_UPDATE_TEST_DATA") != nullptr; }

// Expects `got` to equal `want`, reporting the first line that differs rather than two texts.
inline void expectSameText(const std::string& got, const std::string& want, const std::string& where) {
    if (got == want) return;
    const auto lines = [](const std::string& t) {
        std::vector<std::string> v;
        std::istringstream in(t);
        for (std::string l; std::getline(in, l);) v.push_back(l);
        return v;
    };
    const auto a = lines(got), b = lines(want);
    size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
    ADD_FAILURE() << where << " line " << n + 1 << ": '" << (n < a.size() ? a[n] : "(end)") << "', expected '"
                  << (n < b.size() ? b[n] : "(end)") << "'";
}

// `text` equals tests/data/<file> (written there instead while updating).
inline void expectTestData(const std::string& file, const std::string& text) {
    const std::string path = BF_SOURCE_DIR "/tests/data/" + file;
    if (updatingTestData()) std::ofstream(path, std::ios::binary) << text;
    std::stringstream expected;
    expected << std::ifstream(path, std::ios::binary).rdbuf();
    expectSameText(text, expected.str(), file);
}

#pragma once
// Exact outputs kept as files under tests/data/. After a deliberate change of behaviour, run the
// tests with BF_UPDATE_TEST_DATA=1 to write what they now produce, and read the difference
// before committing it. Also the small helpers the outputs are made with: a file's bytes, a text
// with names replaced, the message a call throws.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

inline bool updatingTestData() { return std::getenv("BF_UPDATE_TEST_DATA") != nullptr; }

// The file's bytes ("" when it cannot be read).
inline std::string readFile(const std::filesystem::path& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// `text` with every `from` replaced by `to`.
inline std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// What `f` throws, "" when it returns.
inline std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

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
    expectSameText(text, readFile(path), file);
}

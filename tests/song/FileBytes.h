#pragma once
// Builds song and instrument files byte by byte for the file tests, and runs bleepforge-cli.

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "song/Song.h"
#include "tests/ExpectedText.h"

struct FileBytes {
    std::vector<uint8_t> bytes;

    FileBytes& u8(int v) { return bytes.push_back(uint8_t(v)), *this; }
    FileBytes& u16(uint32_t v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    FileBytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    FileBytes& text(const std::string& s) { return bytes.insert(bytes.end(), s.begin(), s.end()), *this; }
    FileBytes& raw(std::initializer_list<uint8_t> v) { return bytes.insert(bytes.end(), v), *this; }
    FileBytes& zeros(size_t n) { return bytes.insert(bytes.end(), n, 0), *this; }
    FileBytes& name(const std::string& s) { return u8(int(s.size())).text(s); }
    FileBytes& envelope(int loop, std::initializer_list<uint8_t> v) { return u8(loop).u8(v.size()).raw(v); }
    // Size, and for a non-empty sample the loop byte and the data.
    FileBytes& sample(const std::vector<uint8_t>& data, bool loop) {
        u32(uint32_t(data.size()));
        if (!data.empty()) u8(loop ? 1 : 0).bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    FileBytes& songHeader(int version, int instruments, int orders, int patterns) {
        return text("ZephyrcantorTune").u8(version).u8(instruments).u8(orders).u8(patterns);
    }
};

inline std::filesystem::path scratch() {
    auto dir = std::filesystem::path(testing::TempDir()) / ("songcli" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

struct ToolRun {
    int status = -1;
    std::string out, err;
    // Standard output and standard error together, as a user at a terminal sees them.
    std::string output() const { return out + err; }
};

inline ToolRun runTool(const std::string& args) {
    const std::filesystem::path dir = scratch();
    std::string cmd = std::string("'") + BF_BINARY_DIR + "/cli/bleepforge-cli' " + args + " >'" +
                      (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
    int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir / "out"), readFile(dir / "err")};
}

// Expects the tool to refuse `args`: status 1, nothing on standard output and an "Error: " message.
inline void expectRefused(const std::string& args) {
    const ToolRun r = runTool(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_TRUE(r.out.empty()) << args << ": " << r.out;
    EXPECT_TRUE(r.err.starts_with("Error: ")) << args << ": " << r.err;
}

inline std::string writeFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary) << std::string(bytes.begin(), bytes.end());
    return file.string();
}

// The whole model a file loads to, as `bleepforge-cli dump` prints it.
inline std::string dumpOf(const std::vector<uint8_t>& bytes) {
    return runTool("dump '" + writeFile(scratch() / "dumped", bytes) + "'").out;
}

// An envelope of `values` as the editor leaves it: the marker after them, zeros after that.
inline void setEnvelope(Envelope& envelope, const std::vector<int>& values, int loopPoint) {
    std::fill(std::begin(envelope.values), std::end(envelope.values), 0);
    for (size_t i = 0; i < values.size(); ++i) envelope.values[i] = values[i];
    envelope.values[values.size()] = END_MARKER;
    envelope.loopPoint = loopPoint;
}

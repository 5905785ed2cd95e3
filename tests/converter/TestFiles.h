#pragma once
// The converter's command line, a scratch folder under the build tree, and the real assembler and
// linker over converter output.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "export/ConverterEntry.h"
#include "tests/ExpectedText.h"

namespace fs = std::filesystem;

// The converter's command line run in this process with `args` (the program name is put
// before them): its exit code (none when it only parsed the arguments), output and errors.
struct ConverterRun {
    std::optional<int> code;
    std::string out, err;
};

inline ConverterRun runConverter(std::vector<std::string> args) {
    args.insert(args.begin(), "bleepforge");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const std::optional<int> code = runConverterFromCommandLine(int(args.size()), argv.data());
    // A braced list is evaluated in order: standard output first.
    return {code, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

struct ScratchDir {
    fs::path dir;
    explicit ScratchDir(const std::string& name) : dir(fs::path(BF_BINARY_DIR) / "converter-work" / name) {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string read(const std::string& name) const { return readFile(dir / name); }

    // Includes every file in one source (segment CODE, the samples in DPCM) and links it into
    // all.bin, by default with the samples at $C000, where the DMC reads them: every label must
    // resolve and every byte be in range (false too when cc65 is not on PATH).
    bool assembleAndLink(
        const std::vector<std::string>& codeFiles, const std::string& dpcmFile,
        const std::string& config =
            "MEMORY { DATA: start = $2000, size = $A000; SAMPLES: start = $C000, size = $4000; }\n"
            "SEGMENTS { CODE: load = DATA, type = ro; DPCM: load = SAMPLES, type = ro; }\n") const {
        std::ofstream wrapper(path("all.s"));
        wrapper << ".segment \"CODE\"\n";
        for (const std::string& f : codeFiles) wrapper << ".include \"" << f << "\"\n";
        wrapper << ".segment \"DPCM\"\n.include \"" << dpcmFile << "\"\n";
        wrapper.close();
        std::ofstream(path("nes.cfg")) << config;
        const std::string cd = "cd '" + dir.string() + "' && ";
        return std::system((cd + "ca65 -o all.o all.s && ld65 -C nes.cfg -o all.bin all.o").c_str()) == 0;
    }
};

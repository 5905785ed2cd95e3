#pragma once
// A scratch folder under the build tree, and the real assembler and linker over converter output.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

struct ScratchDir {
    fs::path dir;
    explicit ScratchDir(const std::string& name) : dir(fs::path(BF_BINARY_DIR) / "converter-work" / name) {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string read(const std::string& name) const { return readFile(dir / name); }

    // Includes every file in one source and links it with the samples at $C000, where the DMC
    // reads them: every label must resolve and every byte be in range.
    bool assembleAndLink(const std::vector<std::string>& codeFiles, const std::string& dpcmFile) const {
        if (std::system("command -v ca65 >/dev/null && command -v ld65 >/dev/null") != 0) {
            ADD_FAILURE() << "cc65 needed on PATH";
            return false;
        }
        std::ofstream wrapper(path("all.s"));
        wrapper << ".segment \"CODE\"\n";
        for (const std::string& f : codeFiles) wrapper << ".include \"" << f << "\"\n";
        wrapper << ".segment \"DPCM\"\n.include \"" << dpcmFile << "\"\n";
        wrapper.close();
        std::ofstream(path("nes.cfg"))
            << "MEMORY { DATA: start = $2000, size = $A000; SAMPLES: start = $C000, size = $4000; }\n"
               "SEGMENTS { CODE: load = DATA, type = ro; DPCM: load = SAMPLES, type = ro; }\n";
        const std::string cd = "cd '" + dir.string() + "' && ";
        return std::system((cd + "ca65 -o all.o all.s && ld65 -C nes.cfg -o all.bin all.o").c_str()) == 0;
    }
};

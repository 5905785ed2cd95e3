#pragma once
// The game driver (driver/game_driver.s) with the converter's output, assembled by ca65 and ld65
// into an NROM cartridge, for the driver tests and the driver's cost benchmark.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "export/ConverterEntry.h"

// `song` converted (with `effect` as the first sound effect unless empty) into `dir`: reset
// starts song 0 on TV system `tv` (0 NTSC, 1 PAL) and enables the NMI, whose handler is `nmi`
// (ending in rti). The samples lie at $C000, where the DMC reads them. Empty when a step failed.
inline std::vector<uint8_t> driverCartridge(const std::filesystem::path& dir, std::string song,
                                            std::string effect, int tv, const std::string& nmi) {
    const auto stem = [](const std::string& p) { return std::filesystem::path(p).stem().string(); };
    std::vector<std::string> args = {"bleepforge", "-s", song, "-o", (dir / "music.s").string()};
    if (!effect.empty()) args.insert(args.end(), {"-e", effect});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    if (runConverterFromCommandLine(int(argv.size()), argv.data()) != 0) return {};
    std::ofstream(dir / "rom.s") << "BLEEP_ZP = $10\nBLEEP_RAM = $0300\n.segment \"CODE\"\n.include \"music.s\"\n"
                                 << ".include \"music-" << stem(song) << ".s\"\n"
                                 << (effect.empty() ? "" : ".include \"music-" + stem(effect) + ".s\"\n")
                                 << ".include \"game_driver.s\"\nreset: sei\n ldx #$FF\n txs\n lda #" << tv
                                 << "\n ldx #<music\n ldy #>music\n jsr bleep_init\n lda #0\n jsr bleep_play\n"
                                    " lda #$80\n sta $2000\nidle: jmp idle\nnmi:\n"
                                 << nmi
                                 << "\n.segment \"DPCM\"\n.include \"music-dpcm.s\"\n"
                                    ".segment \"VECTORS\"\n.word nmi, reset, reset\n";
    std::ofstream(dir / "rom.cfg") << "MEMORY { PRG: start = $8000, size = $8000, fill = yes; }\n"
                                      "SEGMENTS { CODE: load = PRG, start = $8000; DPCM: load = PRG, start = $C000;\n"
                                      "  VECTORS: load = PRG, start = $FFFA; }\n";
    const std::string cd = "cd '" + dir.string() + "' && ";
    if (std::system((cd + "ca65 -I " BF_SOURCE_DIR "/driver -o rom.o rom.s && ld65 -C rom.cfg -o rom.bin rom.o")
                        .c_str()) != 0)
        return {};
    std::stringstream prg;
    prg << std::ifstream(dir / "rom.bin", std::ios::binary).rdbuf();
    std::vector<uint8_t> rom = {'N', 'E', 'S', 0x1A, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (char c : prg.str()) rom.push_back(uint8_t(c));
    return rom.size() == 16 + 0x8000 ? rom : std::vector<uint8_t>{};
}

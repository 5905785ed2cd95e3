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

// `song` (and `moreSongs` after it) converted, with `effect` as the first sound effect unless
// empty, into `dir`: reset starts song `play` on TV system `tv` (0 NTSC, 1 PAL) and enables the
// NMI, whose handler is `nmi` (ending in rti). `shift` bytes of padding come before the song
// data and the driver; with `oneTv` the driver is built for TV system `tv` alone. The samples
// lie at $C000, where the DMC reads them. Empty when a step failed.
inline std::vector<uint8_t> driverCartridge(const std::filesystem::path& dir, std::string song,
                                            std::string effect, int tv, const std::string& nmi,
                                            std::vector<std::string> moreSongs = {}, int play = 0,
                                            int shift = 0, bool oneTv = false) {
    const auto stem = [](const std::string& p) { return std::filesystem::path(p).stem().string(); };
    moreSongs.insert(moreSongs.begin(), song);
    std::vector<std::string> args = {"bleepforge", "-s"};
    args.insert(args.end(), moreSongs.begin(), moreSongs.end());
    args.insert(args.end(), {"-o", (dir / "music.s").string()});
    if (!effect.empty()) args.insert(args.end(), {"-e", effect});
    std::string songFiles;
    for (const std::string& s : moreSongs) songFiles += ".include \"music-" + stem(s) + ".s\"\n";
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    if (runConverterFromCommandLine(int(argv.size()), argv.data()) != 0) return {};
    std::ofstream(dir / "rom.s") << "BLEEP_ZP = $10\nBLEEP_RAM = $0300\n"
                                 << (oneTv ? "BLEEP_TV_SYSTEM = " + std::to_string(tv) + "\n" : "")
                                 << ".segment \"CODE\"\n"
                                 << (shift > 0 ? ".res " + std::to_string(shift) + "\n" : "")
                                 << ".include \"music.s\"\n"
                                 << songFiles
                                 << (effect.empty() ? "" : ".include \"music-" + stem(effect) + ".s\"\n")
                                 << ".include \"game_driver.s\"\nreset: sei\n ldx #$FF\n txs\n lda #" << tv
                                 << "\n ldx #<music\n ldy #>music\n jsr bleep_init\n lda #" << play
                                 << "\n jsr bleep_play\n lda #$80\n sta $2000\nidle: jmp idle\nnmi:\n"
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

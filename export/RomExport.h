#pragma once
// NES ROMs that play songs: the converter's data for the songs and effects, assembled by
// RomAssembler, below the ROM shell's image (driver/rom_shell.s, which holds the game driver).
// Start plays the next song, Select the one before, A the first sound effect.
//
// Layout, from the top: the image ends at $FFFF; the DPCM samples lie right below it at a
// 64-byte boundary, no lower than $C000; the rest of the data (entry tables, songs, effects)
// starts at $C000 when all of it fits in 16 KB (NROM-128), else at $8000 (NROM-256). Unused
// bytes are 0.

#include <cstdint>
#include <string>
#include <vector>

// The converter's output for one run, as text: the main file, one file per song and per effect
// in the order named, and the DPCM sample file.
struct ConverterTexts {
    std::string label;  // the entry label at the start of `main`
    std::string main;
    std::vector<std::string> songs, effects;
    std::string dpcm;
};

struct RomLayout {
    uint32_t dataStart = 0, dataEnd = 0;  // entry tables, songs, effects
    uint32_t dpcmStart = 0, dpcmEnd = 0;
    uint32_t imageStart = 0;              // the shell's image, up to $FFFF
    int prgBanks = 0;                     // 16 KB banks: 1 or 2
};

struct Rom {
    std::vector<uint8_t> file;  // the iNES file
    RomLayout layout;
};

// The ROM of converted data, for TV system `pal` (in the header and given to the driver).
// Throws std::runtime_error when the text has anything the assembler does not take, or when it
// does not fit an NROM cartridge.
Rom romFromConverterTexts(const ConverterTexts& texts, bool pal);

// Reads the files of a converter run whose output was `output`.
ConverterTexts readConverterOutput(const std::string& output, const std::vector<std::string>& songs,
                                   const std::vector<std::string>& effects);

// Converts the song files (1-128) and effect files (0-128) and builds their ROM, for the TV
// system of the first song. The converter's files are made in a temporary folder that is
// removed afterwards. Throws std::runtime_error with a message for the user.
Rom exportRom(const std::vector<std::string>& songs, const std::vector<std::string>& effects);

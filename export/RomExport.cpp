#include "export/RomExport.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "driver/RomDriverImage.h"
#include "export/AsmNames.h"
#include "export/Converter.h"
#include "export/ConverterEntry.h"
#include "export/RomAssembler.h"
#include "song/SongFile.h"

namespace {

// The driver numbers songs and effects with one byte, two bytes to an entry.
constexpr size_t MAX_ENTRIES = 128;

void checkCounts(size_t songs, size_t effects) {
    if (songs == 0) throw std::runtime_error("a ROM needs at least one song");
    if (songs > MAX_ENTRIES)
        throw std::runtime_error(std::to_string(songs) + " songs given; a ROM holds at most 128");
    if (effects > MAX_ENTRIES)
        throw std::runtime_error(std::to_string(effects) + " sound effects given; a ROM holds at most 128");
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) throw std::runtime_error("cannot read the converter's file " + path);
    return text.str();
}

// A folder of its own under the system's temporary folder, removed with everything in it.
struct TemporaryFolder {
    std::filesystem::path path;
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "bleepforge-rom-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder for the converter");
        path = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
};

}  // namespace

Rom romFromConverterTexts(const ConverterTexts& texts, bool pal) {
    checkCounts(texts.songs.size(), texts.effects.size());
    RomAssembler assembler;
    std::vector<size_t> sizes = {assembler.add("entry tables", texts.main)};
    for (size_t i = 0; i < texts.songs.size(); ++i)
        sizes.push_back(assembler.add("song " + std::to_string(i + 1), texts.songs[i]));
    for (size_t i = 0; i < texts.effects.size(); ++i)
        sizes.push_back(assembler.add("effect " + std::to_string(i + 1), texts.effects[i]));
    size_t dataSize = 0;
    for (size_t size : sizes) dataSize += size;
    const size_t dpcmSize = assembler.add("DPCM samples", texts.dpcm);

    Rom rom;
    RomLayout& l = rom.layout;
    l.imageStart = uint32_t(0x10000 - romDriverImageSize);
    const long dpcmStart = dpcmSize == 0 ? long(l.imageStart) : (long(l.imageStart) - long(dpcmSize)) & ~63L;
    if (dpcmStart < 0xC000)
        throw std::runtime_error("the DPCM samples take " + std::to_string(dpcmSize) + " bytes; at most " +
                                 std::to_string(l.imageStart - 0xC000) +
                                 " fit in $C000-$FFFF beside the driver");
    l.dpcmStart = uint32_t(dpcmStart);
    l.dpcmEnd = l.dpcmStart + uint32_t(dpcmSize);
    if (0xC000 + dataSize <= l.dpcmStart)
        l.prgBanks = 1;
    else if (0x8000 + dataSize <= l.dpcmStart)
        l.prgBanks = 2;
    else
        throw std::runtime_error("the songs and effects take " + std::to_string(dataSize) +
                                 " bytes besides the DPCM samples; with these samples an NROM cartridge holds " +
                                 std::to_string(l.dpcmStart - 0x8000));
    l.dataStart = 0x10000 - uint32_t(l.prgBanks) * 0x4000;
    l.dataEnd = l.dataStart + uint32_t(dataSize);

    // The files one after the other, the samples in their place.
    std::vector<uint32_t> origins;
    uint32_t at = l.dataStart;
    for (size_t size : sizes) origins.push_back(at), at += uint32_t(size);
    origins.push_back(l.dpcmStart);
    const std::vector<std::vector<uint8_t>> bytes = assembler.assemble(origins);

    const long entry = assembler.address(texts.label);
    if (entry < 0) throw std::runtime_error("the converter's entry label " + texts.label + " is missing");

    std::vector<uint8_t> prg(size_t(l.prgBanks) * 0x4000, 0);
    for (size_t i = 0; i < bytes.size(); ++i)
        std::copy(bytes[i].begin(), bytes[i].end(), prg.begin() + long(origins[i] - l.dataStart));
    uint8_t* image = prg.data() + (l.imageStart - l.dataStart);
    std::copy(romDriverImage, romDriverImage + romDriverImageSize, image);
    image[ROM_IMAGE_SONGS] = uint8_t(texts.songs.size());
    image[ROM_IMAGE_EFFECTS] = uint8_t(texts.effects.size());
    image[ROM_IMAGE_ENTRY] = uint8_t(entry);
    image[ROM_IMAGE_ENTRY + 1] = uint8_t(entry >> 8);
    image[ROM_IMAGE_TV] = pal ? 1 : 0;

    // iNES: program ROM banks, no character ROM (nothing is shown), mapper 0, and the TV system
    // in byte 9.
    rom.file = {'N', 'E', 'S', 0x1A, uint8_t(l.prgBanks), 0, 0, 0, 0, uint8_t(pal ? 1 : 0), 0, 0, 0, 0, 0, 0};
    rom.file.insert(rom.file.end(), prg.begin(), prg.end());
    return rom;
}

ConverterTexts readConverterOutput(const std::string& output, const std::vector<std::string>& songs,
                                   const std::vector<std::string>& effects) {
    const OutputNames names(output);
    ConverterTexts texts;
    texts.label = names.label;
    texts.main = readText(names.path);
    for (const std::string& song : songs) texts.songs.push_back(readText(names.songFileName(song)));
    for (const std::string& effect : effects) texts.effects.push_back(readText(names.effectFileName(effect)));
    texts.dpcm = readText(names.dpcmFileName());
    return texts;
}

Rom exportRom(const std::vector<std::string>& songs, const std::vector<std::string>& effects) {
    checkCounts(songs.size(), effects.size());
    auto song = std::make_unique<Song>();
    {
        SongLoadHooks hooks;
        if (!loadSongFile(*song, songs[0], hooks)) throw std::runtime_error("couldn't load " + songs[0]);
    }
    const bool pal = !song->ntsc;

    // The converter names its files and labels after the inputs' file names, so that two inputs
    // of one name (or a song called dpcm.zcm) would clash; it reads them here under names of
    // its own instead, which the data does not depend on. Its messages name the inputs again.
    TemporaryFolder folder;
    std::vector<std::pair<std::string, std::string>> renamed;  // the converter's name, the input
    const auto rename = [&](const std::vector<std::string>& inputs, const char* kind) {
        std::vector<std::string> names;
        for (const std::string& input : inputs) {
            const std::filesystem::path link = folder.path / (kind + std::to_string(names.size() + 1) + ".zcm");
            std::error_code ec;
            std::filesystem::create_symlink(std::filesystem::absolute(input, ec), link, ec);
            if (ec) throw std::runtime_error("cannot prepare " + input + " for the converter");
            names.push_back(link.string());
            renamed.emplace_back(link.string(), input);
        }
        return names;
    };
    ConverterArguments args;
    args.songs = rename(songs, "song");
    args.effects = rename(effects, "effect");
    args.output = (folder.path / "music.s").string();
    const auto inputNames = [&](std::string message) {
        for (const auto& [name, input] : renamed)
            for (size_t at; (at = message.find(name)) != std::string::npos;) message.replace(at, name.size(), input);
        return message;
    };
    try {
        ConverterSetup setup;
        std::ostringstream out, err;
        if (!convert(args, setup.context, out, err)) {
            std::string message = err.str();
            if (message.rfind("Error: ", 0) == 0) message.erase(0, 7);
            while (!message.empty() && message.back() == '\n') message.pop_back();
            throw std::runtime_error(message.empty() ? "the conversion failed" : message);
        }
    } catch (const std::exception& e) {
        throw std::runtime_error(inputNames(e.what()));
    }
    return romFromConverterTexts(readConverterOutput(args.output, args.songs, args.effects), pal);
}

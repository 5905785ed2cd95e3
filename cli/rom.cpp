// bleepforge-cli rom OUT.nes SONG.zcm... [-e EFFECT.zcm...]: a NES ROM that plays the songs.

#include <filesystem>
#include <stdexcept>
#include <string>

#include "cli/Cli.h"
#include "export/RomExport.h"
#include "song/AtomicFile.h"

namespace {

const char* const USAGE = "usage: rom OUT.nes SONG.zcm... [-e EFFECT.zcm...]";

int runRom(const std::vector<std::string>& args) {
    if (args.size() < 3) throw std::runtime_error(USAGE);
    std::vector<std::string> songs, effects;
    bool inEffects = false;
    for (size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "-e") {
            if (inEffects) throw std::runtime_error(USAGE);
            inEffects = true;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            throw std::runtime_error("unknown option " + args[i] + "; " + USAGE);
        } else {
            (inEffects ? effects : songs).push_back(args[i]);
        }
    }
    if (songs.empty()) throw std::runtime_error(USAGE);
    if (inEffects && effects.empty()) throw std::runtime_error("-e names no effect; " + std::string(USAGE));
    // Writing the ROM over one of its own inputs would destroy it.
    for (const auto* list : {&songs, &effects})
        for (const std::string& input : *list) {
            std::error_code ec;
            if (input == args[1] || std::filesystem::equivalent(input, args[1], ec))
                throw std::runtime_error("the output " + args[1] + " is also an input");
        }
    const Rom rom = exportRom(songs, effects);
    if (!writeFileAtomically(args[1], rom.file)) throw std::runtime_error("cannot write " + args[1]);
    return 0;
}

CliVerbRegistrar registerRom({"rom", "rom OUT.nes SONG.zcm... [-e EFFECT.zcm...]  a NES ROM that plays the songs: Start/Select change songs, A plays the first effect", runRom});

}  // namespace

// bleepforge-cli famitone IN.zcm OUT.txt: export a song as FamiTone text.

#include <memory>
#include <stdexcept>
#include <string>

#include "cli/Cli.h"
#include "export/FamiTone.h"
#include "song/SongFile.h"

namespace {

int runFamiTone(const std::vector<std::string>& args) {
    if (args.size() != 3) throw std::runtime_error("usage: famitone IN.zcm OUT.txt");
    std::vector<unsigned char> bytes = cliReadFile(args[1]);
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    if (!loadSong(*song, bytes.data(), bytes.size(), hooks))
        throw std::runtime_error(args[1] + ": not a song file this program can read");
    if (!exportFamiTone(*song, args[2])) throw std::runtime_error("cannot write " + args[2]);
    return 0;
}

CliVerbRegistrar registerFamiTone(
    {"famitone", "famitone IN.zcm OUT.txt    export a song as FamiTone text for a converter", runFamiTone});

}  // namespace

// bleepforge-cli save IN.zcm OUT.zcm: load a song and write it again in the current version.

#include <memory>
#include <stdexcept>
#include <string>

#include "cli/Cli.h"
#include "song/SongFile.h"

namespace {

int runSave(const std::vector<std::string>& args) {
    if (args.size() != 3) throw std::runtime_error("usage: save IN.zcm OUT.zcm");
    std::unique_ptr<Song> song = cliLoadSong(args[1]);
    if (!saveSong(*song, args[2])) throw std::runtime_error("cannot write " + args[2]);
    return 0;
}

CliVerbRegistrar registerSave({"save",
                               "save IN.zcm OUT.zcm    load a song and write it in the current version",
                               runSave});

}  // namespace

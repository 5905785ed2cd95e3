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
    std::unique_ptr<Song> song = cliLoadSong(args[1]);
    if (!exportFamiTone(*song, args[2])) throw std::runtime_error("cannot write " + args[2]);
    return 0;
}

CliVerbRegistrar registerFamiTone(
    {"famitone", "famitone IN.zcm OUT.txt    export a song as FamiTone text for a converter", runFamiTone});

}  // namespace

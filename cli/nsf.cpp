// bleepforge-cli nsf IN.zcm OUT.nsf: export a song as an NSF file.

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "apu/Apu.h"
#include "cli/Cli.h"
#include "export/NsfExport.h"
#include "player/Player.h"
#include "song/AtomicFile.h"

namespace {

int runNsf(const std::vector<std::string>& args) {
    if (args.size() != 3) throw std::runtime_error("usage: nsf IN.zcm OUT.nsf");
    std::unique_ptr<Song> song = cliLoadSong(args[1]);
    auto buffer = std::make_unique<Nonlinear_Buffer>();
    auto apu = std::make_unique<Apu>(*buffer);
    auto player = std::make_unique<Player>(*song, *apu);
    std::vector<uint8_t> file;
    std::string error;
    if (!exportNsf(*player, file, &error)) throw std::runtime_error(args[1] + ": " + error);
    if (!writeFileAtomically(args[2], file)) throw std::runtime_error("cannot write " + args[2]);
    return 0;
}

CliVerbRegistrar registerNsf({"nsf", "nsf IN.zcm OUT.nsf          export a song as an NSF file", runNsf});

}  // namespace

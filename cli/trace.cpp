// bleepforge-cli trace IN.zcm [--frames N] [--ntsc|--pal]: plays the song as render does and
// prints every register write, one line per frame: "N: AAAA=VV AAAA=VV ...". Without --frames it
// stops at the song's loop point or end. An .nsf or .nes file plays on the 6502 core instead
// (600 frames without --frames); its lines hold the $4000-$4017 writes of each play period or
// video frame.

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "apu/Apu.h"
#include "cli/Cli.h"
#include "nes/ConsolePlayer.h"
#include "player/OfflinePlayback.h"
#include "song/SongFile.h"

namespace {

int runTrace(const std::vector<std::string>& args) {
    const char* usage = "usage: trace IN.zcm [--frames N] [--ntsc|--pal]";
    std::string in;
    long frames = 0;
    int tv = -1;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--frames" && i + 1 < args.size()) {
            const std::string& text = args[++i];
            size_t used = 0;
            try {
                frames = std::stol(text, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used != text.size() || frames < 1 || frames > 1000000)
                throw std::runtime_error("--frames must be a whole number from 1 to 1000000");
        } else if (a == "--ntsc" || a == "--pal") {
            tv = a == "--ntsc";
        } else if (!a.empty() && a[0] == '-') {
            throw std::runtime_error("unknown option " + a);
        } else if (in.empty()) {
            in = a;
        } else {
            throw std::runtime_error(usage);
        }
    }
    if (in.empty()) throw std::runtime_error(usage);

    if (const auto kind = consoleFileKind(in)) {
        // NSF files and cartridges never end by themselves: 600 frames unless told otherwise.
        for (const std::string& line :
             traceConsoleFile(cliReadFile(in), *kind, frames > 0 ? frames : 600, {44100, tv, 0}))
            std::printf("%s\n", line.c_str());
        if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write the trace");
        return 0;
    }
    std::unique_ptr<Song> song = cliLoadSong(in);
    if (tv >= 0) song->ntsc = tv == 1;

    auto buffer = std::make_unique<Nonlinear_Buffer>();
    auto apu = std::make_unique<Apu>(*buffer);
    auto player = std::make_unique<Player>(*song, *apu);
    for (const std::string& line : traceSong(*player, *apu, frames)) std::printf("%s\n", line.c_str());
    if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write the trace");
    return 0;
}

CliVerbRegistrar registerTrace({"trace",
                                "trace IN.zcm [--frames N] [--ntsc|--pal]    register writes of each frame",
                                runTrace});

}  // namespace

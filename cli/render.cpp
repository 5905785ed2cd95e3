// bleepforge-cli render IN.zcm OUT.wav [--seconds S] [--rate HZ] [--ntsc|--pal]: plays the song
// from its start through the same player, APU and output buffer as live playback and writes the
// sound as 16-bit mono WAV. Without --seconds it stops at the song's loop point or end.
// An .nsf or .nes file plays on the 6502 core instead (60 seconds without --seconds).

#include <sndfile.h>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

#include "apu/Apu.h"
#include "cli/Cli.h"
#include "nes/ConsolePlayer.h"
#include "player/OfflinePlayback.h"
#include "song/SongFile.h"

namespace {

double parseNumber(const std::string& option, const std::string& text) {
    size_t used = 0;
    double value = 0.0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || !std::isfinite(value))
        throw std::runtime_error(option + ": not a number: " + text);
    return value;
}

int runRender(const std::vector<std::string>& args) {
    std::string in, out;
    double seconds = 0.0;
    long rate = 44100;
    int tv = -1;  // -1 as the song says, 0 PAL, 1 NTSC
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--seconds" || a == "--rate") && i + 1 < args.size()) {
            double v = parseNumber(a, args[++i]);
            if (a == "--seconds") {
                if (v <= 0.0 || v > 3600.0)
                    throw std::runtime_error("--seconds must be above 0 and at most 3600");
                seconds = v;
            } else {
                if (v < 8000.0 || v > 192000.0 || v != std::floor(v))
                    throw std::runtime_error("--rate must be a whole number from 8000 to 192000");
                rate = long(v);
            }
        } else if (a == "--ntsc" || a == "--pal") {
            tv = a == "--ntsc";
        } else if (!a.empty() && a[0] == '-') {
            throw std::runtime_error("unknown option " + a);
        } else if (in.empty()) {
            in = a;
        } else if (out.empty()) {
            out = a;
        } else {
            throw std::runtime_error("usage: render IN.zcm OUT.wav [--seconds S] [--rate HZ] [--ntsc|--pal]");
        }
    }
    if (out.empty())
        throw std::runtime_error("usage: render IN.zcm OUT.wav [--seconds S] [--rate HZ] [--ntsc|--pal]");

    std::vector<int16_t> samples;
    if (const auto kind = consoleFileKind(in)) {
        // NSF files and cartridges never end by themselves: a minute unless told otherwise.
        samples = renderConsoleFile(cliReadFile(in), *kind, seconds > 0.0 ? seconds : 60.0, {rate, tv, 0});
    } else {
        std::unique_ptr<Song> song = cliLoadSong(in);
        if (tv >= 0) song->ntsc = tv == 1;

        auto buffer = std::make_unique<Nonlinear_Buffer>();
        auto apu = std::make_unique<Apu>(*buffer);
        auto player = std::make_unique<Player>(*song, *apu);
        samples = renderSong(*player, *apu, rate, seconds);
    }

    SF_INFO info = {};
    info.samplerate = int(rate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(out.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + out + ": " + sf_strerror(nullptr));
    sf_count_t written = sf_write_short(file, samples.data(), sf_count_t(samples.size()));
    int closed = sf_close(file);
    if (written != sf_count_t(samples.size()) || closed != 0) throw std::runtime_error("cannot write " + out);
    return 0;
}

CliVerbRegistrar registerRender({"render",
                                 "render IN.zcm OUT.wav [--seconds S] [--rate HZ] [--ntsc|--pal]    "
                                 "play the song into a 16-bit mono WAV file",
                                 runRender});

}  // namespace

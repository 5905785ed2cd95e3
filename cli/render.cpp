// bleepforge-cli render IN.zcm OUT [options]: plays the song from its start through the same
// player, APU and output buffer as live playback and writes the sound as 16-bit mono audio, in
// the format of OUT's extension (.wav, .flac, .ogg) or as a WAV stream on standard output for
// "-". Without --seconds it plays the song to its loop point or end, --passes times.
// An .nsf or .nes file plays on the 6502 core instead (60 seconds without --seconds).

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/Cli.h"
#include "nes/ConsolePlayer.h"
#include "player/AudioFile.h"
#include "song/Song.h"
#include "song/SongFile.h"

namespace {

const char* const USAGE =
    "usage: render IN.zcm OUT.wav|OUT.flac|OUT.ogg|- [--seconds S] [--passes N] [--fade S] [--rate HZ] "
    "[--channels LIST] [--stems] [--ntsc|--pal]";

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

// "1,3,5" or "pulse1,triangle,dpcm" (any case): the channels to keep, as a mask.
int parseChannels(const std::string& text) {
    int mask = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        std::string item = text.substr(at, comma - at);
        for (char& c : item) c = char(std::tolower(static_cast<unsigned char>(c)));
        int found = -1;
        for (int c = 0; c < CHANNEL_COUNT; ++c) {
            std::string name;
            for (const char* n = CHANNEL_NAMES[c]; *n; ++n)
                if (*n != ' ') name += char(std::tolower(static_cast<unsigned char>(*n)));
            if (item == name || item == std::to_string(c + 1)) found = c;
        }
        if (found < 0)
            throw std::runtime_error("--channels: not a channel: '" + item +
                                     "' (use 1-5 or pulse1, pulse2, triangle, noise, dpcm)");
        mask |= 1 << found;
        at = comma + 1;
    }
    return mask;
}

// A bar on standard error, shown only on a terminal and only once the render has taken a second.
class ProgressBar {
  public:
    ProgressBar() : shown_(isatty(STDERR_FILENO) == 1), start_(std::chrono::steady_clock::now()) {}
    ~ProgressBar() {
        if (drawn_) std::fputc('\n', stderr);
    }
    bool update(double done) {
        if (!shown_) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now - start_ < std::chrono::seconds(1)) return true;
        const int percent = int(done * 100.0 + 0.5);
        if (drawn_ && percent == lastPercent_) return true;
        lastPercent_ = percent;
        drawn_ = true;
        const int width = 40, filled = percent * width / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(width - filled), ' ').c_str(), percent);
        std::fflush(stderr);
        return true;
    }

  private:
    bool shown_, drawn_ = false;
    int lastPercent_ = -1;
    std::chrono::steady_clock::time_point start_;
};

// Writes finished samples to `out` ("-" for standard output) in the given type, atomically.
void writeSamples(const std::string& out, AudioFileType type, long rate, const std::vector<int16_t>& samples) {
    if (out == "-") {
        WavStreamSink sink(STDOUT_FILENO, rate);
        if (!sink.write(samples.data(), samples.size()) || !sink.finish())
            throw std::runtime_error("cannot write the WAV stream to standard output");
        return;
    }
    AudioFileSink sink;
    if (!sink.open(out, type, rate) || !sink.write(samples.data(), samples.size()) || !sink.commit())
        throw std::runtime_error(sink.error());
}

int runRender(const std::vector<std::string>& args) {
    std::string in, out;
    AudioExportOptions options;
    RenderOptions& render = options.render;
    int tv = -1;  // -1 as the song says, 0 PAL, 1 NTSC
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool valued = a == "--seconds" || a == "--rate" || a == "--passes" || a == "--fade" || a == "--channels";
        if (valued && i + 1 >= args.size()) throw std::runtime_error(a + " needs a value");
        if (a == "--channels") {
            render.channelMask = parseChannels(args[++i]);
        } else if (valued) {
            const double v = parseNumber(a, args[++i]);
            if (a == "--seconds") {
                if (v <= 0.0 || v > 3600.0) throw std::runtime_error("--seconds must be above 0 and at most 3600");
                render.seconds = v;
            } else if (a == "--rate") {
                if (v < 8000.0 || v > 192000.0 || v != std::floor(v))
                    throw std::runtime_error("--rate must be a whole number from 8000 to 192000");
                render.sampleRate = long(v);
            } else if (a == "--passes") {
                if (v < 1.0 || v > 16.0 || v != std::floor(v))
                    throw std::runtime_error("--passes must be a whole number from 1 to 16");
                render.passes = int(v);
            } else {
                if (v < 0.0 || v > 600.0) throw std::runtime_error("--fade must be from 0 to 600 seconds");
                render.fadeSeconds = v;
            }
        } else if (a == "--stems") {
            options.stems = true;
        } else if (a == "--ntsc" || a == "--pal") {
            tv = a == "--ntsc";
        } else if (a.size() > 1 && a[0] == '-') {
            throw std::runtime_error("unknown option " + a);
        } else if (in.empty()) {
            in = a;
        } else if (out.empty()) {
            out = a;
        } else {
            throw std::runtime_error(USAGE);
        }
    }
    if (out.empty()) throw std::runtime_error(USAGE);
    AudioFileType type = AudioFileType::Wav;
    if (out != "-" && !audioFileTypeFor(out, type))
        throw std::runtime_error("cannot tell the audio format of " + out + ": use .wav, .flac, .ogg or -");

    if (const auto kind = consoleFileKind(in)) {
        // NSF files and cartridges never end by themselves: a minute unless told otherwise. Only
        // the length, rate and TV system apply to them.
        if (options.stems || render.channelMask != 31 || render.passes != 1 || render.fadeSeconds > 0.0)
            throw std::runtime_error("--passes, --fade, --channels and --stems apply to songs only");
        const std::vector<int16_t> samples = renderConsoleFile(
            cliReadFile(in), *kind, render.seconds > 0.0 ? render.seconds : 60.0, {render.sampleRate, tv, 0});
        writeSamples(out, type, render.sampleRate, samples);
        return 0;
    }

    std::unique_ptr<Song> song = cliLoadSong(in);
    if (tv >= 0) song->ntsc = tv == 1;

    ProgressBar bar;
    std::string error;
    if (!exportAudio(*song, out, options, [&](double done) { return bar.update(done); }, error))
        throw std::runtime_error(error);
    return 0;
}

CliVerbRegistrar registerRender(
    {"render",
     "render IN.zcm OUT [options]    play the song into a 16-bit mono audio file: OUT.wav, OUT.flac, "
     "OUT.ogg, or - for WAV on standard output\n"
     "      --seconds S       exactly S seconds (at most 3600) instead of playing to the loop point\n"
     "      --passes N        play the song N times through its loop (1-16, default 1)\n"
     "      --fade S          add S seconds of fade-out after the song (default 0)\n"
     "      --rate HZ         sample rate, 8000-192000 (default 44100)\n"
     "      --channels LIST   keep only these channels: 1-5 or pulse1,pulse2,triangle,noise,dpcm\n"
     "      --stems           one file per kept channel, named OUT-Pulse1.wav and so on\n"
     "      --ntsc, --pal     play as that TV system instead of the song's own",
     runRender});

}  // namespace

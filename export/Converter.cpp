#include "export/Converter.h"

#include <map>
#include <ostream>
#include <stdexcept>

#include "song/AtomicFile.h"
#include "export/AsmNames.h"
#include "export/AsmSongData.h"
#include "export/Effect.h"
#include "song/SongFile.h"

ConverterArguments parseConverterArguments(int argc, const char* const* argv) {
    ConverterArguments args;
    enum { IGNORED, SONGS, EFFECTS, OUTPUT } mode = IGNORED;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        if (arg == "-s")
            mode = SONGS;
        else if (arg == "-e")
            mode = EFFECTS;
        else if (arg == "-o")
            mode = OUTPUT;
        else if (arg == "-nesasm")
            args.nesasm = true;
        else if (mode == SONGS)
            args.songs.push_back(arg);
        else if (mode == EFFECTS)
            args.effects.push_back(arg);
        else if (mode == OUTPUT) {
            // The mode stays on the output after its file, so a stray second name is caught.
            if (!args.output.empty()) throw std::runtime_error("More than one output file specified.");
            args.output = arg;
        }
    }
    return args;
}

namespace {

// Every file of one run must come from one source, and no input may be overwritten: a name
// produced twice would silently replace the first file with the second.
void checkFileNamesDistinct(const ConverterArguments& args, const OutputNames& names) {
    std::map<std::string, std::string> sources;  // file name -> what writes it
    const auto claim = [&](const std::string& file, const std::string& source) {
        auto [it, inserted] = sources.emplace(file, source);
        if (!inserted && it->second != source)
            throw std::runtime_error("Output file " + file + " would be written for both " + it->second +
                                     " and " + source + "; rename one of them.");
    };
    claim(names.path, "the output file");
    for (const std::string& song : args.songs) claim(names.songFileName(song), "song " + song);
    if (!args.songs.empty()) claim(names.dpcmFileName(), "the DPCM data");
    for (const std::string& effect : args.effects)
        claim(names.effectFileName(effect), "sound effect " + effect);
    // Labels come from the file names with every other character than letters and digits made
    // "_": "a-b.zcm" and "a_b.zcm" would define the same labels, which no assembler takes.
    std::map<std::string, std::string> keys;  // label key -> the input it stands for
    for (const auto* inputs : {&args.songs, &args.effects})
        for (const std::string& input : *inputs) {
            const std::string source = (inputs == &args.songs ? "song " : "sound effect ") + input;
            auto [it, inserted] = keys.emplace(entryKey(names.base, input), source);
            if (!inserted && it->second != source)
                throw std::runtime_error("The labels of " + it->second + " and " + source +
                                         " would be the same; rename one of them.");
        }
    // The main file is written before the songs are read: naming an input as output would
    // destroy it.
    for (const auto* inputs : {&args.songs, &args.effects})
        for (const std::string& input : *inputs)
            if (sources.count(input))
                throw std::runtime_error("Output file " + input +
                                         " would overwrite the input file of the same name.");
}

void writeOrThrow(const std::string& name, const std::string& text) {
    if (!writeFileAtomically(name, text)) throw std::runtime_error("Couldn't open " + name);
}

bool loadInto(Song& song, const std::string& path, std::ostream& err) {
    SongLoadHooks hooks;
    if (loadSongFile(song, path, hooks)) return true;
    err << "Error: couldn't load " << path << "\n";
    return false;
}

// Saves the player's state for a phase and restores it however the phase ends.
struct PlaybackStateGuard {
    explicit PlaybackStateGuard(CapturePlayer& p) : player(p) { player.savePlaybackState(); }
    ~PlaybackStateGuard() { player.restorePlaybackState(); }
    PlaybackStateGuard(const PlaybackStateGuard&) = delete;
    PlaybackStateGuard& operator=(const PlaybackStateGuard&) = delete;
    CapturePlayer& player;
};

std::string entryTables(LabelTable& labels, const ConverterArguments& args, const OutputNames& names) {
    const std::string& base = names.base;
    std::string text = names.label + ":\n";
    text += "  .word " + labels.labelFor(base + "_songs") + "\n";
    text += "  .word " + labels.labelFor(base + "_effects") + "\n\n";
    text += labels.labelFor(base + "_songs") + ":\n";
    for (const std::string& song : args.songs)
        text += "  .word " + labels.labelFor(entryKey(base, song)) + "\n";
    text += "\n" + labels.labelFor(base + "_effects") + ":\n";
    for (const std::string& effect : args.effects)
        text += "  .word " + labels.labelFor(entryKey(base, effect)) + "\n";
    return text + "\n";
}

}  // namespace

bool convert(const ConverterArguments& args, ConverterContext& context, std::ostream& out,
             std::ostream& err) {
    if (args.output.empty()) throw std::runtime_error("Output file must be specified.");
    const OutputNames names(args.output);
    checkFileNamesDistinct(args, names);

    LabelTable labels;
    std::string mainText = entryTables(labels, args, names);
    writeOrThrow(names.path, mainText);

    if (!args.songs.empty()) {
        PlaybackStateGuard guard(context.player);
        out << "Processing songs...\n";
        std::vector<CapturedSong> songs;
        songs.reserve(args.songs.size());
        for (const std::string& path : args.songs) {
            out << "  " << fileNameOf(path) << "\n";
            out.flush();
            if (!loadInto(context.song, path, err)) return false;
            CapturedSong& captured = songs.emplace_back();
            captureSong(context.player, context.recorder, captured);
            captured.takeInstruments(context.song, context.recorder.usedFlags());
            captured.path = path;
        }
        const SongDataText data = writeSongData(labels, args.nesasm ? "low" : "<", songs, names);
        for (const AsmOutputFile& file : data.files) writeOrThrow(file.name, file.text);
        mainText += data.mainText;
        writeOrThrow(names.path, mainText);
    }

    if (!args.effects.empty()) {
        PlaybackStateGuard guard(context.player);
        out << "Processing sound effects...\n";
        for (const std::string& path : args.effects) {
            out << "  " << fileNameOf(path) << "\n";
            out.flush();
            if (!loadInto(context.song, path, err)) return false;
            const CapturedEffect effect = captureEffect(context.player, context.recorder);
            const std::string fileName = names.effectFileName(path);
            if (!writeEffect(effect, fileName, labels, entryKey(names.base, path))) {
                err << "Error: Couldn't open " << fileName << "\n";
                return false;
            }
        }
    }
    return true;
}

std::optional<int> runConverter(int argc, const char* const* argv, ConverterContext& context,
                                std::ostream& out, std::ostream& err) {
    const ConverterArguments args = parseConverterArguments(argc, argv);
    if (!args.taken()) return std::nullopt;
    return convert(args, context, out, err) ? 0 : 1;
}

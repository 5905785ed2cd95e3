// bleepforge-cli: the headless tool. Dispatches to the verb named by the first argument.

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "cli/Cli.h"
#include "song/SongFile.h"

namespace {

std::map<std::string, CliVerb>& verbs() {
    static std::map<std::string, CliVerb> table;
    return table;
}

int usage(FILE* out) {
    std::fprintf(out, "usage: bleepforge-cli VERB [ARGS...]\n\nverbs:\n");
    // A verb's usage is its synopsis, two or more spaces, then what it does.
    for (const auto& [name, verb] : verbs()) {
        std::string usage = verb.usage;
        size_t gap = usage.find("  ");
        std::string synopsis = usage.substr(0, gap);
        std::string what = gap == std::string::npos ? "" : usage.substr(usage.find_first_not_of(' ', gap));
        std::fprintf(out, "  %-62s %s\n", synopsis.c_str(), what.c_str());
    }
    return out == stdout ? 0 : 1;
}

}  // namespace

CliVerbRegistrar::CliVerbRegistrar(const CliVerb& verb) { verbs()[verb.name] = verb; }

std::vector<unsigned char> cliReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error("cannot read " + path);
    return bytes;
}

std::unique_ptr<Song> cliLoadSong(const std::string& path, int* fileVersion) {
    std::vector<unsigned char> bytes = cliReadFile(path);
    auto song = std::make_unique<Song>();
    SongLoadHooks hooks;
    if (!loadSong(*song, bytes.data(), bytes.size(), hooks, fileVersion))
        throw std::runtime_error(path + ": not a song file this program can read");
    return song;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage(stderr);
    std::string name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") return usage(stdout);
    auto it = verbs().find(name);
    if (it == verbs().end()) {
        std::fprintf(stderr, "Error: unknown verb '%s'\n", name.c_str());
        usage(stderr);
        return 1;
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return it->second.run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Error: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Error: Unknown error occurred.\n");
    }
    return 1;
}

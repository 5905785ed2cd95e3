// bleepforge-cli famitone [--strict] IN.zcm OUT.txt: export a song as FamiTone text, and report
// on standard error what the FamiTone library will not play as written.

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/Cli.h"
#include "export/FamiTone.h"
#include "export/FamiToneCheck.h"
#include "song/SongFile.h"

namespace {

int runFamiTone(const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    bool strict = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--strict")
            strict = true;
        else
            paths.push_back(args[i]);
    }
    if (paths.size() != 2) throw std::runtime_error("usage: famitone [--strict] IN.zcm OUT.txt");
    std::unique_ptr<Song> song = cliLoadSong(paths[0]);
    if (!exportFamiTone(*song, paths[1])) throw std::runtime_error("cannot write " + paths[1]);
    // The file is written either way: the report is advice, unless asked to be a gate.
    const std::vector<FamiToneFinding> findings = checkFamiTone(*song);
    for (const FamiToneFinding& finding : findings) std::fprintf(stderr, "%s\n", finding.text().c_str());
    if (!findings.empty()) {
        const std::string summary = famiToneSummary(findings);
        if (strict) throw std::runtime_error(summary);
        std::fprintf(stderr, "%s\n", summary.c_str());
    }
    return 0;
}

CliVerbRegistrar registerFamiTone({"famitone",
                                   "famitone [--strict] IN.zcm OUT.txt    export FamiTone text, report what "
                                   "will not play (--strict: fail on it)",
                                   runFamiTone});

}  // namespace

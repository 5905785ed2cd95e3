// bleepforge-cli backups: the rolling backups and recovery copies the editor wrote, newest first.

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "app/Backups.h"
#include "cli/Cli.h"

namespace {

int runBackups(const std::vector<std::string>& args) {
    if (args.size() != 1) throw std::runtime_error("usage: backups");
    const std::string dir = backupDirectory(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
    if (dir.empty()) throw std::runtime_error("no backup folder: neither XDG_STATE_HOME nor HOME is set");
    for (const BackupEntry& e : listBackups(dir))
        std::printf("%s  %10llu  %s  %s\n", e.time.c_str(), static_cast<unsigned long long>(e.size),
                    e.songName.c_str(), e.path.c_str());
    return 0;
}

CliVerbRegistrar registerBackups({"backups",
                                  "backups                 list the editor's backups, newest first",
                                  runBackups});

}  // namespace

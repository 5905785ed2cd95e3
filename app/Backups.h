#pragma once
// Rolling backups and recovery copies: songs the program writes on its own, kept in
// $XDG_STATE_HOME/bleepforge/backups/ (~/.local/state/bleepforge/backups/ when the variable is
// unset or not absolute) as "<song name>-<YYYYMMDD>-<HHMMSS>.zcm", with "-2", "-3", ... before
// the extension when a second copy of the same song falls in the same second. The newest
// ROLLING_BACKUP_COUNT are kept; older ones are deleted after each write. Other files in the
// folder are never touched.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

constexpr int ROLLING_BACKUP_COUNT = 50;

// The backups folder for the given environment values (either may be null). Empty when neither
// gives an absolute place.
std::string backupDirectory(const char* xdgStateHome, const char* home);

// The song name a copy is filed under: the file name of songPath without its extension, with
// characters a file name cannot hold replaced by '_'; "untitled" for a song never saved.
std::string backupSongName(const std::string& songPath);

// Writes the bytes atomically as a new copy in dir (created when missing), then deletes all but
// the newest ROLLING_BACKUP_COUNT copies. Answers the written path, or an empty string when the
// folder or the file could not be written (nothing else is then changed).
std::string writeRollingBackup(const std::string& dir, const std::string& songName,
                               const std::vector<uint8_t>& bytes, std::time_t now);

struct BackupEntry {
    std::string path;
    std::string songName;
    std::string time;  // "YYYY-MM-DD HH:MM:SS", local time as written in the name
    uint64_t size = 0;
};
// The copies in dir, newest first; empty when the folder is missing or unreadable.
std::vector<BackupEntry> listBackups(const std::string& dir);

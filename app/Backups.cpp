#include "app/Backups.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <system_error>

#include "song/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

const std::regex& copyName() {
    static const std::regex pattern(R"(^(.+)-(\d{8})-(\d{6})(?:-(\d+))?\.zcm$)");
    return pattern;
}

struct Parsed {
    fs::path path;
    std::string song, stamp;  // stamp: "YYYYMMDD-HHMMSS"
    int copy = 1;
};

std::vector<Parsed> scan(const std::string& dir) {
    std::vector<Parsed> found;
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code fileError;
        if (!it->is_regular_file(fileError)) continue;
        const std::string name = it->path().filename().string();
        std::smatch m;
        if (!std::regex_match(name, m, copyName())) continue;
        Parsed p{it->path(), m[1].str(), m[2].str() + "-" + m[3].str(), 1};
        if (m[4].matched) p.copy = std::atoi(m[4].str().c_str());
        found.push_back(std::move(p));
    }
    // Newest first; copies within one second by their number.
    std::sort(found.begin(), found.end(), [](const Parsed& a, const Parsed& b) {
        if (a.stamp != b.stamp) return a.stamp > b.stamp;
        if (a.copy != b.copy) return a.copy > b.copy;
        return a.path > b.path;
    });
    return found;
}

}  // namespace

std::string backupDirectory(const char* xdgStateHome, const char* home) {
    if (xdgStateHome && xdgStateHome[0] == '/') return std::string(xdgStateHome) + "/bleepforge/backups";
    if (home && home[0] == '/') return std::string(home) + "/.local/state/bleepforge/backups";
    return "";
}

std::string backupSongName(const std::string& songPath) {
    std::string name = fs::path(songPath).stem().string();
    if (name.empty()) return "untitled";
    for (char& c : name)
        if (c == '/' || c == '\\' || uint8_t(c) < 32 || c == 127) c = '_';
    if (name.size() > 64) name.resize(64);
    return name;
}

std::string writeRollingBackup(const std::string& dir, const std::string& songName,
                               const std::vector<uint8_t>& bytes, std::time_t now) {
    if (dir.empty()) return "";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return "";
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = dir + "/" + songName + "-" + stamp;
    std::string path = base + ".zcm";
    for (int copy = 2; fs::exists(path, ec) && copy < 1000; ++copy)
        path = base + "-" + std::to_string(copy) + ".zcm";
    if (!writeFileAtomically(path, bytes)) return "";
    const std::vector<Parsed> all = scan(dir);
    for (size_t i = ROLLING_BACKUP_COUNT; i < all.size(); ++i) fs::remove(all[i].path, ec);
    return path;
}

std::vector<BackupEntry> listBackups(const std::string& dir) {
    std::vector<BackupEntry> list;
    for (const Parsed& p : scan(dir)) {
        BackupEntry e;
        e.path = p.path.string();
        e.songName = p.song;
        const std::string& s = p.stamp;  // YYYYMMDD-HHMMSS
        e.time = s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + " " + s.substr(9, 2) + ":" +
                 s.substr(11, 2) + ":" + s.substr(13, 2);
        std::error_code ec;
        const auto size = fs::file_size(p.path, ec);
        e.size = ec ? 0 : uint64_t(size);
        list.push_back(std::move(e));
    }
    return list;
}

#include "app/FileBrowser.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A folder of millions of hidden or unmatched names must not hold the dialog up: reading stops
// after this many names whatever was listed.
constexpr size_t MAX_SCANNED = 200000;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = uint8_t(lowerAscii(a[i])), y = uint8_t(lowerAscii(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;  // names differing only in case keep a fixed order
}

// Wildcard match of one pattern ("*" any run, "?" any one byte), letters without regard to case.
bool globMatch(const std::string& name, const std::string& pattern) {
    size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// Lexically normal, without a trailing separator (except for the root itself).
fs::path normalFolder(const fs::path& path) {
    fs::path p = path.lexically_normal();
    if (p.has_relative_path() && !p.has_filename()) p = p.parent_path();
    return p;
}

// "name." counts as having one: the trailing dot says no extension is wanted.
bool hasExtension(const fs::path& path) { return !path.filename().extension().empty(); }

}  // namespace

bool matchesFilterPattern(const std::string& name, const std::string& pattern) {
    size_t start = 0;
    bool any = false;
    while (start <= pattern.size()) {
        size_t end = pattern.find(';', start);
        if (end == std::string::npos) end = pattern.size();
        const std::string one = trimmed(pattern.substr(start, end - start));
        if (!one.empty()) {
            any = true;
            if (one == "*.*" || globMatch(name, one)) return true;
        }
        start = end + 1;
    }
    return !any;  // an empty pattern filters nothing out
}

std::string printableName(const std::string& bytes) {
    std::string out = bytes;
    for (char& c : out)
        if (uint8_t(c) < 32 || uint8_t(c) > 126) c = '?';
    return out;
}

std::string cutFromLeft(const std::string& text, size_t columns) {
    if (text.size() <= columns) return text;
    if (columns <= 3) return text.substr(text.size() - columns);
    return "..." + text.substr(text.size() - (columns - 3));
}

fs::path nearestExistingFolder(const fs::path& path) {
    std::error_code ec;
    fs::path p = path;
    if (!p.is_absolute()) {
        fs::path cwd = fs::current_path(ec);
        p = ec ? fs::path("/") / p : cwd / p;
    }
    p = normalFolder(p);
    for (int guard = 0; guard < 4096; ++guard) {
        if (fs::is_directory(p, ec)) return p;
        if (!p.has_relative_path()) break;
        p = p.parent_path();
    }
    return "/";
}

FileBrowser::FileBrowser(Mode mode, std::vector<FileFilter> filters, std::string defaultExtension,
                         const fs::path& startFolder)
    : mode_(mode), filters_(std::move(filters)), defaultExtension_(std::move(defaultExtension)) {
    if (!defaultExtension_.empty() && defaultExtension_[0] == '.') defaultExtension_.erase(0, 1);
    folder_ = nearestExistingFolder(startFolder);
    refresh();
    if (entries_.size() > 1 && entries_[0].name == "..") highlight_ = 1;
}

bool FileBrowser::fileMatchesFilter(const std::string& name) const {
    if (filters_.empty()) return true;
    return matchesFilterPattern(name, filters_[filterIndex_].pattern);
}

FileBrowser::ScanEnd FileBrowser::scanFolder(const fs::path& path,
                                             const std::function<bool(const std::string&)>& wanted,
                                             const std::function<bool(BrowserEntry)>& take) const {
    std::error_code ec;
    fs::directory_iterator it(path, ec);
    if (ec) return ScanEnd::Unopened;
    size_t scanned = 0;
    while (it != fs::directory_iterator()) {
        if (++scanned > MAX_SCANNED) return ScanEnd::TooLarge;
        const std::string name = it->path().filename().string();
        if (wanted(name)) {
            std::error_code statusError;
            // Follows links: a link to a folder is a folder; a broken link is neither.
            const fs::file_status st = it->status(statusError);
            bool more = true;
            if (fs::is_directory(st))
                more = take({name, true});
            else if (fs::is_regular_file(st) && fileMatchesFilter(name))
                more = take({name, false});
            if (!more) return ScanEnd::Stopped;
        }
        it.increment(ec);
        if (ec) return ScanEnd::Unreadable;
    }
    return ScanEnd::Finished;
}

bool FileBrowser::listInto(const fs::path& path, std::vector<BrowserEntry>& out, std::string& note) const {
    out.clear();
    note.clear();
    std::vector<BrowserEntry> folders, files;
    const ScanEnd end = scanFolder(
        path, [](const std::string& name) { return !name.empty() && name[0] != '.'; },
        [&](BrowserEntry entry) {
            (entry.folder ? folders : files).push_back(std::move(entry));
            return folders.size() + files.size() < MAX_ENTRIES;
        });
    switch (end) {
        case ScanEnd::Unopened:
            return false;
        case ScanEnd::TooLarge:
            note = "Folder too large: not every entry is listed";
            break;
        case ScanEnd::Stopped:
            note = "Only the first " + std::to_string(MAX_ENTRIES) + " entries are listed";
            break;
        case ScanEnd::Unreadable:
            note = "Cannot read the whole folder";
            break;
        case ScanEnd::Finished:
            break;
    }
    auto byName = [](const BrowserEntry& a, const BrowserEntry& b) {
        return lessIgnoringCase(a.name, b.name);
    };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    if (path.has_relative_path()) out.push_back({"..", true});
    out.insert(out.end(), folders.begin(), folders.end());
    out.insert(out.end(), files.begin(), files.end());
    return true;
}

void FileBrowser::refresh() {
    const std::string keep = entries_.empty() ? "" : entries_[highlight_].name;
    folder_ = nearestExistingFolder(folder_);
    if (!listInto(folder_, entries_, listingNote_)) {
        entries_.clear();
        if (folder_.has_relative_path()) entries_.push_back({"..", true});
        listingNote_ = "Cannot read folder";
    }
    highlight_ = 0;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].name == keep) highlight_ = i;
}

bool FileBrowser::openFolder(const fs::path& path) {
    const fs::path target = normalFolder(path.is_absolute() ? path : folder_ / path);
    std::error_code ec;
    if (!fs::is_directory(target, ec)) {
        message_ = "No such folder";
        return false;
    }
    std::vector<BrowserEntry> listing;
    std::string note;
    if (!listInto(target, listing, note)) {
        message_ = "Cannot read folder";
        return false;
    }
    folder_ = target;
    entries_ = std::move(listing);
    listingNote_ = note;
    highlight_ = (entries_.size() > 1 && entries_[0].name == "..") ? 1 : 0;
    return true;
}

void FileBrowser::goToParent() {
    if (!folder_.has_relative_path()) return;
    const std::string child = folder_.filename().string();
    if (!openFolder(folder_.parent_path())) return;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].folder && entries_[i].name == child) highlight_ = i;
}

void FileBrowser::nextFilter() {
    if (filters_.size() < 2) return;
    filterIndex_ = (filterIndex_ + 1) % filters_.size();
    refresh();
}

void FileBrowser::insertChar(char c) {
    if (uint8_t(c) < 32 || uint8_t(c) > 126 || line_.size() >= MAX_LINE) return;
    line_.insert(line_.begin() + long(cursor_), c);
    ++cursor_;
}

void FileBrowser::moveCursor(int delta) {
    const long pos = std::clamp(long(cursor_) + delta, 0L, long(line_.size()));
    cursor_ = size_t(pos);
}

void FileBrowser::deleteBefore() {
    if (cursor_ == 0) return;
    line_.erase(cursor_ - 1, 1);
    --cursor_;
}

void FileBrowser::deleteAt() {
    if (cursor_ < line_.size()) line_.erase(cursor_, 1);
}

void FileBrowser::moveHighlight(int delta) {
    if (entries_.empty()) return;
    highlight_ = size_t(std::clamp(long(highlight_) + delta, 0L, long(entries_.size()) - 1));
}

fs::path FileBrowser::resolve(const std::string& typed) const {
    fs::path p;
    const char* home = std::getenv("HOME");
    if ((typed == "~" || typed.rfind("~/", 0) == 0) && home && *home) {
        p = fs::path(home) / typed.substr(typed.size() > 1 ? 2 : 1);
    } else {
        p = typed;
    }
    if (!p.is_absolute()) p = folder_ / p;
    return normalFolder(p);
}

void FileBrowser::complete() {
    if (line_.empty()) {
        if (entries_.empty()) return;
        const BrowserEntry& e = entries_[highlight_];
        line_ = e.folder ? e.name + "/" : e.name;
        cursor_ = line_.size();
        return;
    }
    const size_t slash = line_.rfind('/');
    const std::string dirPart = slash == std::string::npos ? "" : line_.substr(0, slash + 1);
    const std::string prefix = slash == std::string::npos ? line_ : line_.substr(slash + 1);
    const fs::path dir = dirPart.empty() ? folder_ : resolve(dirPart);

    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        message_ = "No such folder";
        return;
    }
    std::vector<BrowserEntry> matches;
    const bool hiddenWanted = !prefix.empty() && prefix[0] == '.';
    const ScanEnd end = scanFolder(
        dir,
        [&](const std::string& name) {
            return name.rfind(prefix, 0) == 0 && (hiddenWanted || name[0] != '.');
        },
        [&](BrowserEntry entry) {
            matches.push_back(std::move(entry));
            return true;
        });
    if (end == ScanEnd::Unopened) {
        message_ = "Cannot read folder";
        return;
    }
    if (matches.empty()) {
        message_ = "No match";
        return;
    }
    std::string completed;
    if (matches.size() == 1) {
        completed = matches[0].folder ? matches[0].name + "/" : matches[0].name;
    } else {
        completed = matches[0].name;
        for (const BrowserEntry& m : matches) {
            size_t n = 0;
            while (n < completed.size() && n < m.name.size() && completed[n] == m.name[n]) ++n;
            completed.resize(n);
        }
        if (completed.size() <= prefix.size()) message_ = std::to_string(matches.size()) + " matches";
    }
    if (dirPart.size() + completed.size() > MAX_LINE) return;
    line_ = dirPart + completed;
    cursor_ = line_.size();
}

std::optional<std::string> FileBrowser::enter() {
    std::error_code ec;
    if (line_.empty()) {
        if (entries_.empty()) {
            message_ = "Nothing to choose";
            return std::nullopt;
        }
        const BrowserEntry e = entries_[highlight_];
        if (e.name == "..") {
            goToParent();
            return std::nullopt;
        }
        if (e.folder) {
            openFolder(folder_ / e.name);
            return std::nullopt;
        }
        const fs::path p = folder_ / e.name;
        const fs::file_status st = fs::status(p, ec);
        if (mode_ == Mode::Open && !fs::exists(st)) {
            message_ = "No such file";
            return std::nullopt;
        }
        if (fs::exists(st) && !fs::is_regular_file(st)) {
            message_ = "Not a regular file";
            return std::nullopt;
        }
        return p.string();
    }

    const std::string typed = line_;
    fs::path p = resolve(typed);
    if (fs::is_directory(p, ec)) {
        if (openFolder(p)) line_.clear(), cursor_ = 0;
        return std::nullopt;
    }
    if (typed.back() == '/') {
        message_ = "No such folder";
        return std::nullopt;
    }
    const bool addExtension = !hasExtension(p) && !defaultExtension_.empty();
    if (mode_ == Mode::Open) {
        // The name as typed wins; the default extension is only a second guess.
        std::vector<fs::path> candidates{p};
        if (addExtension) candidates.push_back(fs::path(p.string() + "." + defaultExtension_));
        for (const fs::path& c : candidates) {
            const fs::file_status st = fs::status(c, ec);
            if (fs::is_regular_file(st)) return c.string();
            if (fs::exists(st)) {
                message_ = "Not a regular file";
                return std::nullopt;
            }
        }
        message_ = "No such file";
        return std::nullopt;
    }

    if (addExtension) p = fs::path(p.string() + "." + defaultExtension_);
    const fs::file_status st = fs::status(p, ec);
    if (fs::is_directory(st)) {
        if (openFolder(p)) line_.clear(), cursor_ = 0;
        return std::nullopt;
    }
    if (fs::exists(st) && !fs::is_regular_file(st)) {
        // Writing into a pipe or a device would block or scribble; only plain files are written.
        message_ = "Not a regular file";
        return std::nullopt;
    }
    if (!fs::is_directory(p.parent_path(), ec)) {
        message_ = "No such folder";
        return std::nullopt;
    }
    return p.string();
}

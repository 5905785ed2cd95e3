#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/KeyboardFileDialogs.h"
#include "app/RecordingCanvas.h"
#include "config/KeyNames.h"
#include "tests/app/Golden.h"

namespace fs = std::filesystem;

namespace {

// Hands out one event per pass of the dialog's loop, so every key is followed by a redraw; a Quit
// once the script is used up, so a dialog that never finishes cannot hang the test.
struct DialogHost : Host {
    std::deque<AppEvent> events;
    bool gap = false;
    int quitsSent = 0;
    uint32_t now = 5000;
    uint32_t ticks() const override { return now; }
    void delay(uint32_t ms) override { now += ms; }
    bool pollEvent(AppEvent& e) override {
        if ((gap = !gap) == false) return false;
        e = AppEvent{};
        if (events.empty()) return e.kind = AppEvent::Quit, ++quitsSent, true;
        e = events.front();
        events.pop_front();
        return true;
    }
    // Key down and up; plain characters carry themselves as the typed character.
    void key(uint32_t sym, uint16_t unicode = 0) {
        AppEvent e;
        e.key = KeyEvent{sym, 0, unicode, true};
        events.push_back(e);
        e.key = KeyEvent{sym, 0, 0, false};
        events.push_back(e);
    }
    void type(const std::string& s) {
        for (char c : s) key(uint8_t(c), uint8_t(c));
    }
};

const std::vector<FileFilter> SONG_FILTER = {{"Songs (*.zcm)", "*.zcm"}, {"All files (*.*)", "*.*"}};

struct Tree {
    fs::path root;
    Tree() {
        // Memory-backed when available: one test makes ten thousand files.
        std::error_code ec;
        std::string name =
            (fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path()) /
            "bf_dialog_XXXXXX";
        root = mkdtemp(name.data());
        fs::permissions(root, fs::perms(0755));
        for (const char* d : {"Alpha", "beta", "music", ".hidden"}) fs::create_directory(root / d);
        for (const char* f : {"song.zcm", "songbook.zcm", "Zebra.ZCM", "apple.zcm", "notes.txt",
                              ".secret.zcm", "tune", "tune.zcm", "Alpha/inner.zcm"})
            std::ofstream(root / f) << "x";
        fs::create_symlink(root / "gone.zcm", root / "broken.zcm");
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string at(const std::string& rel) const { return (root / rel).string(); }
};

struct DialogRig {
    Tree tree;
    RecordingCanvas canvas;
    DialogHost host;
    int quits = 0;
    KeyboardFileDialogs dialogs{canvas, host, [this] { ++quits; }};
    DialogRig() { startIn(""); }
    void startIn(const std::string& folder) { dialogs.noteFileUsed((tree.root / folder / "x").string()); }
    std::optional<std::string> open() { return dialogs.askOpenPath(SONG_FILTER, "zcm"); }
    std::optional<std::string> save() { return dialogs.askSavePath(SONG_FILTER, "zcm"); }
};

// The listing as "../ Alpha/ song.zcm".
std::string names(const FileBrowser& b) {
    std::string out;
    for (const BrowserEntry& e : b.entries()) out += " " + e.name + (e.folder ? "/" : "");
    return out.erase(0, 1);
}

}  // namespace

TEST(FileDialog, ListingSortsFoldersFirstAndFollowsTheSelectedFilter) {
    Tree t;
    FileBrowser b(FileBrowser::Mode::Open, SONG_FILTER, "zcm", t.root);
    // Hidden names and the broken link are left out.
    EXPECT_EQ(names(b), "../ Alpha/ beta/ music/ apple.zcm song.zcm songbook.zcm tune.zcm Zebra.ZCM");
    EXPECT_EQ(b.entries()[b.highlight()].name, "Alpha");  // the first entry below ".."
    b.moveHighlight(2);
    b.nextFilter();  // keeps the highlighted folder
    EXPECT_EQ(b.entries()[b.highlight()].name, "music");
    EXPECT_EQ(names(b),
              "../ Alpha/ beta/ music/ apple.zcm notes.txt song.zcm songbook.zcm tune tune.zcm Zebra.ZCM");
    b.nextFilter();
    EXPECT_EQ(b.filterIndex(), 0u);

    expectTable("app/filter_patterns", [](const std::string& in) {
        const size_t bar = in.find('|');
        return matchesFilterPattern(in.substr(0, bar), in.substr(bar + 1)) ? "match" : "no match";
    });
    EXPECT_EQ(printableName(std::string("a\x01\xff~ z", 6)), "a??~ z");
    EXPECT_EQ(cutFromLeft("/very/long/path", 10), "...ng/path");
}

TEST(FileDialog, TabCompletesTheLastComponent) {
    Tree t;
    FileBrowser b(FileBrowser::Mode::Open, SONG_FILTER, "zcm", t.root);
    const std::string root = t.root.string();
    expectTable("app/tab_completion", [&](std::string typed) {
        while (!b.line().empty()) b.deleteBefore();
        b.clearMessage();
        if (typed.starts_with("ROOT")) typed.replace(0, 4, root);
        for (char c : typed) b.insertChar(c);
        b.complete();
        const size_t cursor = b.cursor();
        std::string out = b.line() + (cursor == b.line().size() ? "" : " cursor " + std::to_string(cursor));
        if (!b.message().empty()) out += ", says " + b.message();
        if (out.starts_with(root)) out.replace(0, root.size(), "ROOT");
        return out;
    });
}

// "open|save FOLDER SCRIPT": the dialog started in FOLDER, SCRIPT (text typed as it is, <KEY> a key
// by its SDLK_ name, <drop NAME> a file dropped, <quit> the window closed; ROOT the tree, which is
// also home), then Enter and Escape. The file chosen (relative to the tree) or "none", the
// refusals drawn and the quits passed on.
TEST(FileDialog, ScriptsAsChosenOrRefused) {
    DialogRig rig;
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", rig.tree.root.c_str(), 1);
    expectTable("app/dialog_typed", [&](const std::string& in) {
        std::istringstream f(in);
        std::string kind, folder, script;
        f >> kind >> folder >> std::ws;
        std::getline(f, script);
        if (const size_t at = script.find("ROOT"); at != std::string::npos)
            script.replace(at, 4, rig.tree.root.string());
        rig.startIn(folder == "." ? "" : folder);
        rig.host.events.clear();
        rig.quits = 0;
        for (size_t at = 0; at < script.size();) {
            const size_t end = script.find('>', at);
            if (script[at] != '<' || end == std::string::npos) {
                rig.host.type(script.substr(at++, 1));
                continue;
            }
            const std::string word = script.substr(at + 1, end - at - 1);
            at = end + 1;
            AppEvent e;
            if (word == "quit") {
                e.kind = AppEvent::Quit;
            } else if (word.starts_with("drop ")) {
                e.kind = AppEvent::FileDrop;
                e.path = rig.tree.at(word.substr(5));
            } else {
                rig.host.key(keyNameTable().at("SDLK_" + word));
                continue;
            }
            rig.host.events.push_back(e);
        }
        rig.host.key(keysym::RETURN);
        rig.host.key(keysym::ESCAPE);
        const std::optional<std::string> got = kind == "open" ? rig.open() : rig.save();
        std::string out = got ? fs::path(*got).lexically_relative(rig.tree.root).string() : "none";
        if (got && rig.dialogs.startFolder() != fs::path(*got).parent_path())
            out += ", next starts elsewhere";
        for (const char* m : {"No such file", "No such folder", "Not a regular file"})
            if (rig.canvas.findText(m)) out += ", says " + std::string(m);
        if (rig.quits) out += ", quits " + std::to_string(rig.quits);
        return out;
    });
    oldHome ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
    EXPECT_EQ(rig.host.quitsSent, 0);
}

TEST(FileDialog, StartsInTheFolderOfTheLastFileOrTheWorkingFolder) {
    DialogRig rig;
    const Tree& t = rig.tree;
    KeyboardFileDialogs& dialogs = rig.dialogs;
    EXPECT_EQ(KeyboardFileDialogs(rig.canvas, rig.host, nullptr).startFolder(), fs::current_path());
    dialogs.noteFileUsed(t.at("music/deep/gone/x.zcm"));  // deleted meanwhile: nearest parent
    EXPECT_EQ(dialogs.startFolder(), t.root / "music");

    const fs::path old = fs::current_path();
    fs::current_path(t.root / "beta");
    dialogs.noteFileUsed("../Alpha/inner.zcm");  // relative to the working folder
    fs::current_path(old);
    EXPECT_EQ(dialogs.startFolder(), t.root / "Alpha");

    fs::create_directories(t.root / "doomed/sub");
    FileBrowser b(FileBrowser::Mode::Open, SONG_FILTER, "zcm", t.root / "doomed/sub");
    fs::remove_all(t.root / "doomed");
    b.refresh();
    EXPECT_EQ(b.folder(), t.root);
}

TEST(FileDialog, UnreadableFolderKeepsTheCurrentOne) {
    Tree t;
    fs::create_directory(t.root / "locked");
    fs::permissions(t.root / "locked", fs::perms::none);
    auto check = [&] {
        FileBrowser b(FileBrowser::Mode::Open, SONG_FILTER, "zcm", t.root);
        bool ok =
            !b.openFolder(t.root / "locked") && b.message() == "Cannot read folder" && b.folder() == t.root;
        FileBrowser inside(FileBrowser::Mode::Open, SONG_FILTER, "zcm", t.root / "locked");
        ok = ok && inside.listingNote() == "Cannot read folder" && names(inside) == "../";
        inside.enter();  // ".." still leads out
        return ok && inside.folder() == t.root;
    };
    // Root reads every folder, so the check runs in a child process that gives up the capabilities
    // that bypass permission bits (for other users there are none to give up). It keeps its user:
    // another one would also need every folder on the way to the test tree to let it through.
    const pid_t pid = fork();
    if (pid == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2]{};
        if (syscall(SYS_capget, &header, caps) != 0) _exit(2);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            caps[cap / 32].effective &= ~(1u << (cap % 32));
        if (syscall(SYS_capset, &header, caps) != 0) _exit(2);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_NE(WEXITSTATUS(status), 2) << "could not drop the permission-bypassing capabilities";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the locked folder was read or not reported";
    fs::permissions(t.root / "locked", fs::perms(0755));
}

TEST(FileDialog, DrawsThePathLineAndAScrolledListingInsideTheWindow) {
    DialogRig rig;
    std::ofstream(rig.tree.root / std::string("odd\x01\xff.zcm")) << "x";
    for (int i = 0; i < 40; ++i)
        std::ofstream(rig.tree.root / ("f" + std::to_string(100 + i) + ".zcm")) << "x";
    rig.host.key(keysym::END);  // empty line: to the last entry, scrolling the listing
    rig.host.type("so");
    rig.host.key(keysym::ESCAPE);
    rig.open();
    // Kept whole: the typed line and its cursor block, the last entry on the listing's last line,
    // unprintable bytes shown as '?', every text inside the window.
    std::string out;
    for (std::string l : drawnLines(rig.canvas)) {
        for (size_t at; (at = l.find(rig.tree.root.string())) != std::string::npos;)
            l.replace(at, rig.tree.root.string().size(), "ROOT");
        out += l + "\n";
    }
    expectTestData("app/file_dialog_drawn.txt", out);
}

TEST(FileDialog, HugeFolderIsCutAndSaysSo) {
    Tree t;
    for (size_t i = 0; i < FileBrowser::MAX_ENTRIES + 5; ++i)
        close(open((t.root / "music" / std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644));
    FileBrowser b(FileBrowser::Mode::Save, {}, "", t.root / "music");
    EXPECT_EQ(b.entries().size(), FileBrowser::MAX_ENTRIES + 1);  // and ".."
    EXPECT_EQ(b.listingNote(), "Only the first 10000 entries are listed");
    b.highlightLast();
    EXPECT_EQ(b.highlight(), FileBrowser::MAX_ENTRIES);
}

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "app/KeyboardFileDialogs.h"
#include "tests/app/EditorRig.h"
#include "tests/app/Golden.h"

namespace fs = std::filesystem;

namespace {

// Hands out one event per pass of the dialog's loop, so every key is followed by a redraw; a Quit
// once the script is used up, so a dialog that never finishes cannot hang the test.
struct DialogHost : FixedHost {
    bool gap = false;
    int quitsSent = 0;
    bool pollEvent(AppEvent& e) override {
        if ((gap = !gap) == false) return false;
        e = AppEvent{};
        if (events.empty()) return e.kind = AppEvent::Quit, ++quitsSent, true;
        return FixedHost::pollEvent(e);
    }
};

const std::vector<FileFilter> SONG_FILTER = {{"Songs (*.zcm)", "*.zcm"}, {"All files (*.*)", "*.*"}};

// A tree of folders and files of its own, with a dialog starting in it.
class FileDialog : public testing::Test {
  protected:
    TempDir tree;
    fs::path root = tree.dir;
    RecordingCanvas canvas;
    DialogHost host;
    int quits = 0;
    KeyboardFileDialogs dialogs{canvas, host, [this] { ++quits; }};

    FileDialog() {
        fs::permissions(root, fs::perms(0755));
        for (const char* d : {"Alpha", "beta", "music", ".hidden"}) fs::create_directory(root / d);
        for (const char* f : {"song.zcm", "songbook.zcm", "Zebra.ZCM", "apple.zcm", "notes.txt",
                              ".secret.zcm", "tune", "tune.zcm", "Alpha/inner.zcm"})
            std::ofstream(root / f) << "x";
        fs::create_symlink(root / "gone.zcm", root / "broken.zcm");
        startIn("");
    }
    std::string at(const std::string& rel) const { return (root / rel).string(); }
    FileBrowser browse(const fs::path& folder) {
        return FileBrowser(FileBrowser::Mode::Open, SONG_FILTER, "zcm", folder);
    }
    // The text with the tree's folder named ROOT.
    std::string unrooted(const std::string& text) const { return replaceAll(text, root.string(), "ROOT"); }
    void startIn(const std::string& folder) { dialogs.noteFileUsed((root / folder / "x").string()); }
    std::optional<std::string> askOpen() { return dialogs.askOpenPath(SONG_FILTER, "zcm"); }
    // Text typed as it is (each character its key and the typed character), <KEY> a key by its SDLK_
    // name, <drop NAME> a file dropped, <quit> the window closed.
    void play(const std::string& script) {
        for (size_t i = 0; i < script.size();) {
            const size_t end = script[i] == '<' ? script.find('>', i) : std::string::npos;
            const bool named = end != std::string::npos;
            const std::string word = named ? script.substr(i + 1, end - i - 1) : "";
            const uint32_t sym = named ? 0 : uint8_t(script[i]);
            i = named ? end + 1 : i + 1;
            if (word == "quit" || word.starts_with("drop ")) {
                host.events.push_back(word == "quit" ? AppEvent{AppEvent::Quit, {}, {}}
                                                     : AppEvent{AppEvent::FileDrop, {}, at(word.substr(5))});
                continue;
            }
            const KeyEvent key{named ? keyNameTable().at("SDLK_" + word) : sym, 0, uint16_t(sym), true};
            host.events.push_back(AppEvent{AppEvent::Key, key, {}});
            host.events.push_back(AppEvent{AppEvent::Key, KeyEvent{key.sym, 0, 0, false}, {}});
        }
    }
};

// The listing as "../ Alpha/ song.zcm".
std::string names(const FileBrowser& b) {
    std::string out;
    for (const BrowserEntry& e : b.entries()) out += " " + e.name + (e.folder ? "/" : "");
    return out.erase(0, 1);
}

}  // namespace

TEST_F(FileDialog, ListingSortsFoldersFirstFollowsTheSelectedFilterAndIsCut) {
    FileBrowser b = browse(root);
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

    // A huge folder is cut and says so.
    for (size_t i = 0; i < FileBrowser::MAX_ENTRIES + 5; ++i)
        close(::open((root / "music" / std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644));
    FileBrowser huge(FileBrowser::Mode::Save, {}, "", root / "music");
    EXPECT_EQ(huge.entries().size(), FileBrowser::MAX_ENTRIES + 1);  // and ".."
    EXPECT_EQ(huge.listingNote(), "Only the first 10000 entries are listed");
    huge.highlightLast();
    EXPECT_EQ(huge.highlight(), FileBrowser::MAX_ENTRIES);
}

TEST_F(FileDialog, TabCompletesTheLastComponent) {
    FileBrowser b = browse(root);
    expectTable("app/tab_completion", [&](std::string typed) {
        while (!b.line().empty()) b.deleteBefore();
        b.clearMessage();
        if (typed.starts_with("ROOT")) typed.replace(0, 4, root.string());
        for (char c : typed) b.insertChar(c);
        b.complete();
        const size_t cursor = b.cursor();
        std::string out = b.line() + (cursor == b.line().size() ? "" : " cursor " + std::to_string(cursor));
        return unrooted(b.message().empty() ? out : out + ", says " + b.message());
    });
}

// The dialog started in FOLDER, SCRIPT as play() takes it (ROOT the tree, which is also home), then
// Enter and Escape.
TEST_F(FileDialog, ScriptsAsChosenOrRefused) {
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", root.c_str(), 1);
    expectTable("app/dialog_typed", [&](const std::string& in) {
        std::istringstream f(in);
        std::string kind, folder, script;
        f >> kind >> folder >> std::ws;
        std::getline(f, script);
        if (const size_t i = script.find("ROOT"); i != std::string::npos) script.replace(i, 4, root.string());
        startIn(folder == "." ? "" : folder);
        host.events.clear();
        quits = 0;
        play(script + "<RETURN><ESCAPE>");
        const auto got = kind == "open" ? askOpen() : dialogs.askSavePath(SONG_FILTER, "zcm");
        std::string out = got ? fs::path(*got).lexically_relative(root).string() : "none";
        if (got && dialogs.startFolder() != fs::path(*got).parent_path()) out += ", next starts elsewhere";
        for (const char* m : {"No such file", "No such folder", "Not a regular file"})
            if (canvas.findText(m)) out += ", says " + std::string(m);
        if (quits) out += ", quits " + std::to_string(quits);
        return out;
    });
    oldHome ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
    EXPECT_EQ(host.quitsSent, 0);
}

TEST_F(FileDialog, StartsInTheFolderOfTheLastFileOrTheWorkingFolder) {
    EXPECT_EQ(KeyboardFileDialogs(canvas, host, nullptr).startFolder(), fs::current_path());
    dialogs.noteFileUsed(at("music/deep/gone/x.zcm"));  // deleted meanwhile: nearest parent
    EXPECT_EQ(dialogs.startFolder(), root / "music");

    const fs::path old = fs::current_path();
    fs::current_path(root / "beta");
    dialogs.noteFileUsed("../Alpha/inner.zcm");  // relative to the working folder
    fs::current_path(old);
    EXPECT_EQ(dialogs.startFolder(), root / "Alpha");

    fs::create_directories(root / "doomed/sub");
    FileBrowser b = browse(root / "doomed/sub");
    fs::remove_all(root / "doomed");
    b.refresh();
    EXPECT_EQ(b.folder(), root);
}

TEST_F(FileDialog, UnreadableFolderKeepsTheCurrentOne) {
    fs::create_directory(root / "locked");
    fs::permissions(root / "locked", fs::perms::none);
    auto check = [&] {
        FileBrowser b = browse(root);
        bool ok = !b.openFolder(root / "locked") && b.message() == "Cannot read folder" && b.folder() == root;
        FileBrowser inside = browse(root / "locked");
        ok = ok && inside.listingNote() == "Cannot read folder" && names(inside) == "../";
        inside.enter();  // ".." still leads out
        return ok && inside.folder() == root;
    };
    // Root reads every folder: the check runs in a child that gives up the capabilities bypassing
    // permission bits but keeps its user (another would need every folder on the way to let it in).
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
    fs::permissions(root / "locked", fs::perms(0755));
}

TEST_F(FileDialog, DrawsThePathLineAndAScrolledListingInsideTheWindow) {
    std::ofstream(root / std::string("odd\x01\xff.zcm")) << "x";
    for (int i = 0; i < 40; ++i) std::ofstream(root / ("f" + std::to_string(100 + i) + ".zcm")) << "x";
    play("<END>so<ESCAPE>");  // End on an empty line: to the last entry, scrolling the listing
    askOpen();
    // Kept whole: the typed line and its cursor block, the last entry on the listing's last line,
    // unprintable bytes shown as '?', every text inside the window.
    std::string out;
    for (const std::string& l : drawnLines(canvas)) out += unrooted(l) + "\n";
    expectTestData("app/file_dialog_drawn.txt", out);
}

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>

#include "app/KeyboardFileDialogs.h"
#include "app/RecordingCanvas.h"
#include "config/KeyNames.h"

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
    bool pollEvent(AppEvent& e) override {
        if ((gap = !gap) == false) return false;
        if (events.empty()) {
            e = AppEvent{};
            e.kind = AppEvent::Quit;
            ++quitsSent;
            return true;
        }
        e = events.front();
        events.pop_front();
        return true;
    }
    void delay(uint32_t ms) override { now += ms; }

    void key(uint32_t sym, uint16_t unicode = 0) {
        AppEvent e;
        e.key.sym = sym;
        e.key.unicode = unicode;
        e.key.pressed = true;
        events.push_back(e);
        e.key.pressed = false;
        e.key.unicode = 0;
        events.push_back(e);
    }
    void type(const std::string& s) {
        for (char c : s) key(uint32_t(uint8_t(c)), uint16_t(uint8_t(c)));
    }
};

const std::vector<FileFilter> SONG_FILTER = {{"Songs (*.zcm)", "*.zcm"}, {"All files (*.*)", "*.*"}};

struct Tree {
    fs::path root;
    Tree() {
        char name[] = "/tmp/bf_dialog_XXXXXX";
        root = mkdtemp(name);
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
    DialogRig() { dialogs.noteFileUsed(tree.at("any.zcm")); }
    std::optional<std::string> open() { return dialogs.askOpenPath(SONG_FILTER, "zcm"); }
    std::optional<std::string> save() { return dialogs.askSavePath(SONG_FILTER, "zcm"); }
};

std::vector<std::string> names(const FileBrowser& b) {
    std::vector<std::string> out;
    for (const BrowserEntry& e : b.entries()) out.push_back(e.name + (e.folder ? "/" : ""));
    return out;
}

}  // namespace

TEST(FileDialog, ListingSortsFoldersFirstAndFollowsTheSelectedFilter) {
    Tree t;
    FileBrowser b(FileBrowser::Mode::Open, SONG_FILTER, "zcm", t.root);
    EXPECT_EQ(names(b), (std::vector<std::string>{"../", "Alpha/", "beta/", "music/", "apple.zcm", "song.zcm",
                                                  "songbook.zcm", "tune.zcm", "Zebra.ZCM"}));
    EXPECT_EQ(b.entries()[b.highlight()].name, "Alpha");  // the first entry below ".."
    b.moveHighlight(2);
    b.nextFilter();  // keeps the highlighted folder
    EXPECT_EQ(b.entries()[b.highlight()].name, "music");
    EXPECT_EQ(names(b),
              (std::vector<std::string>{"../", "Alpha/", "beta/", "music/", "apple.zcm", "notes.txt",
                                        "song.zcm", "songbook.zcm", "tune", "tune.zcm", "Zebra.ZCM"}));
    b.nextFilter();
    EXPECT_EQ(b.filterIndex(), 0u);

    EXPECT_TRUE(matchesFilterPattern("SONG.ZCM", "*.zcm"));
    EXPECT_TRUE(matchesFilterPattern("noext", "*.*"));
    EXPECT_TRUE(matchesFilterPattern("a.ogg", "*.wav; *.ogg"));
    EXPECT_TRUE(matchesFilterPattern("ab.x", "a?.x"));
    EXPECT_FALSE(matchesFilterPattern("song.zcm.bak", "*.zcm"));
    EXPECT_FALSE(matchesFilterPattern("zcm", "*.zcm"));
    EXPECT_EQ(printableName(std::string("a\x01\xff~ z", 6)), "a??~ z");
    EXPECT_EQ(cutFromLeft("/very/long/path", 10), "...ng/path");
    EXPECT_EQ(cutFromLeft("short", 10), "short");
}

TEST(FileDialog, TabCompletesTheLastComponent) {
    Tree t;
    FileBrowser b(FileBrowser::Mode::Open, SONG_FILTER, "zcm", t.root);
    auto completed = [&](const std::string& typed) {
        while (!b.line().empty()) b.deleteBefore();
        b.clearMessage();
        for (char c : typed) b.insertChar(c);
        b.complete();
        return b.line();
    };
    EXPECT_EQ(completed("so"), "song");  // song.zcm and songbook.zcm share "song"
    EXPECT_EQ(completed("mu"), "music/");
    EXPECT_EQ(completed("Alpha/in"), "Alpha/inner.zcm");
    EXPECT_EQ(completed(t.at("be")), t.at("beta/"));
    EXPECT_EQ(completed("no"), "no");  // notes.txt is not a song
    EXPECT_EQ(b.message(), "No match");
    EXPECT_EQ(completed("missing/x"), "missing/x");
    EXPECT_EQ(b.message(), "No such folder");
    EXPECT_EQ(completed(".sec"), ".secret.zcm");  // hidden names only when asked for
    EXPECT_EQ(b.cursor(), b.line().size());

    while (!b.line().empty()) b.deleteBefore();
    b.complete();  // empty line: the highlighted entry
    EXPECT_EQ(b.line(), "Alpha/");
}

TEST(FileDialog, OpenWalksFoldersAndChoosesExistingFiles) {
    DialogRig rig;
    // The highlight starts on Alpha: Enter opens it, Backspace comes back with Alpha highlighted,
    // Enter opens it again and its file (below "..") is chosen.
    rig.host.key(keysym::RETURN);
    rig.host.key(keysym::BACKSPACE);
    rig.host.key(keysym::RETURN);
    rig.host.key(keysym::DOWN);  // already on the last entry
    rig.host.key(keysym::RETURN);
    EXPECT_EQ(rig.open(), rig.tree.at("Alpha/inner.zcm"));
    EXPECT_EQ(rig.dialogs.startFolder(), rig.tree.root / "Alpha");

    struct Case {
        std::string typed;
        std::string expected;
    } cases[] = {
        {"../apple", "apple.zcm"},      // default extension added: "apple" does not exist
        {"../tune", "tune"},            // the name as typed exists
        {"../Zebra.ZCM", "Zebra.ZCM"},  // has an extension already
        {"inner.zcm", "Alpha/inner.zcm"},
    };
    for (const Case& c : cases) {
        rig.dialogs.noteFileUsed(rig.tree.at("Alpha/x"));
        rig.host.type(c.typed);
        rig.host.key(keysym::RETURN);
        EXPECT_EQ(rig.open(), rig.tree.at(c.expected)) << c.typed;
    }

    // A typed folder opens and clears the line; an absolute path to a file is chosen.
    rig.host.type(rig.tree.at("beta"));
    rig.host.key(keysym::RETURN);
    rig.host.key(keysym::BACKSPACE);  // empty line again: to the parent
    rig.host.type("song.zcm");
    rig.host.key(keysym::RETURN);
    EXPECT_EQ(rig.open(), rig.tree.at("song.zcm"));

    // "~/" starts at the home folder.
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", rig.tree.root.c_str(), 1);
    rig.host.type("~/music/../tune.zcm");
    rig.host.key(keysym::RETURN);
    EXPECT_EQ(rig.open(), rig.tree.at("tune.zcm"));
    oldHome ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
    EXPECT_EQ(rig.quits, 0);
    EXPECT_EQ(rig.host.quitsSent, 0);
}

TEST(FileDialog, OpenRefusesWhatIsNotAnExistingFile) {
    DialogRig rig;
    struct Case {
        std::string typed;
        std::string message;
    } cases[] = {
        {"missing", "No such file"},
        {"broken.zcm", "No such file"},
        {"nowhere/", "No such folder"},
        {"/dev/null", "Not a regular file"},
    };
    int quits = 0;
    for (const Case& c : cases) {
        // The script ends after Enter: the dialog must still be open, showing why, when the
        // window closes.
        rig.host.type(c.typed);
        rig.host.key(keysym::RETURN);
        EXPECT_EQ(rig.open(), std::nullopt) << c.typed;
        EXPECT_EQ(rig.quits, ++quits);
        EXPECT_NE(rig.canvas.findText(c.message), nullptr) << c.typed;
    }
}

TEST(FileDialog, SaveAcceptsNewNamesInExistingFolders) {
    DialogRig rig;
    struct Case {
        std::string typed;
        std::optional<std::string> expected;
    } cases[] = {
        {"newsong", "newsong.zcm"},  // default extension
        {"new.txt", "new.txt"},
        {"tune", "tune.zcm"},      // no extension: added even though "tune" exists
        {"song.zcm", "song.zcm"},  // existing file, no question asked
        {"beta/fresh", "beta/fresh.zcm"},
        {"nofolder/x", std::nullopt},
    };
    for (const Case& c : cases) {
        rig.dialogs.noteFileUsed(rig.tree.at("x"));
        rig.host.type(c.typed);
        rig.host.key(keysym::RETURN);
        rig.host.key(keysym::ESCAPE);
        auto got = rig.save();
        EXPECT_EQ(got, c.expected ? std::optional(rig.tree.at(*c.expected)) : std::nullopt) << c.typed;
        rig.host.events.clear();
    }
    EXPECT_NE(rig.canvas.findText("No such folder"), nullptr);

    // A highlighted file is chosen as it is, without the default extension.
    rig.dialogs.noteFileUsed(rig.tree.at("x"));
    rig.host.key(keysym::F1 + 1);  // all files
    rig.host.key(keysym::END);     // last entry: Zebra.ZCM
    rig.host.key(keysym::UP);      // tune.zcm
    rig.host.key(keysym::UP);      // tune
    rig.host.key(keysym::RETURN);
    EXPECT_EQ(rig.save(), rig.tree.at("tune"));
}

TEST(FileDialog, LineEditingKeys) {
    DialogRig rig;
    rig.host.type("sng.zcm");
    rig.host.key(keysym::HOME);
    rig.host.key(keysym::RIGHT);
    rig.host.type("o");  // "song.zcm"
    rig.host.key(keysym::END);
    rig.host.type("xx");
    rig.host.key(keysym::BACKSPACE);
    rig.host.key(keysym::LEFT);
    rig.host.key(keysym::DELETE);  // "song.zcm"
    rig.host.key(keysym::TAB);     // a unique file: completes to itself
    rig.host.key(keysym::RETURN);
    EXPECT_EQ(rig.open(), rig.tree.at("song.zcm"));
}

TEST(FileDialog, EscapeAndQuitCancel) {
    DialogRig rig;
    AppEvent drop;
    drop.kind = AppEvent::FileDrop;
    drop.path = rig.tree.at("song.zcm");
    rig.host.events.push_back(drop);  // ignored while the dialog is open
    rig.host.key(keysym::ESCAPE);
    EXPECT_EQ(rig.open(), std::nullopt);
    EXPECT_EQ(rig.quits, 0);

    AppEvent quit;
    quit.kind = AppEvent::Quit;
    rig.host.events.push_back(quit);
    rig.host.key(keysym::RETURN);  // never reached
    EXPECT_EQ(rig.save(), std::nullopt);
    EXPECT_EQ(rig.quits, 1);
    EXPECT_EQ(rig.host.quitsSent, 0);
}

TEST(FileDialog, StartsInTheFolderOfTheLastFileOrTheWorkingFolder) {
    Tree t;
    RecordingCanvas canvas;
    DialogHost host;
    KeyboardFileDialogs dialogs(canvas, host, nullptr);
    EXPECT_EQ(dialogs.startFolder(), fs::current_path());
    dialogs.noteFileUsed(t.at("music/deep/gone/x.zcm"));  // deleted meanwhile: nearest parent
    EXPECT_EQ(dialogs.startFolder(), t.root / "music");

    const fs::path old = fs::current_path();
    fs::current_path(t.root / "beta");
    dialogs.noteFileUsed("../Alpha/inner.zcm");
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
    std::ofstream(t.root / "locked/in.zcm") << "x";
    fs::permissions(t.root / "locked", fs::perms::none);
    auto check = [&] {
        FileBrowser b(FileBrowser::Mode::Open, SONG_FILTER, "zcm", t.root);
        bool ok =
            !b.openFolder(t.root / "locked") && b.message() == "Cannot read folder" && b.folder() == t.root;
        FileBrowser inside(FileBrowser::Mode::Open, SONG_FILTER, "zcm", t.root / "locked");
        ok = ok && inside.listingNote() == "Cannot read folder" &&
             names(inside) == std::vector<std::string>{"../"};
        inside.enter();  // ".." still leads out
        return ok && inside.folder() == t.root;
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(check());
    } else {
        // Root reads every folder, so the check runs as an unprivileged user in a child process.
        const pid_t pid = fork();
        if (pid == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
            _exit(check() ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    fs::permissions(t.root / "locked", fs::perms(0755));
}

TEST(FileDialog, DrawsThePathLineAndTheListingInsideTheWindow) {
    DialogRig rig;
    std::ofstream(rig.tree.root / std::string("odd\x01\xff.zcm")) << "x";
    rig.host.type("so");
    rig.host.key(keysym::ESCAPE);
    rig.open();
    const int W = GLYPH_WIDTH, L = LINE_HEIGHT;
    ASSERT_FALSE(rig.canvas.ops.empty());
    EXPECT_EQ(rig.canvas.ops.front().kind, DrawOp::Begin);
    EXPECT_EQ(rig.canvas.ops.back().kind, DrawOp::End);
    EXPECT_NE(rig.canvas.findText("Open file"), nullptr);
    const DrawOp* line = rig.canvas.findText("so");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->y, 2 * L);
    // The cursor block stands after the two typed characters.
    bool cursorShown = false;
    for (const DrawOp* op : rig.canvas.ofKind(DrawOp::Fill))
        cursorShown |= op->y == 2 * L && op->x == line->x + 2 * W && op->width == W;
    EXPECT_TRUE(cursorShown);
    EXPECT_NE(rig.canvas.findText("Alpha/"), nullptr);
    EXPECT_NE(rig.canvas.findText("odd??.zcm"), nullptr);
    EXPECT_NE(rig.canvas.findText("Songs (*.zcm)"), nullptr);
    for (const DrawOp* op : rig.canvas.ofKind(DrawOp::Text))
        EXPECT_LE(op->x + int(op->text.size()) * W, WINDOW_WIDTH - 10) << op->text;
}

TEST(FileDialog, ListingScrollsToKeepTheHighlightInView) {
    DialogRig rig;
    for (int i = 0; i < 60; ++i)
        std::ofstream(rig.tree.root / ("f" + std::to_string(100 + i) + ".zcm")) << "x";
    rig.host.key(keysym::END);
    rig.host.key(keysym::ESCAPE);
    rig.open();
    // The last entry is drawn on the listing's last line, the first ones are scrolled away.
    const int lastLine = (4 + KeyboardFileDialogs::LISTING_LINES - 1) * LINE_HEIGHT;
    const DrawOp* zebra = rig.canvas.findText("Zebra.ZCM");
    ASSERT_NE(zebra, nullptr);
    EXPECT_EQ(zebra->y, lastLine);
    EXPECT_EQ(rig.canvas.findText("Alpha/"), nullptr);
}

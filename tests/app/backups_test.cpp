// Rolling backups, recovery copies and the unsaved-changes mark of the window title.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "EditorRig.h"
#include "app/Backups.h"
#include "song/SongFile.h"

namespace {

namespace fs = std::filesystem;

}  // namespace

TEST(Backups, FolderNameAndSongName) {
    EXPECT_EQ(backupDirectory("/state", "/home/u"), "/state/bleepforge/backups");
    EXPECT_EQ(backupDirectory("relative", "/home/u"), "/home/u/.local/state/bleepforge/backups");
    EXPECT_EQ(backupDirectory(nullptr, "/home/u"), "/home/u/.local/state/bleepforge/backups");
    EXPECT_EQ(backupDirectory(nullptr, nullptr), "");
    EXPECT_EQ(backupSongName("/music/tune.zcm"), "tune");
    EXPECT_EQ(backupSongName(""), "untitled");
    EXPECT_EQ(backupSongName("/m/a\tb.zcm"), "a_b");
}

TEST(Backups, NewestFiftyKeptListedNewestFirstOtherFilesUntouched) {
    TempDir dir;
    std::ofstream(dir.dir / "notes.txt") << "mine";
    std::time_t t = 1700000000;
    std::string first;
    for (int i = 0; i < ROLLING_BACKUP_COUNT + 5; ++i) {
        // Two copies in each second: the second one must not replace the first.
        const std::string p =
            writeRollingBackup(dir.path(), "tune", std::vector<uint8_t>(size_t(i + 1), 7), t + i / 2);
        ASSERT_FALSE(p.empty());
        if (i == 0) first = p;
    }
    const std::vector<BackupEntry> list = listBackups(dir.path());
    ASSERT_EQ(list.size(), size_t(ROLLING_BACKUP_COUNT));
    EXPECT_EQ(list.front().size, uint64_t(ROLLING_BACKUP_COUNT + 5));  // the newest
    EXPECT_EQ(list.back().size, 6u);
    EXPECT_EQ(list.front().songName, "tune");
    EXPECT_EQ(list[1].path.substr(list[1].path.size() - 6), "-2.zcm");  // the second in its second
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(dir.dir / "notes.txt"));
    // A folder that cannot be made is a failed write, not a crash.
    EXPECT_EQ(writeRollingBackup(dir.path("notes.txt") + "/sub", "tune", {1}, t), "");
}

TEST(Backups, TitleMarksUnsavedChangesRollingCopyOnlyWhenChanged) {
    TempDir dir;
    EditorRig r;
    r.program->backupDirectory = dir.path("backups");
    r.program->backupPath = dir.path("backup.zcm");
    r.program->backupIntervalMs = 100;
    const std::string setting = r.settings.windowTitle;
    EXPECT_EQ(r.program->windowTitle(), setting);
    r.edit.record = true;
    r.press("SDLK_q");
    EXPECT_EQ(r.program->windowTitle(), setting + " *");
    auto copies = [&] { return listBackups(dir.path("backups")).size(); };
    r.program->backupIfDue(r.host.now);
    EXPECT_EQ(copies(), 1u);
    r.host.now += 1000;
    r.program->backupIfDue(r.host.now);  // nothing changed since
    EXPECT_EQ(copies(), 1u);
    EXPECT_TRUE(fs::exists(dir.dir / "backup.zcm"));  // the interval backup as always

    // An unwritable folder: one status, the program carries on, and the next change retries.
    r.program->backupDirectory = dir.path("backup.zcm") + "/no";
    int shown = 0;
    r.program->statusObserver = [&](const std::string& s) {
        shown += s.rfind("Couldn't write backup", 0) == 0;
    };
    for (int i = 0; i < 3; ++i) {
        r.press("SDLK_w");
        r.program->backupIfDue(r.host.now);
    }
    EXPECT_EQ(shown, 1);
}

TEST(Backups, QuitAndLoadOverUnsavedChangesLeaveARecoveryCopy) {
    TempDir dir;
    EditorRig r;
    r.program->backupDirectory = dir.path("backups");
    r.program->recoveryFallbackPath = dir.path("recovery.zcm");
    // Nothing changed: nothing written.
    r.host.events.push_back(AppEvent{AppEvent::Quit, {}, {}});
    r.program->runMainLoop();
    EXPECT_TRUE(listBackups(dir.path("backups")).empty());

    r.edit.record = true;
    r.press("SDLK_q");
    const std::vector<uint8_t> edited = serializeSong(*r.song);
    r.program->running = true;
    r.host.events.push_back(AppEvent{AppEvent::Quit, {}, {}});
    r.program->runMainLoop();
    auto list = listBackups(dir.path("backups"));
    ASSERT_EQ(list.size(), 1u);
    std::vector<uint8_t> kept;
    ASSERT_TRUE(readWholeFile(list[0].path, kept));
    EXPECT_EQ(kept, edited);

    // Loading another song over the changes keeps them too; with the folder unwritable the
    // copy goes to the fallback.
    const std::string other = dir.path("other.zcm");
    ASSERT_TRUE(saveSong(*std::make_unique<Song>(), other));
    r.program->backupDirectory = dir.path("other.zcm") + "/no";
    ASSERT_TRUE(r.program->openSong(other));
    ASSERT_TRUE(readWholeFile(dir.path("recovery.zcm"), kept));
    EXPECT_EQ(kept, edited);
    EXPECT_EQ(r.program->windowTitle(), r.settings.windowTitle + " - other.zcm");
}

TEST(Backups, TitleReachesTheHost) {
    EditorRig r;
    r.program->runPass();
    EXPECT_TRUE(r.host.titles.empty());  // the window opened with the setting already
    r.edit.songPath = "/x/tune.zcm";
    r.program->runPass();
    r.program->runPass();
    EXPECT_EQ(r.host.titles, std::vector<std::string>{" - tune.zcm"});
}

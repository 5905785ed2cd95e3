// Rolling backups: the folder, the names and how many are kept (the program writing them, recovery
// copies and the window title are in tests/data/app/sessions/backups.txt).

#include <gtest/gtest.h>

#include "EditorRig.h"
#include "app/Backups.h"

namespace fs = std::filesystem;

TEST(Backups, NamesAndTheNewestFiftyKept) {
    EXPECT_EQ(backupDirectory("/state", "/home/u"), "/state/bleepforge/backups");
    EXPECT_EQ(backupDirectory("relative", "/home/u"), "/home/u/.local/state/bleepforge/backups");
    EXPECT_EQ(backupDirectory(nullptr, "/home/u"), "/home/u/.local/state/bleepforge/backups");
    EXPECT_EQ(backupDirectory(nullptr, nullptr), "");
    EXPECT_EQ(backupSongName("/music/tune.zcm"), "tune");
    EXPECT_EQ(backupSongName(""), "untitled");
    EXPECT_EQ(backupSongName("/m/a\tb.zcm"), "a_b");

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
    EXPECT_EQ(std::tie(list.front().size, list.back().size, list.front().songName),  // newest first
              std::make_tuple(uint64_t(ROLLING_BACKUP_COUNT + 5), 6u, "tune"));
    EXPECT_EQ(list[1].path.substr(list[1].path.size() - 6), "-2.zcm");  // the second in its second
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(dir.dir / "notes.txt"));
    // A folder that cannot be made is a failed write, not a crash.
    EXPECT_EQ(writeRollingBackup(dir.path("notes.txt") + "/sub", "tune", {1}, t), "");
}

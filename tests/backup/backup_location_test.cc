#include "backup/backup_location.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "backup/backup_layout.h"
#include "backup_fixture.h"
#include "platform/files/plist.h"

namespace ovra::backup {
namespace {

namespace fs = std::filesystem;

// Folder trees in a fresh temporary folder: a path ending in "/" is a folder, "a -> b" a
// symbolic link at a to b (relative to the temporary folder), anything else a file.
void build(const testing::TempDir& root, const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    if (const size_t arrow = entry.find(" -> "); arrow != std::string::npos) {
      const fs::path link = root / entry.substr(0, arrow);
      fs::create_directories(link.parent_path());
      fs::create_directory_symlink(root / entry.substr(arrow + 4), link);
    } else if (entry.ends_with("/")) {
      fs::create_directories(root / entry);
    } else {
      testing::writeFile(root / entry, "x");
    }
  }
}

TEST(BackupLocation, FindsTheBackupFoldersWhereverTheyAreKept) {
  const std::string mobileSync = "home/Library/Application Support/MobileSync/Backup/";
  const std::string udid = std::string(40, 'a');
  struct Case {
    const char* what;
    std::vector<std::string> tree;
    std::string backups;  // --backups, relative; empty: none given
    bool listed;
    size_t entries;
    std::vector<std::string> folders;  // relative, sorted
  };
  const std::vector<Case> cases = {
      {"the home's backup directory: every folder, hidden ones too, with or without Info.plist",
       {mobileSync + "a/Info.plist", mobileSync + ".b/", mobileSync + ".DS_Store"},
       "",
       true,
       3,
       {mobileSync + ".b", mobileSync + "a"}},
      {"a home without a backup directory", {"home/Library/"}, "", false, 0, {}},
      {"a copied MobileSync/Backup",
       {"copy/one/Info.plist", "copy/one/Manifest.mbdb", "copy/two/Info.plist", "copy/notes.txt"},
       "copy",
       true,
       3,
       {"copy/one", "copy/two"}},
      {"one later backup folder, its files in sub-folders",
       {"one/Info.plist", "one/Manifest.db", "one/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28"},
       "one",
       true,
       1,
       {"one"}},
      {"one old backup folder that lost its Info.plist",
       {"old/Manifest.mbdb", "old/sub/"},
       "old",
       true,
       1,
       {"old"}},
      {"what idevicebackup2 leaves",
       {"phone-backups/" + udid + "/Info.plist", "phone-backups/" + udid + "/Manifest.db",
        "phone-backups/" + udid + "/Status.plist", "phone-backups/" + udid + "/3d/"},
       "phone-backups",
       true,
       1,
       {"phone-backups/" + udid}},
      {"an empty folder", {"empty/"}, "empty", true, 0, {}},
      {"a link to a folder of backups, holding a link to a backup kept elsewhere and a dead link",
       {"real/a/Info.plist", "elsewhere/b/Info.plist", "real/b -> elsewhere/b", "real/dead -> gone",
        "link -> real"},
       "link",
       true,
       3,
       {"link/a", "link/b"}},
      {"a folder gone since it was named", {}, "gone", false, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir root;
    build(root, c.tree);
    const std::string backups = c.backups.empty() ? "" : root / c.backups;
    const BackupLocation found = locateBackups(root / "home", backups, *BackupEnv::Default());
    EXPECT_EQ(found.directory, c.backups.empty() ? backupDirectory(root / "home") : backups);
    EXPECT_EQ(found.listed, c.listed);
    EXPECT_EQ(found.entries, c.entries);
    std::vector<std::string> folders;
    for (const std::string& f : found.folders) {
      folders.push_back(fs::path(f).lexically_relative(root.path()).string());
    }
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, c.folders);
  }
}

TEST(BackupLocation, OnlyASnapshotStateOtherThanFinishedMakesABackupUnfinished) {
  auto status = [](std::vector<std::pair<std::string, std::string>> entries, bool binary) {
    platform::Plist plist = platform::Plist::dictionary(entries);
    return (binary ? plist.toBinary() : plist.toXml()).value_or("");
  };
  const std::vector<std::pair<std::optional<std::string>, bool>> cases = {
      {std::nullopt, false},  // no Status.plist at all
      {status({{"BackupState", "new"}, {"SnapshotState", "finished"}}, false), false},
      {status({{"SnapshotState", "uploading"}}, false), true},
      {status({{"SnapshotState", "moving"}}, true), true},
      {status({{"SnapshotState", ""}}, false), true},
      {status({{"BackupState", "new"}}, false), false},
      {"not a property list", false},
      {"<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>SnapshotState</key>"
       "<integer>1</integer></dict></plist>",
       false},
  };
  for (const auto& [bytes, unfinished] : cases) {
    testing::TempDir folder;
    if (bytes) testing::writeFile(folder / kStatusPlistName, *bytes);
    EXPECT_EQ(isUnfinishedBackup(folder.path(), *BackupEnv::Default()), unfinished)
        << bytes.value_or("(none)");
  }
}

}  // namespace
}  // namespace ovra::backup

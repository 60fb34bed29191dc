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

// The entries of a comma-separated list, "H/" standing for the home's backup directory.
std::vector<std::string> split(std::string_view list) {
  std::vector<std::string> out;
  for (size_t at = 0; at < list.size();) {
    const size_t end = std::min(list.find(',', at), list.size());
    out.emplace_back(list.substr(at, end - at));
    if (out.back().starts_with("H/")) {
      out.back().replace(0, 1, "home/Library/Application Support/MobileSync/Backup");
    }
    at = end + 1;
  }
  return out;
}

// Builds a folder tree in `root`: a path ending in "/" is a folder, "a>b" a symbolic link at
// a to b, anything else a file.
void build(const testing::TempDir& root, std::string_view tree) {
  for (const std::string& entry : split(tree)) {
    if (const size_t arrow = entry.find('>'); arrow != std::string::npos) {
      const fs::path link = root / entry.substr(0, arrow);
      fs::create_directories(link.parent_path());
      fs::create_directory_symlink(root / entry.substr(arrow + 1), link);
    } else if (entry.ends_with("/")) {
      fs::create_directories(root / entry);
    } else {
      testing::writeFile(root / entry, "x");
    }
  }
}

TEST(BackupLocation, FindsTheBackupFoldersWhereverTheyAreKept) {
  struct Case {
    std::string tree;
    std::string backups;  // --backups, relative; empty: none given
    int entries;          // -1: the folder cannot be listed
    std::string folders;  // relative, sorted, comma-separated
  };
  const Case cases[] = {
      // The home's backup directory: every folder, hidden ones and ones without Info.plist too.
      {"H/a/Info.plist,H/.b/,H/.DS_Store", "", 3, "H/.b,H/a"},
      {"home/Library/", "", -1, ""},
      // A copied MobileSync/Backup (what idevicebackup2 leaves: see the generator's test).
      {"c/one/Info.plist,c/one/Manifest.mbdb,c/two/Info.plist,c/notes.txt", "c", 3, "c/one,c/two"},
      // One later backup folder, its files in sub-folders; one that lost its Info.plist.
      {"one/Info.plist,one/Manifest.db,one/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28", "one", 1,
       "one"},
      {"old/Manifest.mbdb,old/sub/", "old", 1, "old"},
      {"empty/", "empty", 0, ""},
      // A link to a folder of backups, holding a link to a backup elsewhere and a dead link.
      {"real/a/Info.plist,else/b/Info.plist,real/b>else/b,real/dead>gone,link>real", "link", 3,
       "link/a,link/b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tree);
    testing::TempDir root;
    build(root, c.tree);
    const std::string backups = c.backups.empty() ? "" : root / c.backups;
    const BackupLocation found = locateBackups(root / "home", backups, *BackupEnv::Default());
    EXPECT_EQ(found.directory, c.backups.empty() ? backupDirectory(root / "home") : backups);
    EXPECT_EQ(found.listed ? static_cast<int>(found.entries) : -1, c.entries);
    std::vector<std::string> folders;
    for (const std::string& f : found.folders) {
      folders.push_back(fs::path(f).lexically_relative(root.path()).string());
    }
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, split(c.folders));
  }
}

TEST(BackupLocation, OnlyASnapshotStateOtherThanFinishedMakesABackupUnfinished) {
  auto status = [](std::vector<std::pair<std::string, std::string>> entries, bool binary) {
    platform::Plist plist = platform::Plist::dictionary(entries);
    return (binary ? plist.toBinary() : plist.toXml()).value_or("");
  };
  // Finished and unfinished ones as the generator writes them are tested with it.
  const std::vector<std::pair<std::optional<std::string>, bool>> cases = {
      {std::nullopt, false},  // no Status.plist at all
      {status({{"SnapshotState", "moving"}}, true), true},
      {status({{"BackupState", "new"}}, false), false},
      {"not a property list", false},
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

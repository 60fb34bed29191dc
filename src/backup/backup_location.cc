#include "backup/backup_location.h"

#include <optional>

#include "backup/backup_layout.h"
#include "platform/files/fs.h"
#include "platform/files/plist.h"

namespace ovra::backup {

bool isOneBackup(const std::string& folder, BackupEnv& env) {
  for (const char* name : {kInfoPlistName, kManifestDbName, kManifestName}) {
    if (env.fileExists(platform::joinPath(folder, name))) return true;
  }
  return false;
}

BackupLocation locateBackups(const std::string& home, const std::string& backupsFolder,
                             BackupEnv& env) {
  BackupLocation location;
  location.directory = backupsFolder.empty() ? backupDirectory(home) : backupsFolder;
  if (!backupsFolder.empty() && env.isDirectory(backupsFolder) && isOneBackup(backupsFolder, env)) {
    location.listed = true;
    location.entries = 1;
    location.folders.push_back(backupsFolder);
    return location;
  }
  std::optional<std::vector<std::string>> names = env.listDirectory(location.directory);
  if (!names) return location;
  location.listed = true;
  location.entries = names->size();
  for (const std::string& name : *names) {
    std::string path = platform::joinPath(location.directory, name);
    if (env.isDirectory(path)) location.folders.push_back(std::move(path));
  }
  return location;
}

bool isUnfinishedBackup(const std::string& folder, BackupEnv& env) {
  std::optional<platform::Plist> status =
      env.readPlist(platform::joinPath(folder, kStatusPlistName));
  if (!status) return false;
  const std::optional<std::string> state = status->stringForKey("SnapshotState");
  return state && *state != "finished";
}

}  // namespace ovra::backup

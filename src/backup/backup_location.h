// Where the phone backups to read are: the backup directory under the home folder, or the
// folder the user named (a folder of backup folders, or one backup folder itself); and
// whether a backup says it was left unfinished. Pure functions over a BackupEnv: they keep
// no state and may run on any thread the env serves.
#ifndef OVRA_BACKUP_BACKUP_LOCATION_H_
#define OVRA_BACKUP_BACKUP_LOCATION_H_

#include <cstddef>
#include <string>
#include <vector>

#include "backup/backup_env.h"

namespace ovra::backup {

// Written by the phone's backup service beside Info.plist; its "SnapshotState" says
// whether the backup was finished.
inline constexpr char kStatusPlistName[] = "Status.plist";

struct BackupLocation {
  // Where the backups were looked for: the backups folder named, or the backup
  // directory under the home folder.
  std::string directory;
  bool listed = false;  // false when `directory` could not be listed
  // The entries listed directly under `directory`, whatever they are; 1 when `directory`
  // is one backup folder itself.
  size_t entries = 0;
  // The backup folders to read, as full paths in the order the file system lists them.
  std::vector<std::string> folders;
};

// True when `folder` is one backup itself: it holds Info.plist, Manifest.db or
// Manifest.mbdb (links followed).
bool isOneBackup(const std::string& folder, BackupEnv& env);

// With `backupsFolder` empty: the entries of backupDirectory(home) that are directories
// (symbolic links to directories count). Otherwise `backupsFolder` itself when it is one
// backup, else its entries that are directories: a desktop's copied MobileSync/Backup, or
// the folder `idevicebackup2 backup` writes each device's backup into.
BackupLocation locateBackups(const std::string& home, const std::string& backupsFolder,
                             BackupEnv& env);

// True when the backup's Status.plist says its snapshot is not finished: "SnapshotState"
// is a text other than "finished". A missing or unreadable Status.plist, or one without
// that text, says nothing: false.
bool isUnfinishedBackup(const std::string& folder, BackupEnv& env);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_BACKUP_LOCATION_H_

// The user's home folder as the platform reports it: $HOME unless the host has set
// another folder (its --home option); and the folder of phone backups the host was given
// (its --backups option), if any. Safe from any thread.
#ifndef OVRA_PLATFORM_FILES_HOME_H_
#define OVRA_PLATFORM_FILES_HOME_H_

#include <string>

namespace ovra::platform {

// An empty text restores the default.
void setHomeFolder(std::string folder);
// The folder set, or $HOME, or "" when neither is known.
std::string homeFolder();

// The folder the host was told to read phone backups from: a folder of backup folders or
// one backup folder. Empty when none was given (the backups are then looked for under the
// home folder); an empty text restores that.
void setBackupsFolder(std::string folder);
std::string backupsFolder();

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_FILES_HOME_H_

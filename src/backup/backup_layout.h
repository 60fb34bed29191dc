// Where phone backups keep their files: the backup directory under a home folder, the
// fixed file names inside each backup folder, and the name under which a backup stores a
// phone file. Shared by the reader and the sample generator; pure functions.
#ifndef OVRA_BACKUP_BACKUP_LAYOUT_H_
#define OVRA_BACKUP_BACKUP_LAYOUT_H_

#include <string>
#include <string_view>

namespace ovra::backup {

inline constexpr char kInfoPlistName[] = "Info.plist";
inline constexpr char kManifestName[] = "Manifest.mbdb";
// Later backups list their files in an SQLite database instead, and keep each file in a
// sub-folder named after the first two characters of its stored name.
inline constexpr char kManifestDbName[] = "Manifest.db";
inline constexpr char kManifestPlistName[] = "Manifest.plist";

// home/Library/Application Support/MobileSync/Backup, joined with the platform's
// separator.
std::string backupDirectory(const std::string& home);

// 40 lowercase hex digits of the SHA-1 of the text's bytes up to its first zero byte; ""
// when the digest cannot be computed.
std::string hexDigest(std::string_view text);

// The name a backup stores a file under: hexDigest of "domain-path".
std::string storedName(std::string_view domain, std::string_view path);

// True when `name` has the form of a stored name: 40 lowercase hex digits.
bool isStoredName(std::string_view name);

// Where a Manifest.db backup keeps the file stored as `name`, relative to the backup
// folder: "<first two characters>/<name>". `name` must satisfy isStoredName.
std::string storedSubPath(std::string_view name);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_BACKUP_LAYOUT_H_

// BackupEnv: everything the backup reader asks of the outside world (directory listings,
// file tests and reads, property lists and SQLite opens) behind one small interface, so
// that tests can put a failing one in its place. Default() is the real one; it keeps no state,
// lives as long as the module that holds it and is safe to use from any thread.
#ifndef OVRA_BACKUP_BACKUP_ENV_H_
#define OVRA_BACKUP_BACKUP_ENV_H_

#include <optional>
#include <string>
#include <vector>

#include "backup/secure_bytes.h"
#include "backup/sqlite_handle.h"
#include "platform/files/plist.h"

namespace ovra::backup {

class BackupEnv {
 public:
  BackupEnv() = default;
  BackupEnv(const BackupEnv&) = delete;
  BackupEnv& operator=(const BackupEnv&) = delete;
  virtual ~BackupEnv();

  // The file system and SQLite as they are. Never deleted.
  static BackupEnv* Default();

  // As platform::listDirectory, isDirectory, fileExists and readFile (fs.h).
  [[nodiscard]] virtual std::optional<std::vector<std::string>> listDirectory(
      const std::string& path) = 0;
  [[nodiscard]] virtual bool isDirectory(const std::string& path) = 0;
  [[nodiscard]] virtual bool fileExists(const std::string& path) = 0;
  [[nodiscard]] virtual std::optional<std::string> readFile(const std::string& path) = 0;
  // The whole file in a buffer that is wiped when it goes, for files whose bytes become
  // secrets or plaintext; nothing when it cannot be read. The default copies readFile's
  // answer and wipes the copy it came in.
  [[nodiscard]] virtual std::optional<SecureBytes> readSecureFile(const std::string& path);
  // The file's first `size` bytes (fewer when it is shorter); nothing when it cannot be
  // read. The default cuts readFile's answer.
  [[nodiscard]] virtual std::optional<std::string> readFileStart(const std::string& path,
                                                                 size_t size);
  // The property list in the file; nothing when it cannot be read or parsed.
  [[nodiscard]] virtual std::optional<platform::Plist> readPlist(const std::string& path) = 0;
  // Opens the database file read-only and immutable (readOnlyUri) into `db`, which must
  // be empty; returns SQLite's result code. `db` may hold a handle even on failure.
  [[nodiscard]] virtual int openDatabase(const std::string& path, Connection& db) = 0;
  // Whether several threads may call this object at once. The real one may; one that
  // counts or scripts its calls need not, and then the reader makes them in one order.
  virtual bool servesSeveralThreads() const { return false; }
};

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_BACKUP_ENV_H_

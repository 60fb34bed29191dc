// StoredDatabase: one database of a backup as the readers know it, and where its bytes
// come from: the stored file itself, or an image in memory (a database decrypted, or one
// with its write-ahead log applied). openStoredDatabase is the one place where such a value
// becomes an open connection; every query of the backup reader (the query wrapper, the
// repeated query) opens through it. Plain values that share their read-only image; any
// thread.
#ifndef OVRA_BACKUP_STORED_DATABASE_H_
#define OVRA_BACKUP_STORED_DATABASE_H_

#include <memory>
#include <string>

#include "backup/backup_env.h"
#include "backup/secure_bytes.h"
#include "backup/sqlite_handle.h"

namespace ovra::backup {

struct StoredDatabase {
  // The stored file in the backup folder, opened read-only through the BackupEnv when
  // there is no image; also the path that log lines name.
  std::string path = {};
  // The phone-side path and domain the manifest gives for it; "" when not known.
  std::string phonePath = {};
  std::string domain = {};
  // The database's bytes when they are read from memory (see databaseImage); the file at
  // `path` is then not opened. Every connection opened on it reads the same bytes, which
  // are wiped when the last copy of this value goes.
  std::shared_ptr<const SecureBytes> image = {};
};

// Makes `bytes` (a whole database file) an image for StoredDatabase: a database kept in
// write-ahead-log mode is marked as a rollback-journal one, since SQLite will not read a
// deserialized database in WAL mode and its log, if any, is already applied.
std::shared_ptr<const SecureBytes> databaseImage(SecureBytes bytes);

// Opens `db`, which must be empty, on the database's bytes; returns SQLite's result code.
// `db` may hold a handle even on failure. A stored file is opened as BackupEnv::openDatabase
// opens it; an image is deserialized read-only into a connection of its own whose
// temporary storage stays in memory, so that no decrypted row reaches a file.
[[nodiscard]] int openStoredDatabase(const StoredDatabase& database, BackupEnv* env,
                                     Connection& db);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_STORED_DATABASE_H_

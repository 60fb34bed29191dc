// StoredDatabase: one database of a backup as the readers know it, and where its bytes
// come from. openStoredDatabase is the one place where such a value becomes an open
// connection; every query of the backup reader (the query wrapper, the repeated query)
// opens through it. Plain values; any thread.
#ifndef OVRA_BACKUP_STORED_DATABASE_H_
#define OVRA_BACKUP_STORED_DATABASE_H_

#include <string>

#include "backup/backup_env.h"
#include "backup/sqlite_handle.h"

namespace ovra::backup {

struct StoredDatabase {
  // The stored file in the backup folder, opened read-only through the BackupEnv; also
  // the path that log lines name.
  std::string path = {};
  // The phone-side path and domain the manifest gives for it; "" when not known.
  std::string phonePath = {};
  std::string domain = {};
};

// Opens `db`, which must be empty, on the database's bytes through `env`; returns SQLite's
// result code. `db` may hold a handle even on failure. Today the bytes are always the
// stored file, opened as BackupEnv::openDatabase opens it.
[[nodiscard]] int openStoredDatabase(const StoredDatabase& database, BackupEnv* env,
                                     Connection& db);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_STORED_DATABASE_H_

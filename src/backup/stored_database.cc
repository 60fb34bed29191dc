// Where a stored database's bytes are opened. A source that is not a plain file (an
// image held in memory) is opened here too, so that no query needs to know the difference.
#include "backup/stored_database.h"

#include "backup/memory_database.h"
#include "backup/memory_temp_files.h"

namespace ovra::backup {

std::shared_ptr<const SecureBytes> databaseImage(SecureBytes bytes) {
  markRollbackJournal(bytes);
  return std::make_shared<const SecureBytes>(std::move(bytes));
}

int openStoredDatabase(const StoredDatabase& database, BackupEnv* env, Connection& db) {
  if (!database.image) return env->openDatabase(database.path, db);
  // As BackupEnv's opens: one thread uses the connection, so SQLite need not lock it.
  if (int rc = openMemoryConnection(db.out(), SQLITE_OPEN_NOMUTEX); rc != SQLITE_OK) {
    return rc;
  }
  // The image outlives the connection, which the query wrapper closes first.
  return attachImage(db.get(), *database.image);
}

}  // namespace ovra::backup

// Where a stored database's bytes are opened. A source that is not a plain file (an
// image held in memory) is opened here too, so that no query needs to know the difference.
#include "backup/stored_database.h"

namespace ovra::backup {

int openStoredDatabase(const StoredDatabase& database, BackupEnv* env, Connection& db) {
  return env->openDatabase(database.path, db);
}

}  // namespace ovra::backup

// Where a stored database's bytes are opened. A source that is not a plain file (an
// image held in memory) is opened here too, so that no query needs to know the difference.
#include "backup/stored_database.h"

#include <string>
#include <string_view>

namespace ovra::backup {

std::shared_ptr<const SecureBytes> databaseImage(SecureBytes bytes) {
  constexpr std::string_view kMagic("SQLite format 3\0", 16);
  if (bytes.size() >= 100 && bytes.view().substr(0, 16) == kMagic) {
    for (size_t at : {18, 19}) {
      if (bytes.data()[at] == 2) bytes.data()[at] = 1;
    }
  }
  return std::make_shared<const SecureBytes>(std::move(bytes));
}

int openStoredDatabase(const StoredDatabase& database, BackupEnv* env, Connection& db) {
  if (!database.image) return env->openDatabase(database.path, db);
  // As BackupEnv's opens: one thread uses the connection, so SQLite need not lock it.
  if (int rc = sqlite3_open_v2(":memory:", db.out(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                               nullptr);
      rc != SQLITE_OK) {
    return rc;
  }
  sqlite3_db_config(db.get(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  if (int rc = sqlite3_exec(db.get(), "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
      rc != SQLITE_OK) {
    return rc;
  }
  // Read-only and without FREEONCLOSE: SQLite never writes to the shared bytes nor frees
  // them; the image outlives the connection, which the query wrapper closes first.
  const SecureBytes& image = *database.image;
  const auto size = static_cast<sqlite3_int64>(image.size());
  if (int rc = sqlite3_deserialize(db.get(), "main", const_cast<unsigned char*>(image.data()), size,
                                   size, SQLITE_DESERIALIZE_READONLY);
      rc != SQLITE_OK) {
    return rc;
  }
  // Pages are read in place from the image instead of copied into SQLite's page cache.
  const std::string mmap = "PRAGMA mmap_size = " + std::to_string(size);
  return sqlite3_exec(db.get(), mmap.c_str(), nullptr, nullptr, nullptr);
}

}  // namespace ovra::backup

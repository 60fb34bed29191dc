// The connection is an in-memory one whose main database is replaced by the image, read-only
// and without FREEONCLOSE, so that the memory stays this object's to wipe. Its temporary
// files are kept in memory too: SQLite would otherwise spill large sorts into files on disk,
// with decrypted rows in them.
#include "backup/memory_database.h"

#include <string>
#include <string_view>

#include "backup/memory_temp_files.h"

namespace ovra::backup {

void markRollbackJournal(SecureBytes& image) {
  constexpr std::string_view kMagic("SQLite format 3\0", 16);
  if (image.size() >= 100 && image.view().substr(0, 16) == kMagic) {
    for (size_t at : {18, 19}) {
      if (image.data()[at] == 2) image.data()[at] = 1;
    }
  }
}

int attachImage(sqlite3* db, const SecureBytes& image) {
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  // Read-only: SQLite never writes to the bytes, so several connections may share them.
  const auto size = static_cast<sqlite3_int64>(image.size());
  if (int rc = sqlite3_deserialize(db, "main", const_cast<unsigned char*>(image.data()), size, size,
                                   SQLITE_DESERIALIZE_READONLY);
      rc != SQLITE_OK) {
    return rc;
  }
  // Pages are read in place from the image instead of copied into SQLite's page cache.
  const std::string mmap = "PRAGMA mmap_size = " + std::to_string(size);
  return sqlite3_exec(db, mmap.c_str(), nullptr, nullptr, nullptr);
}

base::Result<MemoryDatabase> MemoryDatabase::open(SecureBytes image) {
  markRollbackJournal(image);
  sqlite3* db = nullptr;
  const int opened = openMemoryConnection(&db);
  MemoryDatabase out(db, std::move(image));  // closes `db` on every way out
  if (opened != SQLITE_OK) return base::fail("database: SQLite cannot open a connection");
  if (attachImage(db, out.image_) != SQLITE_OK) {
    return base::fail(std::string("database: ") + sqlite3_errmsg(db));
  }
  // SQLite reads the header only on first use: read the schema now, so that a damaged
  // image fails here.
  if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    return base::fail(std::string("database: ") + sqlite3_errmsg(db));
  }
  return out;
}

}  // namespace ovra::backup

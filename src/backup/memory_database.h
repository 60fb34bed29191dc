// A database opened read-only from bytes in memory (sqlite3_deserialize), for decrypted
// databases and databases with their write-ahead log applied: nothing of it ever reaches a
// file, temporary tables and sorts included. It owns both the connection and the image and
// wipes the image after closing the connection. Move-only; the connection belongs to one
// thread at a time, as any SQLite connection opened here.
#ifndef OVRA_BACKUP_MEMORY_DATABASE_H_
#define OVRA_BACKUP_MEMORY_DATABASE_H_

#include <sqlite3.h>

#include <utility>

#include "backup/secure_bytes.h"
#include "base/result.h"

namespace ovra::backup {

// Marks a database kept in write-ahead-log mode (header bytes 18 and 19 of 2) as a
// rollback-journal one: SQLite will not read a deserialized database in WAL mode, and a
// log, if any, is already applied. Leaves anything else as it is.
void markRollbackJournal(SecureBytes& image);

// Makes `image` (marked as above) the main database of `db`, a fresh connection from
// openMemoryConnection (whose temporary files stay in memory): read-only, without
// FREEONCLOSE (the image stays its owner's and must outlive `db`), pages read in place.
// Returns SQLite's result code.
[[nodiscard]] int attachImage(sqlite3* db, const SecureBytes& image);

class MemoryDatabase {
 public:
  // Opens `image`, which it takes over. A database kept in write-ahead-log mode (header
  // bytes 18 and 19 of 2) is marked as a rollback-journal one in the image first: SQLite
  // will not read a deserialized database in WAL mode, and a log, if any, is already
  // applied. Fails with SQLite's reason when the image is not a readable database.
  static base::Result<MemoryDatabase> open(SecureBytes image);

  MemoryDatabase(MemoryDatabase&& other) noexcept
      : db_(std::exchange(other.db_, nullptr)), image_(std::move(other.image_)) {}
  MemoryDatabase& operator=(MemoryDatabase&& other) noexcept {
    if (this != &other) {
      close();
      db_ = std::exchange(other.db_, nullptr);
      image_ = std::move(other.image_);
    }
    return *this;
  }
  MemoryDatabase(const MemoryDatabase&) = delete;
  MemoryDatabase& operator=(const MemoryDatabase&) = delete;
  ~MemoryDatabase() noexcept { close(); }

  // The connection, for queries; it stays owned here.
  sqlite3* handle() const { return db_; }

 private:
  MemoryDatabase(sqlite3* db, SecureBytes image) : db_(db), image_(std::move(image)) {}
  void close() noexcept {
    sqlite3_close(db_);  // before the image it reads goes
    db_ = nullptr;
  }

  sqlite3* db_ = nullptr;  // owned
  SecureBytes image_;      // what db_ reads; its buffer never moves
};

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_MEMORY_DATABASE_H_

// Owners of SQLite's C handles: a connection, closed on destruction (also the handle that
// a failed open gives back), and a prepared statement, finalized on destruction. Used by
// the query wrapper and the sample generator. Not copyable; an owner belongs to the
// thread that uses its handle.
#ifndef OVRA_BACKUP_SQLITE_HANDLE_H_
#define OVRA_BACKUP_SQLITE_HANDLE_H_

#include <sqlite3.h>

namespace ovra::backup {

template <typename T, int (*Release)(T*)>
class SQLiteHandle {
 public:
  SQLiteHandle() = default;
  SQLiteHandle(const SQLiteHandle&) = delete;
  SQLiteHandle& operator=(const SQLiteHandle&) = delete;
  ~SQLiteHandle() noexcept { Release(handle_); }

  T* get() const { return handle_; }
  // Where an open or prepare call puts the new handle; the owner must be empty.
  T** out() { return &handle_; }
  // Releases the handle now (a statement's end then shows as the connection's last
  // error).
  void reset() {
    Release(handle_);
    handle_ = nullptr;
  }

 private:
  T* handle_ = nullptr;
};

using Connection = SQLiteHandle<sqlite3, sqlite3_close>;
using Statement = SQLiteHandle<sqlite3_stmt, sqlite3_finalize>;

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_SQLITE_HANDLE_H_

// The query wrapper: opens one database file read-only, runs one statement to its end,
// and hands back every value as text with a status text instead of an error code.
// Objects belong to the thread that made them; each query has its own connection.
#ifndef OVRA_BACKUP_SQLITE_H_
#define OVRA_BACKUP_SQLITE_H_

#include <string>
#include <vector>

#include "model/event.h"

namespace ovra::backup {

struct SQLiteResult {
  static SQLiteResult createSQLiteResult();  // errorCode "Uninitialized result."

  std::string errorCode;
  std::vector<std::string> columnNames;
  std::vector<std::string> columnTypes;
  // One shared, mutable record per row: every value a string, NULL as "".
  std::vector<model::Record> rows;
};

class SQLite {
 public:
  const std::string& filename() const { return filename_; }
  void setFilename(std::string filename) { filename_ = std::move(filename); }

  SQLiteResult query(const std::string& sql) const;

 private:
  std::string filename_;
};

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_SQLITE_H_

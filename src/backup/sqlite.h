// The query wrapper: opens one database file read-only, runs one statement to its end,
// and hands back every value as text with a status text instead of an error code.
//
// Files are opened read-only and immutable: nothing is ever created or written next to
// them (no journal, write-ahead log or shared-memory file), which is what a backup
// folder needs. Databases are opened by openStoredDatabase through a BackupEnv (the real
// one unless one is given), which must outlive the objects. Objects belong to the thread
// that made them. SQLite::query opens its own connection for each call; RepeatedQuery
// keeps one connection for a run of queries that differ only in a trailing literal, and
// gives the very same results.
#ifndef OVRA_BACKUP_SQLITE_H_
#define OVRA_BACKUP_SQLITE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/backup_env.h"
#include "backup/stored_database.h"
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

// A one-argument SQL function a query may call: the argument's bytes (a NULL as none)
// in, a text out. It must not throw.
using BytesToText = std::string (*)(std::string_view bytes);

class SQLite {
 public:
  SQLite() = default;
  // Queries on `database`, opened through `env`.
  explicit SQLite(StoredDatabase database, BackupEnv* env = BackupEnv::Default())
      : database_(std::move(database)), env_(env) {}

  const std::string& filename() const { return database_.path; }
  void setFilename(std::string filename) { database_.path = std::move(filename); }
  const StoredDatabase& database() const { return database_; }
  // Where the database is opened; not owned.
  BackupEnv* env() const { return env_; }
  void setEnv(BackupEnv* env) { env_ = env; }
  // Makes `function` callable as `name(x)` in the statements this object runs.
  void addFunction(std::string name, BytesToText function) {
    functions_.emplace_back(std::move(name), function);
  }

  // Opens the file, runs the first statement of `sql` to its end and closes the file.
  // Never fails to return a result; errorCode is "OK" only when all went well.
  SQLiteResult query(const std::string& sql) const;
  // A row as a statement steps onto it: its texts (NULL and text that is not UTF-8 as ""),
  // valid during the call only.
  using RowSink = std::function<void(std::span<const std::string_view> texts)>;
  // query(sql), but each row goes to `sink` as the statement steps onto it instead of into
  // the result, whose rows stay empty: for a large table read once, whose rows the caller
  // turns into something else. `rowCount` (when given) is set to the number of rows.
  SQLiteResult forEachRow(const std::string& sql, const RowSink& sink,
                          size_t* rowCount = nullptr) const;
  // query(sql) on a thread of its own when the env serves several threads, so that it runs
  // while the caller reads the same database; otherwise (or when no thread can be had)
  // when the result is asked for. The result is the same.
  std::future<SQLiteResult> start(std::string sql) const;

 private:
  SQLiteResult run(const std::string& sql, const RowSink* sink, size_t* rowCount) const;

  StoredDatabase database_;
  BackupEnv* env_ = BackupEnv::Default();
  std::vector<std::pair<std::string, BytesToText>> functions_;
};

// Runs `prefix + literal` for many literals on one kept connection. When the literal is
// an integer in canonical decimal form, a statement prepared once from `prefix + "?1"`
// is bound and re-run; any other literal is written into the text, as SQLite::query
// would. Results, including every failure text, equal those of a fresh SQLite::query of
// the same text: when the file cannot be opened, each run falls back to exactly that.
// Functions added to `database` are not made callable.
class RepeatedQuery {
 public:
  RepeatedQuery(const SQLite& database, std::string prefix);
  RepeatedQuery(const RepeatedQuery&) = delete;
  RepeatedQuery& operator=(const RepeatedQuery&) = delete;
  ~RepeatedQuery() noexcept;

  SQLiteResult run(const std::string& literal);

 private:
  struct State;
  SQLite database_;
  std::string prefix_;
  std::unique_ptr<State> state_;
};

// The URI under which the file at `path` is opened: read-only and immutable.
std::string readOnlyUri(const std::string& path);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_SQLITE_H_

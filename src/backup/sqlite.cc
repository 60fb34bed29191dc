// How a query runs: open read-only, prepare the first statement, gather the column names
// and declared types, step to the end turning every value into text, finalize, then look
// at the connection's last error and close. The steps are kept as small functions so
// that RepeatedQuery can run the middle part on a connection it keeps open.
#include "backup/sqlite.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <future>
#include <utility>

#include "backup/sqlite_handle.h"
#include "platform/base/url_escape.h"
#include "platform/base/utf8.h"

namespace ovra::backup {
namespace {

std::string openFailureText(int code) {
  return "SQLite Database failed to open (error code: " + std::to_string(code) + ").";
}

void readColumns(sqlite3_stmt* stmt, SQLiteResult& result) {
  int count = sqlite3_column_count(stmt);
  for (int i = 0; i < count; ++i) {
    if (const char* name = sqlite3_column_name(stmt, i)) {
      std::string text(name);
      result.columnNames.push_back(platform::isValidUtf8(text) ? std::move(text) : std::string());
    }
    if (const char* type = sqlite3_column_decltype(stmt, i)) {
      std::string text(type);
      result.columnTypes.push_back(platform::isValidUtf8(text) ? std::move(text) : std::string());
    }
  }
}

// Steps to the end (or the first error), appending one row of texts per result row; the
// rows of one result share one block.
// With a sink, each row goes there instead, and only the rows are counted.
size_t readRows(sqlite3_stmt* stmt, SQLiteResult& result, const SQLite::RowSink* sink = nullptr) {
  const int count = sqlite3_column_count(stmt);
  auto block = sink ? nullptr : std::make_shared<model::RowBlock>(static_cast<size_t>(count));
  std::vector<std::string_view> texts(static_cast<size_t>(count));
  size_t rows = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    for (int i = 0; i < count; ++i) {
      // Read as a C string: up to the first NUL, and only when that is valid UTF-8.
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      texts[static_cast<size_t>(i)] = platform::validTextBeforeNul(
          text, text != nullptr ? static_cast<size_t>(sqlite3_column_bytes(stmt, i)) : 0);
    }
    ++rows;
    if (sink) {
      (*sink)(texts);
    } else {
      result.rows.emplace_back(block, block->appendRow(texts.data(), texts.size()));
    }
  }
  return rows;
}

// Replaces the status with "%@ (error: %d=%@)" when the connection holds an error.
void wrapConnectionError(sqlite3* db, SQLiteResult& result) {
  if (db == nullptr) return;
  int code = sqlite3_errcode(db);
  if (code == SQLITE_OK) return;
  std::string message = sqlite3_errmsg(db);
  if (!platform::isValidUtf8(message)) message.clear();
  result.errorCode += " (error: " + std::to_string(code) + "=" + message + ")";
}

// Prepares and runs the first statement of `sql` on an open connection; returns the rows
// read.
size_t runOn(sqlite3* db, const std::string& sql, SQLiteResult& result,
             const SQLite::RowSink* sink = nullptr) {
  Statement stmt;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, stmt.out(), nullptr) != SQLITE_OK) {
    result.errorCode = "SQL Statement failed to execute.";
    stmt.reset();
    return 0;
  }
  readColumns(stmt.get(), result);
  const size_t rows = readRows(stmt.get(), result, sink);
  result.errorCode = "OK";
  stmt.reset();
  return rows;
}

// Calls the BytesToText kept as the function's user data.
void callBytesToText(sqlite3_context* context, int, sqlite3_value** args) {
  auto function = reinterpret_cast<BytesToText>(sqlite3_user_data(context));
  const void* blob = sqlite3_value_blob(args[0]);
  const int size = sqlite3_value_bytes(args[0]);
  std::string_view bytes =
      blob != nullptr && size > 0
          ? std::string_view(static_cast<const char*>(blob), static_cast<size_t>(size))
          : std::string_view();
  try {
    std::string text = function(bytes);
    sqlite3_result_text64(context, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  } catch (...) {  // only an allocation can fail here
    sqlite3_result_error_nomem(context);
  }
}

bool isCanonicalInteger(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size() || (text[i] == '0' && text.size() > i + 1) || (i == 1 && text == "-0")) {
    return false;
  }
  for (size_t j = i; j < text.size(); ++j) {
    if (text[j] < '0' || text[j] > '9') return false;
  }
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  value = parsed;
  return true;
}

}  // namespace

SQLiteResult SQLiteResult::createSQLiteResult() {
  SQLiteResult result;
  result.errorCode = "Uninitialized result.";
  result.columnNames.reserve(10);
  result.columnTypes.reserve(10);
  result.rows.reserve(10);
  return result;
}

std::string readOnlyUri(const std::string& path) {
  std::string uri = path.starts_with('/') ? "file://" : "file:";
  platform::appendPercentEscaped(uri, path, "/");
  uri += "?immutable=1";
  return uri;
}

SQLiteResult SQLite::query(const std::string& sql) const { return run(sql, nullptr, nullptr); }

SQLiteResult SQLite::forEachRow(const std::string& sql, const RowSink& sink,
                                size_t* rowCount) const {
  return run(sql, &sink, rowCount);
}

SQLiteResult SQLite::run(const std::string& sql, const RowSink* sink, size_t* rowCount) const {
  SQLiteResult result = SQLiteResult::createSQLiteResult();
  Connection db;
  size_t rows = 0;
  if (int rc = openStoredDatabase(database_, env_, db); rc != SQLITE_OK) {
    result.errorCode = openFailureText(rc);
  } else {
    for (const auto& [name, function] : functions_) {
      sqlite3_create_function_v2(db.get(), name.c_str(), 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                 reinterpret_cast<void*>(function), callBytesToText, nullptr,
                                 nullptr, nullptr);
    }
    rows = runOn(db.get(), sql, result, sink);
  }
  wrapConnectionError(db.get(), result);
  if (rowCount) *rowCount = rows;
  return result;
}

std::future<SQLiteResult> SQLite::start(std::string sql) const {
  auto run = [self = *this, sql = std::move(sql)] { return self.query(sql); };
  if (env_->servesSeveralThreads()) {
    try {
      return std::async(std::launch::async, run);
    } catch (...) {  // no thread to be had: run it later, here
    }
  }
  return std::async(std::launch::deferred, std::move(run));
}

struct RepeatedQuery::State {
  Connection db;
  bool opened = false;
  Statement bound;  // prefix + "?1", when it prepared
  std::vector<std::string> columnNames;
  std::vector<std::string> columnTypes;
};

RepeatedQuery::RepeatedQuery(const SQLite& database, std::string prefix)
    : database_(database.database(), database.env()),
      prefix_(std::move(prefix)),
      state_(new State) {
  state_->opened =
      openStoredDatabase(database_.database(), database_.env(), state_->db) == SQLITE_OK;
  if (!state_->opened) return;
  std::string sql = prefix_ + "?1";
  if (sqlite3_prepare_v2(state_->db.get(), sql.c_str(), -1, state_->bound.out(), nullptr) !=
      SQLITE_OK) {
    state_->bound.reset();
    return;
  }
  SQLiteResult columns;
  readColumns(state_->bound.get(), columns);
  state_->columnNames = std::move(columns.columnNames);
  state_->columnTypes = std::move(columns.columnTypes);
}

RepeatedQuery::~RepeatedQuery() noexcept = default;

SQLiteResult RepeatedQuery::run(const std::string& literal) {
  if (!state_->opened) return database_.query(prefix_ + literal);
  int64_t value = 0;
  sqlite3_stmt* stmt = state_->bound.get();
  SQLiteResult result;
  if (stmt == nullptr || !isCanonicalInteger(literal, value)) {
    result = SQLiteResult::createSQLiteResult();
    runOn(state_->db.get(), prefix_ + literal, result);
  } else {
    sqlite3_bind_int64(stmt, 1, value);
    result.columnNames = state_->columnNames;
    result.columnTypes = state_->columnTypes;
    readRows(stmt, result);
    result.errorCode = "OK";
    sqlite3_reset(stmt);  // leaves the statement's outcome as the connection's last error
  }
  wrapConnectionError(state_->db.get(), result);
  return result;
}

}  // namespace ovra::backup

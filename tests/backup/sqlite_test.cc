#include "backup/sqlite.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "backup_fixture.h"

namespace ovra::backup {
namespace {

using testing::makeDatabase;
using testing::TempDir;

using Rows = std::vector<std::vector<std::string>>;

// What the reader takes from a result: the status and every value as text.
std::pair<std::string, Rows> view(const SQLiteResult& r) {
  Rows rows;
  for (const model::Record& row : r.rows) {
    rows.emplace_back();
    for (const json::Value& v : *row) rows.back().push_back(v.asString());
  }
  return {r.errorCode, rows};
}

SQLiteResult runQuery(const std::string& file, const std::string& sql) {
  SQLite q;
  q.setFilename(file);
  return q.query(sql);
}

// Every value as text, NULL and bad bytes empty; each failure as its status text, with no
// rows and no file created. The database's path needs escaping in a URI.
TEST(SQLite, GivesEveryValueAsTextAndEachFailureAsItsStatus) {
  TempDir dir;
  const std::string ok = "Application Support?#%x/o k.db";
  testing::writeFile(dir / "garbage", std::string(4096, 'x'));
  std::filesystem::create_directory(dir / "folder");
  ASSERT_EQ(makeDatabase(dir / ok,
                         "CREATE TABLE t (i INTEGER, r REAL, s TEXT, b BLOB, n TEXT);"
                         "INSERT INTO t VALUES (3, 1.5, 'héllo 😀', X'61620063', NULL);"
                         "INSERT INTO t VALUES (-7, 2.0, CAST(X'C328' AS TEXT), X'FF', '');"),
            "");
  const auto before = testing::snapshot(dir.path());
  const std::string kOpen = "SQLite Database failed to open (error code: ";
  const std::string kFailed = "SQL Statement failed to execute. (error: ";
  const std::tuple<std::string, std::string, std::string, Rows> cases[] = {
      // The blob stops at its zero byte; invalid UTF-8 (C3 28, FF) reads as "".
      {ok, "SELECT * FROM t", "OK", {{"3", "1.5", "héllo 😀", "ab", ""}, {"-7", "2.0", "", "", ""}}},
      {ok, "SELECT i FROM t WHERE i > 5; SELECT 2", "OK", {}},  // only the first statement runs
      {"missing.db", "SELECT 1", kOpen + "14). (error: 14=unable to open database file)", {}},
      {"folder", "SELECT 1", kOpen + "10). (error: 10=disk I/O error)", {}},
      {ok, "SELECT * FROM nope", kFailed + "1=no such table: nope)", {}},
      {"garbage", "SELECT * FROM message", kFailed + "26=file is not a database)", {}},
      {ok, "DELETE FROM t", "OK (error: 8=attempt to write a readonly database)", {}},
  };
  for (const auto& [file, sql, status, rows] : cases) {
    EXPECT_EQ(view(runQuery(dir / file, sql)), std::pair(status, rows)) << file << ": " << sql;
  }
  EXPECT_EQ(testing::snapshot(dir.path()), before);
}

// The kept connection answers every literal as a fresh query of the text would (status
// and rows), also literals that are not plain integers and files that cannot be read.
TEST(RepeatedQuery, MatchesAFreshQueryOfTheSameText) {
  TempDir dir;
  ASSERT_EQ(
      makeDatabase(dir / "book.db",
                   "CREATE TABLE ABMultiValue (record_id INTEGER, value TEXT);"
                   "CREATE INDEX ABMultiValueRecordIDIndex ON ABMultiValue(record_id);"
                   "INSERT INTO ABMultiValue VALUES (2, '555'), (1, 'a@b.c'), (2, NULL),"
                   "(-1, x'00'), (9223372036854775807, 'max'), (-9223372036854775808, 'min');"),
      "");
  ASSERT_EQ(makeDatabase(dir / "no-table.db", "CREATE TABLE other (a);"), "");
  const std::string prefix = "SELECT * FROM ABMultiValue mv WHERE mv.record_id = ";
  for (const char* file : {"book.db", "no-table.db", "missing.db"}) {
    RepeatedQuery kept(SQLite({.path = dir / file}), prefix);
    for (const std::string literal : {"2", "1", "3", "-1", "007", "-0", "2.0", "abc", "", "2",
                                      "1 OR 1=1", "9223372036854775807", "-9223372036854775808",
                                      "99999999999999999999", "2; DROP TABLE ABMultiValue"}) {
      EXPECT_EQ(view(kept.run(literal)), view(runQuery(dir / file, prefix + literal)))
          << file << " " << literal;
    }
  }
}

}  // namespace
}  // namespace ovra::backup

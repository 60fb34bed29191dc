#include "backup/sqlite.h"

#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "backup_fixture.h"

namespace ovra::backup {
namespace {

using testing::makeDatabase;
using testing::TempDir;

using namespace std::string_literals;
using Rows = std::vector<std::vector<std::string>>;

Rows texts(const SQLiteResult& r) {
  Rows out;
  for (const model::Record& row : r.rows) {
    out.emplace_back();
    for (const json::Value& v : *row) out.back().push_back(v.asString());
  }
  return out;
}

// What the reader takes from a result, for comparing two.
auto view(const SQLiteResult& r) { return std::pair(r.errorCode, texts(r)); }

SQLiteResult runQuery(const std::string& file, const std::string& sql) {
  SQLite q;
  q.setFilename(file);
  return q.query(sql);
}

TEST(SQLite, GivesEveryValueAsTextWithNullAndBadBytesEmpty) {
  TempDir dir;
  const std::string file = dir / "values.db";
  ASSERT_EQ(makeDatabase(file,
                         "CREATE TABLE t (i INTEGER, r REAL, s TEXT, b BLOB, n TEXT);"
                         "INSERT INTO t VALUES (3, 1.5, 'héllo 😀', X'61620063', NULL);"
                         "INSERT INTO t VALUES (-7, 2.0, CAST(X'C328' AS TEXT), X'FF', '');"),
            "");
  // The blob stops at its zero byte; invalid UTF-8 (C3 28, FF) reads as "".
  EXPECT_EQ(view(runQuery(file, "SELECT * FROM t")),
            std::pair("OK"s, Rows{{"3", "1.5", "héllo 😀", "ab", ""}, {"-7", "2.0", "", "", ""}}));

  // No rows is still "OK"; only the first of several statements runs.
  EXPECT_EQ(view(runQuery(file, "SELECT i FROM t WHERE i > 5; SELECT 2")),
            std::pair("OK"s, Rows{}));
}

// Also: a path that needs escaping in a URI opens.
TEST(SQLiteErrors, ReportStatusTextsAndCreateNothing) {
  TempDir dir;
  const std::string ok = "Application Support?#%x/o k.db";
  testing::writeFile(dir / "garbage", std::string(4096, 'x'));
  std::filesystem::create_directory(dir / "folder");
  std::filesystem::create_directories(std::filesystem::path(dir / ok).parent_path());
  ASSERT_EQ(makeDatabase(dir / ok, "CREATE TABLE t (a);"), "");
  const auto before = testing::snapshot(dir.path());
  const std::array<std::string, 3> cases[] = {
      // file, query, status
      {"missing.db", "SELECT 1",
       "SQLite Database failed to open (error code: 14). (error: 14=unable to open database file)"},
      {"folder", "SELECT 1",
       "SQLite Database failed to open (error code: 10). (error: 10=disk I/O error)"},
      {ok, "SELECT * FROM nope", "SQL Statement failed to execute. (error: 1=no such table: nope)"},
      {"garbage", "SELECT * FROM message",
       "SQL Statement failed to execute. (error: 26=file is not a database)"},
      {ok, "INSERT INTO t VALUES (1)", "OK (error: 8=attempt to write a readonly database)"},
  };
  for (const auto& [file, sql, errorCode] : cases) {
    SQLiteResult r = runQuery(dir / file, sql);
    EXPECT_EQ(r.errorCode, errorCode) << file << ": " << sql;
    EXPECT_TRUE(r.rows.empty());
  }
  EXPECT_EQ(testing::snapshot(dir.path()), before);
}

// The kept connection answers every literal as a fresh query of the text would (status
// and rows), also literals that are not plain integers and files that cannot be read.
TEST(RepeatedQuery, MatchesAFreshQueryOfTheSameText) {
  TempDir dir;
  ASSERT_EQ(makeDatabase(dir / "book.db",
                         "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, "
                         "property INTEGER, identifier INTEGER, label INTEGER, value TEXT);"
                         "CREATE INDEX ABMultiValueRecordIDIndex ON ABMultiValue(record_id);"
                         "INSERT INTO ABMultiValue VALUES (1, 2, 3, 0, 1, '555-1234567'),"
                         "(2, 1, 4, 0, 2, 'a@b.c'), (3, 2, 22, 1, NULL, 'http://x'),"
                         "(4, -1, 3, 0, 1, 'neg'), (5, 9223372036854775807, 3, 0, 1, 'max');"),
            "");
  ASSERT_EQ(makeDatabase(dir / "no-table.db", "CREATE TABLE other (a);"), "");
  const std::string prefix = "SELECT * FROM ABMultiValue mv WHERE mv.record_id = ";
  for (const char* file : {"book.db", "no-table.db", "missing.db"}) {
    RepeatedQuery kept(dir / file, prefix);
    for (const std::string literal :
         {"2", "1", "3", "-1", "007", "-0", "2.0", "abc", "", "2", "1 OR 1=1",
          "9223372036854775807", "99999999999999999999", "2; DROP TABLE ABMultiValue"}) {
      EXPECT_EQ(view(kept.run(literal)), view(runQuery(dir / file, prefix + literal)))
          << file << " " << literal;
    }
  }
}

}  // namespace
}  // namespace ovra::backup

// Write-ahead logs applied in memory: logs SQLite itself wrote (opened from memory, newest
// rows included), logs cut or damaged after a commit, and logs the writer made with chosen
// frames; and databases opened from memory.
#include "backup/write_ahead_log.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "backup/backup_crypto_writer.h"
#include "backup/memory_database.h"
#include "backup/memory_temp_files.h"
#include "tests/temp_dir.h"

namespace ovra::backup {
namespace {

std::string readAll(const std::string& path) {
  return std::string(SecureBytes::fromFile(path).value_or(SecureBytes()).view());
}

int64_t count(const MemoryDatabase& db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  int64_t n = -1;
  if (sqlite3_prepare_v2(db.handle(), sql, -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    n = sqlite3_column_int64(statement, 0);
  }
  sqlite3_finalize(statement);
  return n;
}

// Rows in table t of the database with `wal` applied; -1 when it does not open.
int64_t rowsWith(const std::string& database, const std::string& wal) {
  base::Result<AppliedLog> applied = applyWriteAheadLog(database, wal);
  if (!applied.ok()) return -1;
  base::Result<MemoryDatabase> db = MemoryDatabase::open(std::move(applied->image));
  return db.ok() ? count(*db, "SELECT count(*) FROM t") : -1;
}

// A database in WAL mode whose file holds 100 rows and whose log three transactions of 10,
// 20 and 30 more (the last of them growing the database); SQLite's own writing.
struct SqliteLog {
  std::string database, wal;
  size_t framesBeforeLast = 0;  // the log's size before the last transaction
};

SqliteLog sqliteLog() {
  const ovra::testing::TempDir dir;
  sqlite3* db = nullptr;
  sqlite3_open((dir / "x.db").c_str(), &db);
  auto run = [&](const std::string& sql) {
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  };
  auto insert = [&](int n) {
    run("WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < " +
        std::to_string(n) + ") INSERT INTO t SELECT printf('%.200c', 'r') FROM s");
  };
  run("PRAGMA page_size = 1024; PRAGMA journal_mode = WAL; CREATE TABLE t (v TEXT)");
  insert(100);
  run("PRAGMA wal_checkpoint(TRUNCATE); PRAGMA wal_autocheckpoint = 0");
  SqliteLog log;
  for (int n : {10, 20, 30}) {
    log.framesBeforeLast = readAll(dir / "x.db-wal").size();
    insert(n);
  }
  log.database = readAll(dir / "x.db");
  log.wal = readAll(dir / "x.db-wal");
  sqlite3_close(db);
  return log;
}

TEST(WriteAheadLog, ReadsTheNewestRowsOfSqlitesOwnLogUpToTheLastGoodCommit) {
  const SqliteLog log = sqliteLog();
  ASSERT_GT(log.wal.size(), log.framesBeforeLast);
  EXPECT_EQ(log.database[18], 2);  // a WAL-mode header, which MemoryDatabase must mend
  base::Result<MemoryDatabase> alone = MemoryDatabase::open(SecureBytes(log.database));
  ASSERT_TRUE(alone.ok()) << alone.error();
  EXPECT_EQ(count(*alone, "SELECT count(*) FROM t"), 100);
  EXPECT_EQ(rowsWith(log.database, log.wal), 160);

  // Cut inside the last frame, or a damaged byte in the last transaction's first frame:
  // the two earlier transactions stand.
  EXPECT_EQ(rowsWith(log.database, log.wal.substr(0, log.wal.size() - 100)), 130);
  std::string damaged = log.wal;
  damaged[log.framesBeforeLast + kWalFrameHeaderSize + 500] ^= 1;
  EXPECT_EQ(rowsWith(log.database, damaged), 130);
  base::Result<AppliedLog> applied = applyWriteAheadLog(log.database, damaged);
  EXPECT_NE(applied->note.find("bad checksum"), std::string::npos) << applied->note;
}

std::string page(char fill, uint32_t size = 512) { return std::string(size, fill); }

// A database of `pages` pages of 512 bytes (only its header is SQLite's).
std::string database512(int pages) {
  std::string db = std::string("SQLite format 3\0\x02\0", 18);
  db.resize(512 * pages, 'd');
  return db;
}

TEST(WriteAheadLog, AppliesCommittedFramesOfEitherByteOrderAndLeavesTheRest) {
  for (bool bigEndian : {true, false}) {
    const std::string wal = writeAheadLog(
        512, {{2, page('B'), 0}, {3, page('C'), 3}, {1, page('A'), 0}, {2, page('X'), 0}},
        bigEndian);
    base::Result<AppliedLog> applied = applyWriteAheadLog("", wal);
    ASSERT_TRUE(applied.ok()) << applied.error();
    EXPECT_EQ(applied->framesApplied, 2u);
    EXPECT_EQ(applied->image.view(), std::string(512, '\0') + page('B') + page('C'));
    EXPECT_NE(applied->note.find("2 frames after the last commit"), std::string::npos);
  }
  // A commit that shrinks the database, then a frame of an earlier log's salts.
  std::string wal = writeAheadLog(512, {{1, page('A'), 1}, {2, page('Z'), 2}});
  wal.replace(kWalHeaderSize + kWalFrameHeaderSize + 512 + 8, 4, "salt");
  base::Result<AppliedLog> shrunk = applyWriteAheadLog(database512(3), wal);
  ASSERT_TRUE(shrunk.ok()) << shrunk.error();
  EXPECT_EQ(shrunk->image.view(), page('A'));
  EXPECT_NE(shrunk->note.find("frame 2 is left from an earlier log"), std::string::npos);
  // No frame: the database as it was.
  EXPECT_EQ(applyWriteAheadLog(database512(2), writeAheadLog(512, {}))->image.view(),
            database512(2));
}

TEST(WriteAheadLogErrors, IgnoresBadHeadersAndStopsAtHostileFrames) {
  const std::string wal = writeAheadLog(512, {{1, page('A'), 1}});
  auto withByte = [&](size_t at, char value) {
    std::string w = wal;
    w[at] = value;
    return w;
  };
  const std::pair<std::string, std::string_view> cases[] = {
      {wal.substr(0, 31), "shorter than its header"},
      {withByte(3, '\x84'), "bad magic number"},
      {withByte(7, 1), "format"},
      {withByte(10, 3), "a page size of"},
      {withByte(20, 1), "bad header checksum"},
  };
  for (const auto& [bytes, error] : cases) {
    EXPECT_NE(applyWriteAheadLog("", bytes).error().find(error), std::string::npos) << error;
  }
  std::string database1024 = database512(2);
  database1024[16] = 4;
  EXPECT_NE(applyWriteAheadLog(database1024, wal).error().find("the database's are 1024"),
            std::string::npos);
  EXPECT_NE(applyWriteAheadLog(page('x'), wal).error().find("not SQLite"), std::string::npos);

  // A page far beyond what the inputs hold is not allocated: the log stops before it.
  const std::string hostile =
      writeAheadLog(512, {{1, page('A'), 1}, {1, page('B'), 0x40000000}, {2, page('C'), 2}});
  base::Result<AppliedLog> applied = applyWriteAheadLog("", hostile);
  ASSERT_TRUE(applied.ok());
  EXPECT_EQ(applied->image.view(), page('A'));
  EXPECT_NE(applied->note.find("frame 2 names a page"), std::string::npos);
}

TEST(MemoryDatabase, RefusesWhatIsNotADatabase) {
  EXPECT_FALSE(MemoryDatabase::open(SecureBytes(std::string(4096, 'x'))).ok());
  base::Result<MemoryDatabase> empty = MemoryDatabase::open(SecureBytes());
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(count(*empty, "SELECT count(*) FROM sqlite_schema"), 0);
}

// A sort larger than the page cache spills into temporary files: they are made in memory, and
// the sort reads back what it wrote, across many of the files' chunks.
TEST(MemoryDatabase, LargeSortsSpillIntoMemoryAndComeBackWhole) {
  const ovra::testing::TempDir dir;
  sqlite3* writer = nullptr;
  sqlite3_open((dir / "big.db").c_str(), &writer);
  sqlite3_exec(writer,
               "CREATE TABLE t (v TEXT); WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
               "FROM s WHERE i < 60000) INSERT INTO t SELECT printf('%05d%.40c', (i * 7919) % "
               "20000, 'x') FROM s",
               nullptr, nullptr, nullptr);
  sqlite3_close(writer);
  base::Result<MemoryDatabase> db = MemoryDatabase::open(SecureBytes(readAll(dir / "big.db")));
  ASSERT_TRUE(db.ok());
  sqlite3_exec(db->handle(), "PRAGMA cache_size = 8", nullptr, nullptr, nullptr);
  const uint64_t before = memoryTempFilesOpened();
  EXPECT_EQ(count(*db,
                  "SELECT count(*) FROM (SELECT v, count(*) AS n FROM t GROUP BY v "
                  "ORDER BY v) WHERE n = 3"),
            20000);
  EXPECT_EQ(count(*db, "SELECT sum(n) FROM (SELECT count(*) AS n FROM t GROUP BY v)"), 60000);
  EXPECT_GT(memoryTempFilesOpened(), before);
}

}  // namespace
}  // namespace ovra::backup

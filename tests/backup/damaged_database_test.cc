// Damaged and hostile databases in a generated backup: each gives its line and the walk
// reads the other databases all the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "backup/backup_layout.h"
#include "backup_fixture.h"

namespace ovra::backup {
namespace {

// Runs `body` while another connection holds an exclusive lock on the database at `path`,
// with a row written and not committed. SQLite sees the locks of connections in one
// process as it sees those of other processes.
void whileLocked(const std::string& path, const std::function<void()>& body) {
  Connection db;
  ASSERT_EQ(sqlite3_open(path.c_str(), db.out()), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db.get(), "BEGIN EXCLUSIVE; INSERT INTO message (text) VALUES ('x');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  body();
  sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

// Rows of every wrong type: blobs, huge texts, numbers beyond every range, text that is
// not UTF-8, NULLs.
constexpr const char* kHostileMessages =
    "INSERT INTO message (address, date, text, flags) VALUES (x'00ff', 1e308, "
    "CAST(x'c328' AS TEXT), -1), (printf('%.*c', 5000000, '5'), -9223372036854775808, NULL, "
    "9223372036854775807), (CAST(x'ff' AS TEXT), 'abc', printf('%.*c', 5000000, 'x'), 1e300), "
    "(-1e308, x'00', zeroblob(10), NULL)";
constexpr const char* kHostileLaterMessages =
    "INSERT INTO handle (ROWID, id, service) VALUES (-5, x'00ff', 'SMS'), (9223372036854775807, "
    "printf('%.*c', 1000000, '7'), 'iMessage'); INSERT INTO message (guid, handle_id, date, "
    "text, attributedBody, is_from_me) VALUES ('a', -5, 1e308, NULL, x'040b73747265616d', "
    "'yes'), ('b', 9223372036854775807, -9223372036854775808, '', zeroblob(1000), -1), ('c', "
    "12345678, 'abc', CAST(x'ff' AS TEXT), NULL, 1e300), ('d', x'01', x'00', NULL, 'x', NULL)";
constexpr const char* kHostileCalls =
    "INSERT INTO ZCALLRECORD (ZADDRESS, ZDATE, ZDURATION, ZORIGINATED, ZANSWERED) VALUES "
    "(x'00ff', 1e308, -1e308, 1, 1), (printf('%.*c', 1000000, '5'), 'abc', 9.3e18, 'x', NULL), "
    "(CAST(x'ff' AS TEXT), -9223372036854775808, 1e300, 0, x'01')";

enum class Harm { kLocked, kScribbled, kTruncated, kRows };

struct Damage {
  bool modern;
  sample::DatabaseLocation target;
  Harm harm;
  std::string sql;   // kRows: the statements that add them
  std::string line;  // a console line ends with this
  size_t events;     // at least this many events are read
};

// A file that is not a database, a failing query, an unreadable file and odd contact
// values are the SQLite, extraction and fault tests' own.
TEST(DamagedDatabases, GiveTheirLineAndTheWalkGoesOn) {
  using sample::kSmsDatabase, Harm::kRows;
  const std::string kMalformed = "11=database disk image is malformed)";
  const Damage cases[] = {
      // Opened immutable, the file is read as it is: no lock is taken or waited for, and
      // the writer's uncommitted row is not seen.
      {false, kSmsDatabase, Harm::kLocked, "", "Found 400 SMS", 550},
      // The rows on the pages before the damage are kept.
      {false, kSmsDatabase, Harm::kScribbled, "", "FROM message: OK (error: " + kMalformed, 300},
      {false, kSmsDatabase, Harm::kTruncated, "",
       "FROM message: SQL Statement failed to execute. (error: " + kMalformed, 150},
      {false, kSmsDatabase, kRows, kHostileMessages, "Found 404 SMS", 554},
      {true, kSmsDatabase, kRows, kHostileLaterMessages, "Found 404 SMS", 554},
      {true, sample::kCallStore, kRows, kHostileCalls, "Found 153 call(s)", 553},
  };
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.line);
    testing::TempDir home;
    const std::string folder = testing::generate(home, {.modern = d.modern}).backups.at(0).folder;
    const std::string name = sample::storedName(d.target.domain, d.target.path);
    const std::string file = platform::joinPath(folder, d.modern ? storedSubPath(name) : name);
    const auto size = std::filesystem::file_size(file);
    if (d.harm == Harm::kScribbled) {  // pages 70% to 90% into the file
      std::fstream(file, std::ios::in | std::ios::out | std::ios::binary)
          .seekp(static_cast<std::streamoff>(size * 7 / 10 / 4096 * 4096))
          .write(std::string(size / 5, '\xa5').data(), static_cast<std::streamsize>(size / 5));
    }
    if (d.harm == Harm::kTruncated) std::filesystem::resize_file(file, 3 * 4096);
    EXPECT_EQ(d.harm == kRows ? testing::makeDatabase(file, d.sql) : "", "");

    testing::Extracted run;
    if (d.harm == Harm::kLocked) {
      whileLocked(file, [&] { run.read(home.path()); });
    } else {
      run.read(home.path());
    }
    EXPECT_TRUE(run.hasEnding(d.line)) << ::testing::PrintToString(run.lines);
    EXPECT_EQ(run.count("Processed"), 5u);
    EXPECT_NE(run.log.text().find("Read backup of Anna's iPhone."), std::string::npos);
    EXPECT_GE(run.session.eventCount(), d.events);
    run.session.arrangeContents();  // and what was read goes through matching and out as text
    run.session.buildContactRows(1);
    EXPECT_FALSE(run.session.allEvents().empty());
    EXPECT_TRUE(run.session.peopleJSONRepresentation());
  }
}

}  // namespace
}  // namespace ovra::backup

// Damaged and hostile databases in a generated backup: each gives its line and the walk
// reads the other databases all the same.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "fault_env.h"
#include "platform/base/log.h"

namespace ovra::backup {
namespace {

// Runs `body` while another process holds an exclusive lock on the database at `path`,
// with a row written and not committed.
void whileLocked(const std::string& path, const std::function<void()>& body) {
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready) | pipe(done), 0);
  char c = 'n';
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Connection db;
    if (sqlite3_open(path.c_str(), db.out()) == SQLITE_OK &&
        sqlite3_exec(db.get(), "BEGIN EXCLUSIVE; INSERT INTO message (text) VALUES ('x');", nullptr,
                     nullptr, nullptr) == SQLITE_OK) {
      c = 'y';
    }
    if (write(ready[1], &c, 1) == 1 && read(done[0], &c, 1) == 1) {
      sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    _exit(0);
  }
  EXPECT_TRUE(read(ready[0], &c, 1) == 1 && c == 'y');
  body();
  EXPECT_EQ(write(done[1], &c, 1), 1);
  waitpid(child, nullptr, 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

// Rows of every wrong type: blobs, huge texts, numbers beyond every range, text that is
// not UTF-8, NULLs.
constexpr const char* kHostileMessages =
    "INSERT INTO message (address, date, text, flags) VALUES (x'00ff', 1e308, "
    "CAST(x'c328' AS TEXT), -1), (printf('%.*c', 5000000, '5'), -9223372036854775808, NULL, "
    "9223372036854775807), (CAST(x'ff' AS TEXT), 'abc', printf('%.*c', 5000000, 'x'), 1e300), "
    "(-1e308, x'00', zeroblob(10), NULL)";
constexpr const char* kHostileContacts =
    "INSERT INTO ABPerson (ROWID, First, Last, Middle) VALUES (-9223372036854775808, x'00ff', "
    "printf('%.*c', 1000000, 'L'), CAST(x'ff' AS TEXT)); INSERT INTO ABMultiValue (record_id, "
    "property, value) VALUES (-9223372036854775808, 3, x'00'), (-9223372036854775808, 3, "
    "printf('%.*c', 100000, '9')), (-9223372036854775808, x'03', 1e308)";
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

enum class Harm { kLocked, kScribbled, kTruncated, kReplaced, kUnreadable, kStatements };

struct Damage {
  bool modern;
  sample::DatabaseLocation target;
  Harm harm;
  std::string with;  // kStatements: what to run on it; kReplaced: the file put in its place
  std::string line;  // a console line ends with this
  size_t events;     // at least this many events are read
};

TEST(DamagedDatabases, GiveTheirLineAndTheWalkGoesOn) {
  using sample::kAddressBookDatabase, sample::kCallDatabase, sample::kSmsDatabase, Harm::kLocked,
      Harm::kStatements;
  const std::string kMalformed = "11=database disk image is malformed)";
  const std::string kFailed = "SQL Statement failed to execute. (error: ";
  const Damage cases[] = {
      // Opened immutable, the file is read as it is: no lock is taken or waited for, and
      // the writer's uncommitted row is not seen.
      {false, kSmsDatabase, kLocked, "", "Found 400 SMS", 550},
      // The rows on the pages before the damage are kept.
      {false, kSmsDatabase, Harm::kScribbled, "", "FROM message: OK (error: " + kMalformed, 300},
      {false, kSmsDatabase, Harm::kTruncated, "", "FROM message: " + kFailed + kMalformed, 150},
      {false, kSmsDatabase, Harm::kReplaced, "Info.plist", "26=file is not a database)", 150},
      {false, kCallDatabase, Harm::kReplaced,
       sample::storedName(sample::kBookmarksDatabase.domain, sample::kBookmarksDatabase.path),
       "FROM call: " + kFailed + "1=no such table: call)", 400},
      {false, kAddressBookDatabase, kStatements, "DROP TABLE ABPerson; CREATE TABLE ABPerson (a);",
       "FROM ABPerson: " + kFailed + "1=no such column: First)", 550},
      {false, kSmsDatabase, kStatements, kHostileMessages, "Found 404 SMS", 554},
      {false, kAddressBookDatabase, kStatements, kHostileContacts, "Found 13 contact(s)", 550},
      {true, kSmsDatabase, kStatements, kHostileLaterMessages, "Found 404 SMS", 554},
      {true, sample::kCallStore, kStatements, kHostileCalls, "Found 153 call(s)", 553},
      {true, sample::kCallStore, Harm::kUnreadable, "",
       "FROM ZCALLRECORD c: SQLite Database failed to open (error code: 10). (error: 10=disk I/O "
       "error)",
       400},
  };
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.line);
    testing::TempDir home;
    const std::string folder = testing::generate(home, {.modern = d.modern}).backups.at(0).folder;
    const std::string name = sample::storedName(d.target.domain, d.target.path);
    const std::string file = platform::joinPath(folder, d.modern ? storedSubPath(name) : name);
    testing::FaultEnv env;
    if (d.harm == Harm::kReplaced || d.harm == Harm::kUnreadable) env.failUnder = file;
    env.fault = d.harm == Harm::kReplaced ? testing::Fault::kReplaced : testing::Fault::kIoError;
    env.replacement = platform::joinPath(folder, d.with);
    const auto size = std::filesystem::file_size(file);
    if (d.harm == Harm::kScribbled) {  // pages 70% to 90% into the file
      std::fstream(file, std::ios::in | std::ios::out | std::ios::binary)
          .seekp(static_cast<std::streamoff>(size * 7 / 10 / 4096 * 4096))
          .write(std::string(size / 5, '\xa5').data(), static_cast<std::streamsize>(size / 5));
    }
    if (d.harm == Harm::kTruncated) std::filesystem::resize_file(file, 3 * 4096);
    if (d.harm == kStatements) {
      EXPECT_EQ(testing::makeDatabase(file, d.with), "");
    }

    model::Session session;
    DetailedLog log;
    platform::LogCapture capture;
    auto run = [&] { BackupReader(home.path(), session, log, &env).extractPlatformContents(); };
    d.harm == kLocked ? whileLocked(file, run) : run();
    const std::vector<std::string> lines = capture.lines();
    EXPECT_TRUE(std::ranges::any_of(lines, [&](const auto& l) { return l.ends_with(d.line); }))
        << ::testing::PrintToString(lines);
    EXPECT_EQ(
        std::ranges::count_if(lines, [](const auto& l) { return l.starts_with("Processed"); }), 5);
    EXPECT_NE(log.text().find("Read backup of Anna's iPhone."), std::string::npos);
    EXPECT_GE(session.eventCount(), d.events);
    session.arrangeContents();  // and what was read goes through matching and out as text
    session.buildContactRows(1);
    EXPECT_FALSE(session.allEvents().empty());
    EXPECT_TRUE(session.peopleJSONRepresentation());
  }
}

}  // namespace
}  // namespace ovra::backup

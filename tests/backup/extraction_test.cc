#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "platform/base/log.h"
#include "sample_home.h"

namespace ovra::backup {
namespace {

using testing::makeDatabase;
using testing::TempDir;

std::string text(const model::Record& row, size_t i) { return (*row)[i].asString(); }

TEST(FixPhoneNumber, KeepsTheLastNineUnitsOfLongNumbers) {
  const std::pair<std::string, std::string> cases[] = {
      {"+1 (555) 123-4567", "551234567"},
      {"+44 7700 900123", "700900123"},
      {"555-1234", "555-1234"},            // shorter than 9: untouched
      {"12 34 56 78 9", "123456789"},      // 9 after removal: whole
      {"friend@icloud.com", "cloud.com"},  // any text is cut the same way
      {"a.b/c+d e-f(g)h", "b/c+defgh"},    // only spaces, brackets and hyphens go
      {"", ""},
      {"ümlaut", "ümlaut"},  // 6 units, not 7 bytes
      {"ab😀😀😀😀", "b😀😀😀😀"},   // six characters, ten units
      {"123456789😀", "3456789😀"},
      {"1😀23456789", "\uFFFD23456789"},  // a cut surrogate pair
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(BackupReader::fixPhoneNumber(in), out) << in;
}

class Extraction : public ::testing::Test {
 protected:
  std::string db(const std::string& name, const std::string& sql) {
    std::string path = dir_ / name;
    EXPECT_EQ(makeDatabase(path, sql), "");
    return path;
  }
  TempDir dir_;
  model::Session session_;
  DetailedLog log_;
  BackupReader reader_{dir_.path(), session_, log_};
};

const std::string kCallTable =
    "CREATE TABLE call (ROWID INTEGER PRIMARY KEY, address, date, duration, flags);";
const std::string kPersonTable =
    "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First, Last, Middle);";
const std::string kValueTable =
    "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, "
    "identifier INTEGER, label INTEGER, value TEXT);";

TEST_F(Extraction, TurnsRowsIntoEventsPeopleAndListsWithNullsAndBadTextEmpty) {
  const std::string sms = db("sms", R"(
      CREATE TABLE message (ROWID INTEGER PRIMARY KEY, address, date, text, flags);
      INSERT INTO message VALUES (1, '+1 (555) 123-4567', 1300000000, 'hi :)', 2),
                                 (2, NULL, 1300003600, NULL, 3),
                                 (3, 'x@y.z', 1300007200, CAST(X'FF41' AS TEXT), 3);)");
  const std::string book = db("book", kPersonTable + kValueTable + R"(
      INSERT INTO ABPerson VALUES (7, 'Anna', 'Berg', NULL), (9, NULL, NULL, NULL);
      INSERT INTO ABMultiValue VALUES (1, 7, 3, 0, 1, '+1 (555) 123-4567'),
                                      (2, 7, 4, 0, 2, 'anna@example.com'),
                                      (3, 9, 3, 0, 1, NULL), (4, 7, 3, 1, 1, '555-1234567'),
                                      (5, 7, 5, 0, 2, '1 Main Street (back)');)");
  const std::string calls = db("calls", kCallTable + R"(
      INSERT INTO call VALUES (1, '555-123-4567', 1300000000, 0, 4), (2, '72345', 0, 61, 5);)");
  reader_.getSQLightContents(sms, "Library/SMS/sms.db");
  reader_.getSQLightContents(book, "Library/AddressBook/AddressBook.sqlitedb");
  // Calls are read under any path ending with their name, case and all.
  for (const char* name : {"anything/call_history.db", "CALL_HISTORY.DB", "call_history.db-wal"}) {
    reader_.getSQLightContents(calls, name);
  }

  // type, address (normalised in the row itself), message, flag, duration; NULL and
  // text that is not UTF-8 read as "".
  std::vector<std::string> events;
  for (const auto& e : session_.events()) {
    events.push_back(e->type() + "|" + text(e->lib(), 1) + "|" + e->message() + "|" + e->flag() +
                     "|" + e->duration());
  }
  EXPECT_EQ(events,
            (std::vector<std::string>{"sms|551234567|hi :)|2|0", "sms|||3|0", "sms|x@y.z||3|0",
                                      "call|551234567||4|0", "call|72345||5|61"}));
  EXPECT_EQ(session_.avg_sms_hours()->size(), 3u);
  ASSERT_EQ(session_.people().size(), 2u);
  const model::Person& anna = *session_.people()[0];
  EXPECT_EQ(anna.uid() + "|" + anna.firstname() + "|" + anna.lastname() + "|" + anna.middlename(),
            "7|Anna|Berg|");
  EXPECT_EQ(anna.addresses(), (std::vector<std::string>{"551234567", "anna@example.com",
                                                        "551234567", "1 Main Street (back)"}));
  EXPECT_EQ(session_.people()[1]->addresses(), (std::vector<std::string>{""}));
}

TEST_F(Extraction, ListsBookmarkWordsAndAppsMostUsedFirstWithAtMost500Words) {
  // 520 distinct words; w1 to w80 twice.
  const std::string bookmarks = db("bookmarks", R"(
      CREATE TABLE bookmark_title_words (id INTEGER PRIMARY KEY, word TEXT);
      WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600)
      INSERT INTO bookmark_title_words (word) SELECT 'w' || (i % 520) FROM n;)");
  const std::string apps = db("apps", R"(
      CREATE TABLE Scalars (key TEXT, daysSince1970 INTEGER, value INTEGER);
      INSERT INTO Scalars VALUES ('appActivationCount.a', 10, 5), ('appActivationCount.b', 11, 4),
                                 ('appActivationCount.b', 12, 5), ('unlocks', 12, 99);)");
  reader_.getSQLightContents(bookmarks, "Library/Safari/Bookmarks.db");
  reader_.getSQLightContents(apps, "Library/Logs/ADDataStore.sqlitedb");
  const auto& words = session_.browsingHistory();
  ASSERT_EQ(words.size(), 500u);
  EXPECT_EQ(text(words[0], 1), "2");
  EXPECT_EQ(text(words[79], 1), "2");
  EXPECT_EQ(text(words[80], 1), "1");
  ASSERT_EQ(session_.appUse().size(), 2u);
  const model::Record top = session_.appUse()[0];  // key, first and last day, total
  EXPECT_EQ(text(top, 0) + " " + text(top, 1) + " " + text(top, 2) + " " + text(top, 3),
            "appActivationCount.b 11 12 9");
  EXPECT_EQ(text(session_.appUse()[1], 0), "appActivationCount.a");
}

TEST_F(Extraction, ReportsFailedQueriesAndReplacesHourListsWithEmptyOnes) {
  const std::string calls =
      db("calls", kCallTable + "INSERT INTO call VALUES (1, '1', 1300000000, 0, 4);");
  const std::string broken = db("broken", "CREATE TABLE other (a);");
  reader_.getSQLightContents(calls, "call_history.db");
  ASSERT_EQ(session_.avg_call_hours()->size(), 1u);

  platform::LogCapture capture;
  reader_.getSQLightContents(broken, "call_history.db");
  const std::string missing = "SQL Statement failed to execute. (error: 1=no such table: call)";
  const std::vector<std::string> lines = capture.lines();
  ASSERT_EQ(lines.size(), 3u);  // both queries fail, then the file counts as processed
  EXPECT_EQ(lines[0],
            "Error executing query SELECT rowid,address,date,duration,flags FROM call: " + missing);
  EXPECT_EQ(lines[2], "Processed DB call_history.db (" + broken + ")");
  const std::string logged = "Error \"" + missing + "\" executing query on file " + broken;
  EXPECT_EQ(log_.text(), logged + "<br/>" + logged + "<br/>");
  EXPECT_TRUE(session_.avg_call_hours()->empty());
  EXPECT_EQ(session_.events().size(), 1u);
}

// The address book keeps one connection for the values of all contacts; what it logs and
// gathers must equal a fresh query per contact, here written out naively.
TEST_F(Extraction, AddressBookMatchesOneFreshQueryPerContact) {
  const std::string people =
      kPersonTable +
      "INSERT INTO ABPerson VALUES (1, 'A', 'B', 'C'), (2, 'D', NULL, NULL), (5, 'E', 'F', '');";
  const std::string files[] = {
      db("full",
         people + kValueTable +
             "CREATE INDEX i ON ABMultiValue(record_id);"
             "INSERT INTO ABMultiValue VALUES (1, 5, 3, 0, 1, '+1 555 123 4567'), "
             "(2, 1, 4, 0, 1, 'a@b'), (3, 5, 22, 0, 1, 'http://e'), (4, 5, 3, 0, 1, '12');"),
      db("no-values", people),
      db("short-values", people + "CREATE TABLE ABMultiValue (record_id INTEGER, property INTEGER);"
                                  "INSERT INTO ABMultiValue VALUES (1, 3);")};
  for (const std::string& file : files) {
    DetailedLog expectedLog;
    BackupReader naive(dir_.path(), session_, expectedLog);
    std::vector<std::vector<std::string>> expectedAddresses;
    platform::LogCapture expectedCapture;
    SQLiteResult contacts = naive.dbResults(
        file, "SELECT DISTINCT ROWID,First,Last,Middle FROM ABPerson", "contact(s)");
    for (const model::Record& row : contacts.rows) {
      expectedAddresses.emplace_back();
      SQLiteResult values = naive.dbResults(
          file, "SELECT * FROM ABMultiValue mv WHERE mv.record_id = " + text(row, 0), std::nullopt);
      for (const model::Record& v : values.rows) {
        if (v->size() < 6) continue;
        expectedAddresses.back().push_back(
            text(v, 2) == "3" ? BackupReader::fixPhoneNumber(text(v, 5)) : text(v, 5));
      }
    }
    std::vector<std::string> expectedLines = expectedCapture.lines();
    expectedLines.push_back("Processed DB AddressBook.sqlitedb (" + file + ")");

    model::Session session;
    DetailedLog log;
    platform::LogCapture capture;
    BackupReader(dir_.path(), session, log).getSQLightContents(file, "AddressBook.sqlitedb");
    EXPECT_EQ(capture.lines(), expectedLines) << file;
    EXPECT_EQ(log.text(), expectedLog.text()) << file;
    ASSERT_EQ(session.people().size(), expectedAddresses.size());
    for (size_t i = 0; i < expectedAddresses.size(); ++i) {
      EXPECT_EQ(session.people()[i]->addresses(), expectedAddresses[i]) << file << " " << i;
    }
  }
}

// The generator's backups read back in full, in both journal modes, and reading leaves
// every byte of the home folder as it was: no journal, -wal or -shm file appears.
TEST(ExtractionOfGeneratedHome, ReadsEveryRowAndWritesNothing) {
  for (bool wal : {false, true}) {
    TempDir home;
    sample::Options options{.seed = 7, .backups = 2, .contacts = 30, .sms = 500, .calls = 200};
    options.bookmarkWords = 700;
    options.walJournal = wal;
    const sample::Result generated = testing::generate(home, options);
    const auto before = testing::snapshot(home.path());

    model::Session session;
    DetailedLog log;
    BackupReader(home.path(), session, log).extractPlatformContents();
    EXPECT_EQ(testing::snapshot(home.path()), before);

    // Backups are read in listing order; the hour lists are the last one's.
    std::vector<const sample::BackupCounts*> readOrder;
    const auto listing = platform::listDirectory(sample::backupDirectory(home.path()));
    for (const std::string& name : listing.value()) {
      for (const sample::BackupCounts& c : generated.backups) {
        if (std::filesystem::path(c.folder).filename() == name) readOrder.push_back(&c);
      }
    }
    ASSERT_EQ(readOrder.size(), 2u);
    EXPECT_EQ(session.avg_call_hours()->size(), readOrder.back()->callHours);
    EXPECT_EQ(session.avg_sms_hours()->size(), readOrder.back()->smsHours);

    // One detailed-log line per backup, with running totals; every row of both is read.
    std::string expected;
    sample::BackupCounts sum;
    for (const sample::BackupCounts* c : readOrder) {
      for (auto field :
           {&sample::BackupCounts::contacts, &sample::BackupCounts::multiValues,
            &sample::BackupCounts::sms, &sample::BackupCounts::calls,
            &sample::BackupCounts::bookmarkWords, &sample::BackupCounts::appCounters}) {
        sum.*field += c->*field;
      }
      expected += "Read backup of " + c->deviceName +
                  ". In total so far: " + std::to_string(sum.contacts) + " contacts and " +
                  std::to_string(sum.sms + sum.calls) + " communication events<br/>";
    }
    EXPECT_EQ(log.text(), expected);
    EXPECT_EQ(session.peopleCount(), sum.contacts);
    size_t values = 0, sms = 0;
    for (const auto& p : session.people()) values += p->addresses().size();
    for (const auto& e : session.events()) sms += e->type() == "sms";
    EXPECT_EQ(values, sum.multiValues);
    EXPECT_EQ(sms, sum.sms);
    EXPECT_EQ(session.eventCount(), sum.sms + sum.calls);
    EXPECT_EQ(session.browsingHistory().size(), sum.bookmarkWords);
    EXPECT_EQ(session.appUse().size(), sum.appCounters);
  }
}

// Every database of a generated backup broken in a different way: each one is reported
// and passed over, and the backup still gets its detailed-log line.
TEST(ExtractionOfGeneratedHome, PassesOverStoredFilesThatCannotBeRead) {
  TempDir home;
  const sample::Result generated = testing::generate(home, {.contacts = 3});
  auto stored = [&](const sample::DatabaseLocation& db) {
    return platform::joinPath(generated.backups[0].folder, sample::storedName(db.domain, db.path));
  };
  std::filesystem::remove(stored(sample::kSmsDatabase));                         // missing
  testing::writeFile(stored(sample::kCallDatabase), std::string(3000, '\x5A'));  // not SQLite
  testing::writeFile(stored(sample::kAddressBookDatabase), "");                  // empty
  std::filesystem::remove(stored(sample::kBookmarksDatabase));
  ASSERT_EQ(makeDatabase(stored(sample::kBookmarksDatabase), "CREATE TABLE t (a);"), "");
  const std::string unreadable = stored(sample::kAppUseDatabase);
  if (geteuid() == 0) {  // permissions do not stop root: a folder cannot be read either
    std::filesystem::remove(unreadable);
    std::filesystem::create_directory(unreadable);
  } else {
    chmod(unreadable.c_str(), 0);
  }

  model::Session session;
  DetailedLog log;
  platform::LogCapture capture;
  BackupReader(home.path(), session, log).extractPlatformContents();
  size_t processed = 0, errors = 0;
  for (const std::string& line : capture.lines()) {
    processed += line.starts_with("Processed DB ");
    errors += line.starts_with("Error executing query ");
  }
  EXPECT_EQ(processed, 5u);
  EXPECT_EQ(errors, 7u);  // the message and call databases run two queries each
  EXPECT_EQ(session.peopleCount() + session.eventCount(), 0u);
  EXPECT_TRUE(log.text().ends_with(
      "<br/>Read backup of Anna's iPhone. In total so far: 0 contacts and 0 communication "
      "events<br/>"));
  chmod(unreadable.c_str(), 0644);
}

}  // namespace
}  // namespace ovra::backup

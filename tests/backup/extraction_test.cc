#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "platform/log.h"
#include "sample_home.h"

namespace ovra::backup {
namespace {

using testing::makeDatabase;
using testing::TempDir;

std::string text(const model::Record& row, size_t i) { return (*row)[i].asString(); }

TEST(FixPhoneNumber, KeepsTheLastNineUnitsOfLongNumbers) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"+1 (555) 123-4567", "551234567"},
      {"555-1234567", "551234567"},
      {"555-1234", "555-1234"},        // shorter than 9: untouched
      {"12 34 56 78 9", "123456789"},  // 9 after removal: whole
      {"+44 7700 900123", "700900123"},
      {"07700 900123", "700900123"},
      {"friend@icloud.com", "cloud.com"},  // any text is cut the same way
      {"a.b/c+d e-f(g)h", "b/c+defgh"},    // only spaces, brackets and hyphens go
      {"", ""},
      {"ümlaut", "ümlaut"},  // 6 units, not 7 bytes
      {"ab😀😀😀😀", "b😀😀😀😀"},   // six characters, ten units
      {"123456789😀", "3456789😀"},
      {"12345678😀9", "345678😀9"},
      {"1😀23456789",
       "\xEF\xBF\xBD"
       "23456789"},  // a cut surrogate pair
  };
  for (const Case& c : cases) EXPECT_EQ(BackupReader::fixPhoneNumber(c.in), c.out) << c.in;
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

TEST_F(Extraction, TurnsRowsIntoEventsPeopleAndListsWithNullsAndBadTextEmpty) {
  const std::string sms = db("sms", R"(
      CREATE TABLE message (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER, text TEXT,
                            flags INTEGER);
      INSERT INTO message VALUES (1, '+1 (555) 123-4567', 1300000000, 'hi :)', 2),
                                 (2, NULL, 1300003600, NULL, 3),
                                 (3, 'x@y.z', 1300007200, CAST(X'FF41' AS TEXT), 3);)");
  const std::string book = db("book", R"(
      CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First TEXT, Last TEXT, Middle TEXT);
      CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER,
                                 identifier INTEGER, label INTEGER, value TEXT);
      INSERT INTO ABPerson VALUES (7, 'Anna', 'Berg', NULL), (9, NULL, NULL, NULL);
      INSERT INTO ABMultiValue VALUES (1, 7, 3, 0, 1, '+1 (555) 123-4567'),
                                      (2, 7, 4, 0, 2, 'anna@example.com'),
                                      (3, 9, 3, 0, 1, NULL), (4, 7, 3, 1, 1, '555-1234567'),
                                      (5, 7, 5, 0, 2, '1 Main Street (back)');)");
  reader_.getSQLightContents(sms, "Library/SMS/sms.db");
  reader_.getSQLightContents(book, "Library/AddressBook/AddressBook.sqlitedb");

  ASSERT_EQ(session_.events().size(), 3u);
  const model::Event& first = *session_.events()[0];
  EXPECT_EQ(first.type(), "sms");
  EXPECT_EQ(text(first.lib(), 1), "551234567");  // normalised in the row itself
  EXPECT_EQ(first.message(), "hi :)");
  EXPECT_EQ(first.flag(), "2");
  EXPECT_EQ(text(session_.events()[1]->lib(), 1), "");
  EXPECT_EQ(session_.events()[1]->message(), "");
  EXPECT_EQ(session_.events()[2]->message(), "");  // not UTF-8
  ASSERT_TRUE(session_.avg_sms_hours());
  EXPECT_EQ(session_.avg_sms_hours()->size(), 3u);

  ASSERT_EQ(session_.people().size(), 2u);
  const model::Person& anna = *session_.people()[0];
  EXPECT_EQ(anna.uid(), "7");
  EXPECT_EQ(anna.firstname(), "Anna");
  EXPECT_EQ(anna.lastname(), "Berg");
  EXPECT_EQ(anna.middlename(), "");
  EXPECT_EQ(anna.addresses(), (std::vector<std::string>{"551234567", "anna@example.com",
                                                        "551234567", "1 Main Street (back)"}));
  EXPECT_EQ(session_.people()[1]->addresses(), (std::vector<std::string>{""}));
}

TEST_F(Extraction, ReadsCallsUnderAnyPathEndingWithTheirName) {
  const std::string calls = db("calls", R"(
      CREATE TABLE call (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER, duration INTEGER,
                         flags INTEGER);
      INSERT INTO call VALUES (1, '555-123-4567', 1300000000, 0, 4), (2, '72345', 0, 61, 5);)");
  for (const char* name :
       {"anything/call_history.db", "call_history.db", "CALL_HISTORY.DB", "call_history.db-wal"}) {
    reader_.getSQLightContents(calls, name);
  }
  ASSERT_EQ(session_.events().size(), 4u);
  const model::Event& call = *session_.events()[1];
  EXPECT_EQ(call.type(), "call");
  EXPECT_EQ(call.duration(), "61");
  EXPECT_EQ(call.flag(), "5");
  EXPECT_EQ(call.message(), "");
  EXPECT_EQ(text(session_.events()[0]->lib(), 1), "551234567");
}

TEST_F(Extraction, ReportsFailedQueriesAndReplacesHourListsWithEmptyOnes) {
  const std::string calls = db("calls", R"(
      CREATE TABLE call (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER, duration INTEGER,
                         flags INTEGER);
      INSERT INTO call VALUES (1, '555-123-4567', 1300000000, 0, 4);)");
  const std::string broken = db("broken", "CREATE TABLE other (a);");
  reader_.getSQLightContents(calls, "call_history.db");
  ASSERT_EQ(session_.avg_call_hours()->size(), 1u);

  platform::LogCapture capture;
  reader_.getSQLightContents(broken, "call_history.db");
  const std::string missing = "SQL Statement failed to execute. (error: 1=no such table: call)";
  EXPECT_EQ(
      capture.lines(),
      (std::vector<std::string>{
          "Error executing query SELECT rowid,address,date,duration,flags FROM call: " + missing,
          "Error executing query SELECT strftime('%H', date, 'unixepoch') as hour, "
          "count(*) FROM call GROUP BY hour ORDER BY hour ASC: " +
              missing,
          "Processed DB call_history.db (" + broken + ")"}));
  EXPECT_EQ(log_.text(), "Error \"" + missing + "\" executing query on file " + broken +
                             "<br/>Error \"" + missing + "\" executing query on file " + broken +
                             "<br/>");
  EXPECT_TRUE(session_.avg_call_hours()->empty());
  EXPECT_EQ(session_.events().size(), 1u);
}

// The address book keeps one connection for the values of all contacts; what it logs and
// gathers must equal a fresh query per contact, here written out naively.
TEST_F(Extraction, AddressBookMatchesOneFreshQueryPerContact) {
  const std::string people =
      "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First TEXT, Last TEXT, Middle TEXT);"
      "INSERT INTO ABPerson VALUES (1, 'A', 'B', 'C'), (2, 'D', NULL, NULL), (5, 'E', 'F', '');";
  const std::string files[] = {
      db("full",
         people + "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, "
                  "property INTEGER, identifier INTEGER, label INTEGER, value TEXT);"
                  "CREATE INDEX i ON ABMultiValue(record_id);"
                  "INSERT INTO ABMultiValue VALUES (1, 5, 3, 0, 1, '+1 555 123 4567'), "
                  "(2, 1, 4, 0, 1, 'a@b'), (3, 5, 22, 0, 1, 'http://e'), (4, 5, 3, 0, 1, '12');"),
      db("no-values", people),
      db("short-values", people + "CREATE TABLE ABMultiValue (record_id INTEGER, property INTEGER);"
                                  "INSERT INTO ABMultiValue VALUES (1, 3);")};
  for (const std::string& file : files) {
    model::Session expectedSession;
    DetailedLog expectedLog;
    BackupReader naive(dir_.path(), expectedSession, expectedLog);
    std::vector<std::string> expectedLines;
    std::vector<std::vector<std::string>> expectedAddresses;
    {
      platform::LogCapture capture;
      SQLiteResult contacts = naive.dbResults(
          file, "SELECT DISTINCT ROWID,First,Last,Middle FROM ABPerson", "contact(s)");
      for (const model::Record& row : contacts.rows) {
        expectedAddresses.emplace_back();
        SQLiteResult values = naive.dbResults(
            file, "SELECT * FROM ABMultiValue mv WHERE mv.record_id = " + text(row, 0),
            std::nullopt);
        for (const model::Record& v : values.rows) {
          if (v->size() < 6) continue;
          expectedAddresses.back().push_back(
              text(v, 2) == "3" ? BackupReader::fixPhoneNumber(text(v, 5)) : text(v, 5));
        }
      }
      expectedLines = capture.lines();
    }
    expectedLines.push_back("Processed DB AddressBook.sqlitedb (" + file + ")");

    model::Session session;
    DetailedLog log;
    BackupReader reader(dir_.path(), session, log);
    platform::LogCapture capture;
    reader.getSQLightContents(file, "AddressBook.sqlitedb");
    EXPECT_EQ(capture.lines(), expectedLines) << file;
    EXPECT_EQ(log.text(), expectedLog.text()) << file;
    ASSERT_EQ(session.people().size(), expectedAddresses.size());
    for (size_t i = 0; i < expectedAddresses.size(); ++i) {
      EXPECT_EQ(session.people()[i]->addresses(), expectedAddresses[i]) << file << " " << i;
    }
  }
}

// The generator's backups read back in full, in both journal modes, and reading leaves
// every byte of the home folder as it was.
TEST(ExtractionOfGeneratedHome, ReadsEveryRowAndWritesNothing) {
  for (bool wal : {false, true}) {
    TempDir home;
    sample::Options options;
    options.seed = 7;
    options.backups = 2;
    options.contacts = 30;
    options.sms = 500;
    options.calls = 200;
    options.bookmarkWords = 700;
    options.walJournal = wal;
    sample::Result generated = sample::writeSampleHome(home.path(), options);
    ASSERT_TRUE(generated.ok()) << generated.error;
    const auto before = testing::snapshot(home.path());

    model::Session session;
    DetailedLog log;
    BackupReader reader(home.path(), session, log);
    reader.extractPlatformContents();
    EXPECT_EQ(testing::snapshot(home.path()), before);

    auto sum = [&](size_t sample::BackupCounts::*field) {
      size_t n = 0;
      for (const sample::BackupCounts& b : generated.backups) n += b.*field;
      return n;
    };
    EXPECT_EQ(session.peopleCount(), sum(&sample::BackupCounts::contacts));
    EXPECT_EQ(session.eventCount(),
              sum(&sample::BackupCounts::sms) + sum(&sample::BackupCounts::calls));
    size_t values = 0;
    for (const auto& p : session.people()) values += p->addresses().size();
    EXPECT_EQ(values, sum(&sample::BackupCounts::multiValues));
    EXPECT_EQ(session.browsingHistory().size(), sum(&sample::BackupCounts::bookmarkWords));
    EXPECT_EQ(session.appUse().size(), sum(&sample::BackupCounts::appCounters));
    // Backups are read in listing order; the hour lists are the last one's.
    std::vector<const sample::BackupCounts*> readOrder;
    const std::vector<std::string> listing =
        platform::listDirectory(sample::backupDirectory(home.path())).value();
    for (const std::string& name : listing) {
      for (const sample::BackupCounts& c : generated.backups) {
        if (std::filesystem::path(c.folder).filename() == name) readOrder.push_back(&c);
      }
    }
    ASSERT_EQ(readOrder.size(), 2u);
    EXPECT_EQ(session.avg_call_hours()->size(), readOrder.back()->callHours);
    EXPECT_EQ(session.avg_sms_hours()->size(), readOrder.back()->smsHours);
    size_t sms = 0;
    for (const auto& e : session.events()) sms += e->type() == "sms";
    EXPECT_EQ(sms, sum(&sample::BackupCounts::sms));

    // One detailed-log line per backup, in listing order, with running totals.
    std::string expected;
    size_t people = 0, events = 0;
    for (const sample::BackupCounts* c : readOrder) {
      people += c->contacts;
      events += c->sms + c->calls;
      expected += "Read backup of " + c->deviceName +
                  ". In total so far: " + std::to_string(people) + " contacts and " +
                  std::to_string(events) + " communication events<br/>";
    }
    EXPECT_EQ(log.text(), expected);
  }
}

// Every database of a generated backup broken in a different way: each one is reported
// and passed over, and the backup still gets its detailed-log line.
TEST(ExtractionOfGeneratedHome, PassesOverStoredFilesThatCannotBeRead) {
  TempDir home;
  sample::Options options;
  options.contacts = 3;
  sample::Result generated = sample::writeSampleHome(home.path(), options);
  ASSERT_TRUE(generated.ok()) << generated.error;
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

#include <gtest/gtest.h>

#include <tuple>

#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "platform/base/log.h"

namespace ovra::backup {
namespace {

TEST(FixPhoneNumber, KeepsTheLastNineUnitsOfLongNumbers) {
  const std::pair<std::string, std::string> cases[] = {
      {"+1 (555) 123-4567", "551234567"},
      {"12 34 56 78 9", "123456789"},    // 9 after removal: whole
      {"a.b/c+d e-f(g)h", "b/c+defgh"},  // only spaces, brackets and hyphens go
      {"ümlaut", "ümlaut"},              // shorter than 9 units (not 7 bytes): untouched
      {"ab😀😀😀😀", "b😀😀😀😀"},               // six characters, ten units
      {"1😀23456789", "\uFFFD23456789"},  // a cut surrogate pair
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(BackupReader::fixPhoneNumber(in), out) << in;
}

class Extraction : public testing::ReaderTest {};

TEST_F(Extraction, TurnsMessagesAndCallsIntoEventsAndReportsFailedQueries) {
  const std::string sms = db("sms", R"(
      CREATE TABLE message (ROWID INTEGER PRIMARY KEY, address, date, text, flags);
      INSERT INTO message VALUES (1, '+1 (555) 123-4567', 1300000000, 'hi :)', 2),
                                 (2, NULL, 1300003600, NULL, 3),
                                 (3, 'x@y.z', 1300007200, CAST(X'FF41' AS TEXT), 3);)");
  const std::string calls = db("calls", R"(
      CREATE TABLE call (ROWID INTEGER PRIMARY KEY, address, date, duration, flags);
      INSERT INTO call VALUES (1, '555-123-4567', 1300000000, 0, 4), (2, '72345', 0, 61, 5);)");
  reader_.getSQLightContents(sms, "Library/SMS/sms.db");
  // Calls are read under any path ending with their name, case and all.
  for (const char* name : {"anything/call_history.db", "CALL_HISTORY.DB", "call_history.db-wal"}) {
    reader_.getSQLightContents(calls, name);
  }

  // The address is normalised in the row itself.
  EXPECT_EQ(events(),
            (std::vector<std::string>{"sms|1|551234567|1300000000|hi :)|0|2",
                                      "sms|2||1300003600||0|3", "sms|3|x@y.z|1300007200||0|3",
                                      "call|1|551234567|1300000000||0|4", "call|2|72345|0||61|5"}));
  EXPECT_EQ(session_.avg_call_hours()->size(), 2u);

  // A database without the table: both queries are reported and the hour list is
  // replaced by an empty one.
  const std::string broken = db("broken", "CREATE TABLE other (a);");
  platform::LogCapture capture;
  reader_.getSQLightContents(broken, "call_history.db");
  const std::string missing = "SQL Statement failed to execute. (error: 1=no such table: call)";
  EXPECT_EQ(capture.lines().at(0),
            "Error executing query SELECT rowid,address,date,duration,flags FROM call: " + missing);
  const std::string logged = "Error \"" + missing + "\" executing query on file " + broken;
  EXPECT_EQ(log_.text(), logged + "<br/>" + logged + "<br/>");
  EXPECT_TRUE(session_.avg_call_hours()->empty());
}

// Each contact with its values, phone numbers normalised; a failing values query is
// reported for each contact with its own text, and rows without a value are passed over.
TEST_F(Extraction, ReadsEachContactWithItsAddressBookValues) {
  const std::string people =
      "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First, Last, Middle);"
      "INSERT INTO ABPerson VALUES (1, 'A', 'B', 'C'), (2, 'D', NULL, NULL), (5, 'E', 'F', '');";
  const std::string failure =
      "SQL Statement failed to execute. (error: 1=no such table: ABMultiValue)";
  const std::tuple<std::string, std::string, bool> cases[] = {
      {db("full", people +
                      "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id, property, "
                      "identifier, label, value);"
                      "INSERT INTO ABMultiValue VALUES (1, 5, 3, 0, 1, '+1 555 123 4567'), "
                      "(2, 1, 4, 0, 1, 'a@b'), (3, 5, 22, 0, 1, 'http://e'), (4, 5, 3, 0, 1, '12'),"
                      "(5, 2, 3, 0, 1, NULL);"),
       "1 A B C: a@b|2 D  : |5 E F : 551234567 http://e 12|", false},
      {db("no-values", people), "1 A B C:|2 D  :|5 E F :|", true},
      {db("short-values", people + "CREATE TABLE ABMultiValue (record_id, property);"
                                   "INSERT INTO ABMultiValue VALUES (1, 3);"),
       "1 A B C:|2 D  :|5 E F :|", false}};
  for (const auto& [file, expected, valuesFail] : cases) {
    model::Session session;
    DetailedLog log;
    platform::LogCapture capture;
    BackupReader(dir_.path(), session, log).getSQLightContents(file, "AddressBook.sqlitedb");
    std::string found, expectedLog;
    std::vector<std::string> lines = {"Found 3 contact(s)"};
    for (const auto& p : session.people()) {
      found += p->uid() + " " + p->firstname() + " " + p->lastname() + " " + p->middlename() + ":";
      for (const std::string& a : p->addresses()) found += " " + a;
      found += "|";
      if (!valuesFail) continue;
      lines.push_back("Error executing query SELECT * FROM ABMultiValue mv WHERE mv.record_id = " +
                      p->uid() + ": " + failure);
      expectedLog += "Error \"" + failure + "\" executing query on file " + file + "<br/>";
    }
    lines.push_back("Processed DB AddressBook.sqlitedb (" + file + ")");
    EXPECT_EQ(found, expected) << file;
    EXPECT_EQ(capture.lines(), lines) << file;
    EXPECT_EQ(log.text(), expectedLog) << file;
  }
}

}  // namespace
}  // namespace ovra::backup

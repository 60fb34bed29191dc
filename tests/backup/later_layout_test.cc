// Backups of later phones: the attributedBody reader, the later message and call layouts,
// Manifest.db folders and their bad records, and a home mixing both kinds of backup.
#include <gtest/gtest.h>

#include <tuple>

#include "backup/attributed_body.h"
#include "backup/backup_layout.h"
#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "platform/base/log.h"

namespace ovra::backup {
namespace {

using testing::makeDatabase;
using testing::TempDir;

const std::string kPlistHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>";

std::string hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out = "X'";
  for (unsigned char c : bytes) (out += kDigits[c >> 4]) += kDigits[c & 15];
  return out + "'";
}

TEST(AttributedBody, ReadsTheArchivedTextAndNothingFromBrokenArchives) {
  const std::string longText(200, 'a'), hugeText(70000, 'b');
  std::string mutableClass = sample::attributedBody("hey");
  mutableClass.replace(mutableClass.find("\x08NSString"), 9, "\x0fNSMutableString");
  std::string overlong = sample::attributedBody("hey");
  overlong[overlong.find("hey") - 1] = 0x7f;  // a count past the end
  const std::pair<std::string, std::string> cases[] = {
      {sample::attributedBody("hi :) 😀"), "hi :) 😀"},
      {sample::attributedBody(longText), longText},  // 16-bit count
      {sample::attributedBody(hugeText), hugeText},  // 32-bit count
      {mutableClass, "hey"},
      {overlong, ""},
      {sample::attributedBody("\xff\xfe"), ""},  // not UTF-8
      {"plain text", ""},
  };
  for (const auto& [archive, text] : cases) EXPECT_EQ(attributedBodyText(archive), text) << text;
  // Every cut of an archive gives its whole text or nothing.
  const std::string archive = sample::attributedBody("cut me :)");
  for (size_t n = 0; n < archive.size(); ++n) {
    const std::string got = attributedBodyText(archive.substr(0, n));
    EXPECT_TRUE(got.empty() || got == "cut me :)") << n;
  }
}

class LaterLayouts : public ::testing::Test {
 protected:
  std::string db(const std::string& name, const std::string& sql) {
    std::string path = dir_ / name;
    EXPECT_EQ(makeDatabase(path, sql), "") << name;
    return path;
  }
  std::vector<std::string> events() const {
    std::vector<std::string> out;
    for (const auto& e : session_.events()) {
      const auto& row = *e->lib();
      out.push_back(e->type() + "|" + row[0].asString() + "|" + row[1].asString() + "|" +
                    row[2].asString() + "|" + e->message() + "|" + e->duration() + "|" + e->flag());
    }
    return out;
  }
  TempDir dir_;
  model::Session session_;
  DetailedLog log_;
  BackupReader reader_{dir_.path(), session_, log_};
  platform::LogCapture quiet_;
};

// Rows in the old shapes; e-mail handles whole; texts from attributedBody; seconds and
// nanoseconds since 2001; sent group messages and missing handles without an address.
TEST_F(LaterLayouts, ReadMessagesAndCallsIntoTheOldRows) {
  const std::string sms = db("sms", R"(
      CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT);
      INSERT INTO handle VALUES (1, '+1 (555) 123-4567'), (2, 'Anna.B@example.com');
      CREATE TABLE message (ROWID INTEGER PRIMARY KEY, text, handle_id, date, is_from_me,
                            attributedBody);
      INSERT INTO message VALUES (1, 'hi :)', 1, 300000000, 0, NULL),
          (2, NULL, 2, 300000000123456789, 1, )" +
                                        hex(sample::attributedBody("yo :)")) + R"(),
          (3, '', 0, 300000001, 1, X'0102'), (4, 'lost', 9, 300000002, 0, NULL),
          (5, 'far', 1, 99999999999, 0, NULL);)");
  const std::string calls = db("calls", R"(
      CREATE TABLE ZCALLRECORD (Z_PK INTEGER PRIMARY KEY, ZADDRESS, ZDATE, ZDURATION,
                                ZORIGINATED, ZANSWERED);
      INSERT INTO ZCALLRECORD VALUES (1, CAST('555-123-4567' AS BLOB), 300000000.5, 61.7, 1, 0),
                                     (2, 'a@b.example', 0.0, 30.0, 0, 0),
                                     (3, '5551234567', 3600.0, 12.0, 0, 1);)");
  reader_.getSQLightContents(sms, "Library/SMS/sms.db");
  reader_.getSQLightContents(calls, "Library/CallHistoryDB/CallHistory.storedata");
  EXPECT_EQ(events(), (std::vector<std::string>{
                          "sms|1|551234567|1278307200|hi :)|0|2",
                          "sms|2|Anna.B@example.com|1278307200|yo :)|0|3",
                          "sms|3||1278307201||0|3",
                          "sms|4||1278307202|lost|0|2",
                          "sms|5|551234567|2147483647|far|0|2",
                          "call|1|551234567|1278307200||61|5",
                          "call|2|a@b.example|978307200||0|4",
                          "call|3|551234567|978310800||12|4",
                      }));
  EXPECT_EQ(session_.avg_sms_hours()->size(), 2u);  // 1278307200.. and the clamped date
  EXPECT_EQ(log_.text(), "1 message(s) in Library/SMS/sms.db (" + sms +
                             ") name a handle that is missing: read without an address<br/>"
                             "1 date(s) in Library/SMS/sms.db (" +
                             sms + ") out of range: clamped<br/>");

  // The e-mail handle finds its contact, and the text only in attributedBody counts its
  // emoticon.
  auto anna = std::make_shared<model::Person>();
  anna->setUid("7");
  anna->addresses() = {"Anna.B@example.com"};
  session_.addPerson(anna);
  session_.arrangeContents();
  EXPECT_EQ(anna->getEmoticons(), "{\"smiling\":[1278307200]}");
}

// A later layout that lacks what its queries need: one line, nothing read. Old layouts
// (no handle table, no ZCALLRECORD) keep their own failure lines.
TEST_F(LaterLayouts, MissingTablesAndColumnsGiveOneLine) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"sms.db", "CREATE TABLE handle (id); CREATE TABLE message (handle_id, date, text);",
       "lacks message.is_from_me"},
      {"sms.db", "CREATE TABLE message (handle_id, date, text, is_from_me);", "lacks handle"},
      {"CallHistory.storedata", "CREATE TABLE Z_METADATA (Z_VERSION);", "lacks ZCALLRECORD"},
      {"call_history.db",
       "CREATE TABLE ZCALLRECORD (Z_PK, ZADDRESS, ZDATE, ZDURATION, ZORIGINATED);",
       "lacks ZCALLRECORD.ZANSWERED"},
  };
  int n = 0;
  for (const auto& [name, schema, missing] : cases) {
    DetailedLog log;
    const std::string path = db(std::to_string(n++), schema);
    BackupReader(dir_.path(), session_, log).getSQLightContents(path, name);
    EXPECT_EQ(log.text(), name + " (" + path + ") " + missing + ": not read<br/>");
  }
  EXPECT_EQ(session_.eventCount(), 0u);
}

// Manifest.db folders: each bad record or file list is one line and the walk goes on.
TEST(ManifestDb, ReadsListedDatabasesAndReportsEachBadRecord) {
  const std::string sms = "Library/SMS/sms.db", id = storedName("HomeDomain", sms);
  const std::string other = storedName("HomeDomain", "Library/Other/sms.db");
  const std::string files =
      "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain, relativePath, flags, file);";
  auto record = [](const std::string& fileId, const std::string& path, int flags = 1) {
    return "INSERT INTO Files VALUES ('" + fileId + "', 'HomeDomain', '" + path + "', " +
           std::to_string(flags) + ", NULL);";
  };
  const std::string read =
      "Read backup of P. In total so far: 0 contacts and 1 communication "
      "events<br/>";
  const std::string none =
      "Read backup of P. In total so far: 0 contacts and 0 communication "
      "events<br/>";
  const std::string prefix = "file list record HomeDomain-" + sms;
  // Manifest.db contents (SQL, or raw bytes when not SQL), Manifest.plist, expected log.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {files + record(id, sms) +
           record(storedName("HomeDomain", "Library/Dir/sms.db"), "Library/Dir/sms.db", 2),
       "", read},
      {files + record(other, sms), "",
       prefix + " is stored as " + other + ", not under its own name: read all the same<br/>" +
           read},
      {files + record("../" + id, sms), "",
       prefix + " has no usable file ID (../" + id + "): not read<br/>" + none},
      {files + record(storedName("HomeDomain", "Library/Gone/sms.db"), "Library/Gone/sms.db"), "",
       "file list record HomeDomain-Library/Gone/sms.db: its file " +
           storedName("HomeDomain", "Library/Gone/sms.db") + " is missing<br/>" + none},
      {"CREATE TABLE Other (a);", "", "no such table: Files"},
      {"not a database at all", "", "file is not a database"},
      {files + record(id, sms), kPlistHead + "<key>IsEncrypted</key><true/></dict></plist>",
       "encrypted backup of P: not read<br/>"},
  };
  for (const auto& [manifest, manifestPlist, expected] : cases) {
    TempDir home;
    const std::string folder = platform::joinPath(backupDirectory(home.path()), "b");
    testing::writeFile(platform::joinPath(folder, "Info.plist"),
                       kPlistHead + "<key>Device Name</key><string>P</string></dict></plist>");
    if (!manifestPlist.empty()) {
      testing::writeFile(platform::joinPath(folder, "Manifest.plist"), manifestPlist);
    }
    const std::string dbPath = platform::joinPath(folder, "Manifest.db");
    if (manifest.starts_with("not")) {
      testing::writeFile(dbPath, manifest);
    } else {
      ASSERT_EQ(makeDatabase(dbPath, manifest), "");
    }
    for (const std::string& stored : {id, other}) {
      testing::writeFile(platform::joinPath(folder, storedSubPath(stored)), "");
      ASSERT_EQ(makeDatabase(platform::joinPath(folder, storedSubPath(stored)),
                             "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id);"
                             "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, handle_id, date, "
                             "text, is_from_me); INSERT INTO message VALUES (1, 0, 0, 'a', 1);"),
                "");
    }
    model::Session session;
    DetailedLog log;
    platform::LogCapture quiet;
    BackupReader(home.path(), session, log).extractPlatformContents();
    if (expected.ends_with("<br/>")) {
      EXPECT_EQ(log.text(), expected) << manifest;
    } else {
      EXPECT_NE(log.text().find("cannot be read: SQL Statement failed to execute. (error: "),
                std::string::npos)
          << log.text();
      EXPECT_NE(log.text().find(expected + ")<br/>" + none), std::string::npos) << log.text();
    }
  }
}

// One old and one later backup in one home: every row of both is read, and the e-mail
// addresses of the later one find their contacts.
TEST(ManifestDb, ReadsAHomeOfOldAndLaterBackupsInFull) {
  TempDir home;
  const sample::BackupCounts old = testing::generate(home, {.seed = 1}).backups[0];
  const sample::BackupCounts later =
      testing::generate(home, {.seed = 2, .modern = true}).backups[0];
  ASSERT_GT(later.bodyOnlyTexts * later.emailMessages * later.groupMessages, 0u);
  const auto before = testing::snapshot(home.path());
  model::Session session;
  DetailedLog log;
  platform::LogCapture quiet;
  BackupReader(home.path(), session, log).extractPlatformContents();
  EXPECT_EQ(testing::snapshot(home.path()), before);
  std::vector<std::string> lines;
  for (size_t at = 0, next; (next = log.text().find("<br/>", at)) != std::string::npos;
       at = next + 5) {
    lines.push_back(log.text().substr(at, next - at));
  }
  auto line = [](size_t contacts, size_t events) {
    return "Read backup of Anna's iPhone. In total so far: " + std::to_string(contacts) +
           " contacts and " + std::to_string(events) + " communication events";
  };
  const size_t oldEvents = old.sms + old.calls, laterEvents = later.sms + later.calls;
  ASSERT_EQ(lines.size(), 2u);  // the listing order decides which backup comes first
  EXPECT_TRUE(lines[0] == line(old.contacts, oldEvents) ||
              lines[0] == line(later.contacts, laterEvents))
      << lines[0];
  EXPECT_EQ(lines[1], line(old.contacts + later.contacts, oldEvents + laterEvents));
  size_t sms = 0;
  for (const auto& e : session.events()) sms += e->type() == "sms";
  EXPECT_EQ(sms, old.sms + later.sms);
  session.arrangeContents();
  size_t matched = 0;
  for (const auto& e : session.events()) {
    matched += e->lib()->at(1).asString().find('@') != std::string::npos && e->owner() != nullptr;
  }
  EXPECT_EQ(matched, later.emailMessages);
}

}  // namespace
}  // namespace ovra::backup

// Backups of later phones: the attributedBody reader, the later message and call layouts,
// and Manifest.db folders with their bad records. The sample-home test reads one whole.
#include <gtest/gtest.h>

#include <tuple>

#include "backup/attributed_body.h"
#include "backup/backup_layout.h"
#include "backup_fixture.h"
#include "platform/files/plist.h"

namespace ovra::backup {
namespace {

using testing::makeDatabase;

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
  const std::pair<std::string, std::string> cases[] = {
      {sample::attributedBody("hi :) 😀"), "hi :) 😀"},
      {sample::attributedBody(longText), longText},  // 16-bit count
      {sample::attributedBody(hugeText), hugeText},  // 32-bit count
      {mutableClass, "hey"},
      {sample::attributedBody("\xff\xfe"), ""},  // not UTF-8
  };
  for (const auto& [archive, text] : cases) EXPECT_EQ(attributedBodyText(archive), text) << text;
  // Every cut of an archive (a count past the end) gives its whole text or nothing.
  const std::string archive = sample::attributedBody("cut me :)");
  for (size_t n = 0; n < archive.size(); ++n) {
    const std::string got = attributedBodyText(archive.substr(0, n));
    EXPECT_TRUE(got.empty() || got == "cut me :)") << n;
  }
}

class LaterLayouts : public testing::ReaderTest {};

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
  std::string expected;
  for (const auto& [name, schema, missing] : cases) {
    const std::string path = db(std::to_string(expected.size()), schema);
    reader_.getSQLightContents(path, name);
    expected += name + " (" + path + ") " + missing + ": not read<br/>";
  }
  EXPECT_EQ(log_.text(), expected);
  EXPECT_EQ(session_.eventCount(), 0u);
}

// "hour|count" of each message hour row.
std::vector<std::string> hourTexts(const model::Session& session) {
  const std::optional<std::vector<model::Record>> rows = session.avg_sms_hours();
  std::vector<std::string> out;
  for (const model::Record& row : rows.value_or(std::vector<model::Record>())) {
    out.push_back(row->at(0).asString() + "|" + row->at(1).asString());
  }
  return out;
}

// A file of an earlier version is read by the columns it has: a notice is left out, a row
// whose columns are NULL stays; a file without such rows says nothing of them.
TEST_F(LaterLayouts, LeaveOutRowsByTheColumnsThereAre) {
  const std::string handles =
      "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT);"
      "INSERT INTO handle VALUES (1, '5551234567');";
  const std::string earlier = db("earlier", handles + R"(
      CREATE TABLE message (ROWID INTEGER PRIMARY KEY, text, handle_id, date, is_from_me,
                            item_type);
      INSERT INTO message VALUES (1, 'old', 1, 0, 0, NULL), (2, NULL, 0, 7200, 1, 3);)");
  const std::string none = db("none", handles + R"(
      CREATE TABLE message (ROWID INTEGER PRIMARY KEY, text, handle_id, date, is_from_me);)");
  platform::LogCapture capture;
  reader_.getSQLightContents(earlier, "Library/SMS/sms.db");
  reader_.getSQLightContents(none, "Library/SMS/sms.db");
  EXPECT_EQ(events(), std::vector<std::string>{"sms|1|551234567|978307200|old|0|2"});
  EXPECT_EQ(hourTexts(session_), std::vector<std::string>{});  // the last file's
  EXPECT_EQ(std::ranges::count_if(capture.lines(), [](auto& l) { return l.starts_with("left"); }),
            1);
  EXPECT_TRUE(capture.contains("left out of sms.db: 1 notice"));
}

// A generated later backup with every kind of row that is no message (reactions, their
// removals, stickers, notices, unsent messages; edited messages stay) reads as the same
// backup without them: the same events, contacts with their counts and emoticons, and
// hours; its console line counts each kind as written.
TEST(NonMessageRows, LeaveABackupAsItIsWithoutThem) {
  testing::TempDir plainHome, fullHome;
  const sample::Options plain{.seed = 3, .sms = 3000, .modern = true};
  sample::Options full = plain;
  full.nonMessageRows = true;
  testing::generate(plainHome, plain);
  const sample::BackupCounts c = testing::generate(fullHome, full).backups[0];
  ASSERT_GT(c.reactions * c.reactionRemovals * c.stickers * c.notices * c.unsent * c.edited, 0u);
  testing::Extracted p(plainHome.path()), f(fullHome.path());
  EXPECT_EQ(hourTexts(f.session), hourTexts(p.session));
  p.session.arrangeContents();
  f.session.arrangeContents();
  EXPECT_EQ(f.session.allEvents(), p.session.allEvents());
  EXPECT_EQ(f.session.peopleJSONRepresentation(), p.session.peopleJSONRepresentation());
  auto kind = [](size_t n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  EXPECT_EQ(f.count("left out of sms.db: " + kind(c.reactions, "reaction", "reactions") + ", " +
                    kind(c.reactionRemovals, "reaction removal", "reaction removals") + ", " +
                    kind(c.stickers, "sticker", "stickers") + ", " +
                    kind(c.notices, "notice", "notices") + ", " +
                    kind(c.unsent, "unsent message", "unsent messages")),
            1u);
  EXPECT_EQ(p.count("left out"), 0u);
}

// Manifest.db folders: each bad record or file list is one line and the walk goes on. The
// sample-home test reads a good one.
TEST(ManifestDb, ReadsListedDatabasesAndReportsEachBadRecord) {
  const std::string sms = "Library/SMS/sms.db", id = storedName("HomeDomain", sms);
  const std::string other = storedName("HomeDomain", "Library/Other/sms.db");
  const std::string gone = storedName("HomeDomain", "Library/Gone/sms.db");
  auto files = [](const std::string& fileId, const std::string& path, int flags = 1) {
    return "CREATE TABLE IF NOT EXISTS Files (fileID TEXT PRIMARY KEY, domain, relativePath, "
           "flags, file); INSERT INTO Files VALUES ('" +
           fileId + "', 'HomeDomain', '" + path + "', " + std::to_string(flags) + ", NULL);";
  };
  auto total = [](int events) {
    return "Read backup of P. In total so far: 0 contacts and " + std::to_string(events) +
           " communication events<br/>";
  };
  const std::string prefix = "file list record HomeDomain-" + sms;
  // Manifest.db statements, whether Manifest.plist marks the backup encrypted, expected log.
  const std::tuple<std::string, bool, std::string> cases[] = {
      {files(other, sms), false,
       prefix + " is stored as " + other + ", not under its own name: read all the same<br/>" +
           total(1)},
      {files("../" + id, sms), false,
       prefix + " has no usable file ID (../" + id + "): not read<br/>" + total(0)},
      {files(gone, "Library/Gone/sms.db"), false,
       "file list record HomeDomain-Library/Gone/sms.db: its file " + gone + " is missing<br/>" +
           total(0)},
      {"CREATE TABLE Other (a);", false, "1=no such table: Files"},
      {files(id, sms), true, "could not unlock the backup of P: no key bag<br/>"},
  };
  for (const auto& [manifest, encrypted, expected] : cases) {
    testing::TempDir home;
    const std::string folder = platform::joinPath(backupDirectory(home.path()), "b");
    testing::writeFile(platform::joinPath(folder, "Info.plist"),
                       *platform::Plist::dictionary({{"Device Name", "P"}}).toXml());
    if (encrypted) {
      testing::writeFile(platform::joinPath(folder, "Manifest.plist"),
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                         "<key>IsEncrypted</key><true/></dict></plist>");
    }
    ASSERT_EQ(makeDatabase(platform::joinPath(folder, "Manifest.db"), manifest), "");
    for (const std::string& stored : {id, other}) {
      ASSERT_EQ(makeDatabase(platform::joinPath(folder, storedSubPath(stored)),
                             "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id);"
                             "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, handle_id, date, "
                             "text, is_from_me); INSERT INTO message VALUES (1, 0, 0, 'a', 1);"),
                "");
    }
    const testing::Extracted run(home.path());
    if (expected.ends_with("<br/>")) {
      EXPECT_EQ(run.log.text(), expected) << manifest;
    } else {
      EXPECT_NE(run.log.text().find("cannot be read: SQL Statement failed to execute. (error: " +
                                    expected + ")<br/>" + total(0)),
                std::string::npos)
          << run.log.text();
    }
  }
}

// A home of one old and one later backup is read in full, and every e-mail handle finds
// its contact.
TEST(ManifestDb, ReadsAHomeOfOldAndLaterBackupsInFull) {
  testing::TempDir home;
  const sample::BackupCounts old = testing::generate(home, {.seed = 1}).backups[0];
  const sample::BackupCounts later =
      testing::generate(home, {.seed = 2, .modern = true}).backups[0];
  ASSERT_GT(later.bodyOnlyTexts * later.emailMessages * later.groupMessages, 0u);
  testing::Extracted run(home.path());
  const std::string text = run.log.text();
  EXPECT_NE(
      text.find("In total so far: " + std::to_string(old.contacts + later.contacts) +
                " contacts and " + std::to_string(old.sms + old.calls + later.sms + later.calls) +
                " communication events<br/>"),
      std::string::npos)
      << text;
  run.session.arrangeContents();
  size_t sms = 0, matched = 0;
  for (const auto& e : run.session.events()) {
    sms += e->type() == "sms";
    matched += e->lib()->at(1).asString().find('@') != std::string::npos && e->owner() != nullptr;
  }
  EXPECT_EQ(sms, old.sms + later.sms);
  EXPECT_EQ(matched, later.emailMessages);
}

}  // namespace
}  // namespace ovra::backup

#include "sample_home.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "backup/backup_location.h"
#include "backup/sqlite.h"
#include "backup_fixture.h"
#include "platform/files/plist.h"

namespace ovra::sample {
namespace {

// The reader finds every row the generator wrote, in both journal modes and both layouts,
// and leaves every byte of the home as it was: no journal, -wal or -shm file appears. The
// generator then refuses to write over the backup.
TEST(SampleHome, ReadsBackInFullWithoutAnyWrite) {
  for (const Options& options :
       {Options{.bookmarkWords = 700}, Options{.walJournal = true},
        Options{.seed = 2, .modern = true}, Options{.walJournal = true, .story = true},
        Options{.seed = 3, .modern = true, .story = true}}) {
    testing::TempDir home;
    const BackupCounts c = testing::generate(home, options).backups[0];
    const auto before = testing::snapshot(home.path());
    const testing::Extracted run(home.path());
    const model::Session& session = run.session;
    const base::Result<SampleHome> again = writeSampleHome(home.path(), options);
    EXPECT_NE(again.error().find("already exists"), std::string::npos) << again.error();
    EXPECT_EQ(testing::snapshot(home.path()), before);
    EXPECT_EQ(run.log.text(), "Read backup of Anna's iPhone. In total so far: " +
                                  std::to_string(c.contacts) + " contacts and " +
                                  std::to_string(c.sms + c.calls) + " communication events<br/>");
    size_t values = 0, sms = 0;
    for (const auto& p : session.people()) values += p->addresses().size();
    for (const auto& e : session.events()) sms += e->type() == "sms";
    EXPECT_EQ((std::vector<size_t>{values, sms, session.avg_call_hours()->size(),
                                   session.avg_sms_hours()->size(),
                                   session.browsingHistory().size(), session.appUse().size()}),
              (std::vector<size_t>{c.multiValues, c.sms, c.callHours, c.smsHours, c.bookmarkWords,
                                   c.appCounters}));
  }
}

// Each row of the answer to `sql` in the backup's messages database, its values joined by "|".
std::vector<std::string> rows(const BackupCounts& c, const std::string& sql) {
  backup::SQLite sqlite;
  sqlite.setFilename(platform::joinPath(
      c.folder, backup::storedSubPath(storedName(kSmsDatabase.domain, kSmsDatabase.path))));
  const backup::SQLiteResult result = sqlite.query(sql);
  EXPECT_EQ(result.errorCode, "OK") << sql;
  std::vector<std::string> out;
  for (const model::Record& row : result.rows) {
    std::string line;
    for (size_t i = 0; i < row->size(); ++i) line += std::string(row.text(i).value_or("")) + "|";
    out.push_back(line);
  }
  return out;
}

// The rows besides the messages: every kind is there, as many as counted, each reaction,
// removal and sticker points at a message, each removal takes back a reaction of the same
// sender, an unsent message keeps no text; and the messages are those written without them.
TEST(SampleHome, WritesRowsBesidesTheMessagesAndLeavesTheMessagesAsTheyWere) {
  testing::TempDir plainHome, fullHome;
  const Options plain{.seed = 3, .sms = 3000, .modern = true};
  Options full = plain;
  full.nonMessageRows = true;
  const BackupCounts p = testing::generate(plainHome, plain).backups[0];
  const BackupCounts c = testing::generate(fullHome, full).backups[0];
  const std::string messages =
      "SELECT guid, text, handle_id, hex(attributedBody), date, is_from_me, chat_id FROM message "
      "JOIN chat_message_join ON message_id = ROWID WHERE ROWID <= 3000 ORDER BY ROWID";
  EXPECT_EQ(rows(c, messages), rows(p, messages));
  EXPECT_EQ(p.sms + p.reactions + p.notices + p.edited, c.sms);
  const std::string counted =
      "SELECT SUM(associated_message_type BETWEEN 2000 AND 2007), SUM(associated_message_type "
      "BETWEEN 3000 AND 3007), SUM(associated_message_type = 1000), SUM(item_type != 0), "
      "SUM(date_retracted != 0 AND text IS NULL AND attributedBody IS NULL), SUM(date_edited != "
      "0 AND date_retracted = 0), COUNT(DISTINCT CASE WHEN associated_message_type >= 2000 THEN "
      "associated_message_type END), COUNT(DISTINCT CASE WHEN item_type != 0 THEN item_type || "
      "'/' || group_action_type END), COUNT(*) FROM message";
  std::string expected;
  for (size_t n :
       {c.reactions, c.reactionRemovals, c.stickers, c.notices, c.unsent, c.edited, size_t{16},
        size_t{8}, c.sms + c.reactions + c.reactionRemovals + c.stickers + c.notices + c.unsent}) {
    expected += std::to_string(n) + "|";
  }
  EXPECT_EQ(rows(c, counted), std::vector<std::string>{expected});
  const std::string strays =
      "SELECT ROWID FROM message x WHERE (x.associated_message_type != 0 AND NOT EXISTS (SELECT 1 "
      "FROM message m WHERE 'p:0/' || m.guid = x.associated_message_guid AND m.ROWID <= 3000)) "
      "OR (x.associated_message_type >= 3000 AND NOT EXISTS (SELECT 1 FROM message r WHERE "
      "r.associated_message_type = x.associated_message_type - 1000 AND r.associated_message_guid "
      "= x.associated_message_guid AND r.is_from_me = x.is_from_me AND r.handle_id = x.handle_id "
      "AND r.date < x.date)) OR x.ROWID NOT IN (SELECT message_id FROM chat_message_join)";
  EXPECT_EQ(rows(c, strays), std::vector<std::string>{});
}

// Backups as idevicebackup2 leaves them, in both formats: DIR/<device id>/ with its
// Manifest.plist (not encrypted: the backup is read) and a finished Status.plist, found in
// DIR and read in full, the later format from sub-folders; and a backup whose Status.plist
// says it is unfinished.
TEST(SampleHome, WritesBackupsAsIdevicebackup2LeavesThem) {
  for (bool modern : {false, true}) {
    testing::TempDir home;
    const std::string dir = backupDirectory(home.path());
    const base::Result<SampleHome> written =
        writeSampleHome(dir, Options{.backups = 2, .modern = modern, .idevicebackup2 = true});
    ASSERT_TRUE(written.ok()) << written.error();
    backup::BackupEnv& env = *backup::BackupEnv::Default();
    std::vector<std::string> folders = backup::locateBackups("", dir, env).folders;
    std::sort(folders.begin(), folders.end());
    std::vector<std::string> expected;
    size_t events = 0;
    for (const BackupCounts& c : written->backups) {
      expected.push_back(c.folder);
      events += c.sms + c.calls;
      EXPECT_EQ(platform::Plist::fromFile(platform::joinPath(c.folder, "Status.plist"))
                    ->stringForKey("SnapshotState"),
                "finished");
      EXPECT_TRUE(platform::fileExists(platform::joinPath(c.folder, "Manifest.plist")));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folders, expected);
    const testing::Extracted run(home.path());
    EXPECT_TRUE(run.log.text().ends_with(" contacts and " + std::to_string(events) +
                                         " communication events<br/>"))
        << run.log.text();
  }
  testing::TempDir home;
  const BackupCounts c = testing::generate(home, {.unfinished = true}).backups[0];
  EXPECT_TRUE(backup::isUnfinishedBackup(c.folder, *backup::BackupEnv::Default()));
}

}  // namespace
}  // namespace ovra::sample

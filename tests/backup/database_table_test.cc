// The table of recognised databases: which files it names, the manifest query that finds
// them, and the layout detector.
#include "backup/database_table.h"

#include <gtest/gtest.h>

#include <tuple>

#include "backup_fixture.h"
#include "fault_env.h"

namespace ovra::backup {
namespace {

constexpr char kGroup[] = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";

TEST(DatabaseTable, NamesAFileByItsExactSuffixAndOnlyInItsDomain) {
  constexpr Layout kFirst[] = {Layout::kFirst};
  const DatabaseEntry table[] = {
      {"sms.db", "", DatabaseKind::kMessages, nullptr, kFirst},
      {"ChatStorage.sqlite", kGroup, DatabaseKind::kMessages, nullptr, kFirst},
  };
  const std::tuple<std::string, std::string, const DatabaseEntry*> cases[] = {
      {"HomeDomain", "Library/SMS/sms.db", &table[0]},
      {"", "sms.db", &table[0]},
      {"HomeDomain", "Library/SMS/sms.db-wal", nullptr},
      {"HomeDomain", "Library/SMS/SMS.DB", nullptr},
      {kGroup, "ChatStorage.sqlite", &table[1]},
      {"AppDomain-net.whatsapp.WhatsApp", "ChatStorage.sqlite", nullptr},
      {"", "ChatStorage.sqlite", nullptr},
  };
  for (const auto& [domain, path, entry] : cases) {
    EXPECT_EQ(findDatabase(domain, path, table), entry) << domain << "-" << path;
  }
  // No entry of the real table hides another.
  for (const DatabaseEntry& entry : databaseTable()) {
    EXPECT_EQ(findDatabase(entry.domain, "Library/" + std::string(entry.name)), &entry);
  }
}

// The file-list query hands on every recognised file of a Manifest.db (and, LIKE being
// loose, its upper-case form, which the lookup then refuses), and nothing else.
TEST(DatabaseTable, ManifestQueryFindsEveryRecognisedFile) {
  testing::TempDir dir;
  std::string sql = "CREATE TABLE Files (fileID, domain, relativePath, flags);";
  for (const DatabaseEntry& entry : databaseTable()) {
    const std::string name(entry.name);
    for (const std::string& path : {"a/" + name, "a/" + name + "-wal", "a/x" + name + "x"}) {
      sql += "INSERT INTO Files VALUES ('id', '" + std::string(entry.domain) + "', '" + path +
             "', 1), ('id', '', '" + path + "', 2);";
    }
  }
  ASSERT_EQ(testing::makeDatabase(dir / "Manifest.db", sql), "");
  const SQLiteResult found = SQLite({.path = dir / "Manifest.db"}).query(manifestFilesQuery());
  ASSERT_EQ(found.errorCode, "OK");
  size_t recognised = 0;
  for (const model::Record& row : found.rows) {
    recognised += findDatabase(row.text(1).value(), row.text(2).value()) != nullptr;
  }
  EXPECT_EQ(recognised, databaseTable().size());
  EXPECT_EQ(found.rows.size(), recognised);
}

class LayoutDetector : public testing::ReaderTest {};

TEST_F(LayoutDetector, TellsEachLayoutAndWhatItLacks) {
  const std::string later =
      "CREATE TABLE handle (ROWID, id); CREATE TABLE message (ROWID, "
      "HANDLE_ID, date, text, is_from_me, attributedBody);";
  const std::string calls =
      "CREATE TABLE ZCALLRECORD (Z_PK, ZADDRESS, ZDATE, ZDURATION, "
      "ZORIGINATED, ZANSWERED);";
  testing::writeFile(dir_ / "garbage", std::string(4096, 'x'));
  // name, schema (or none: the garbage file), layout, what it lacks
  const std::tuple<std::string, std::string, Layout, std::string> cases[] = {
      {"sms.db", "CREATE TABLE message (ROWID, address, date, text, flags);", Layout::kFirst, ""},
      {"sms.db", later, Layout::kLater, ""},
      {"sms.db", "CREATE TABLE message (handle_id, date, text, is_from_me);", Layout::kLater,
       "handle"},
      {"sms.db", "", Layout::kFirst, ""},
      {"call_history.db", "CREATE TABLE call (ROWID, address, date, duration, flags);",
       Layout::kFirst, ""},
      {"call_history.db", calls, Layout::kLater, ""},
      {"CallHistory.storedata", "CREATE TABLE Z_METADATA (Z_VERSION);", Layout::kLater,
       "ZCALLRECORD"},
      {"CallHistory.storedata", "", Layout::kLater, ""},
  };
  int n = 0;
  for (const auto& [name, schema, layout, missing] : cases) {
    const std::string path = schema.empty() ? dir_ / "garbage" : db(std::to_string(++n), schema);
    const LayoutCheck check = detectLayout(SQLite({.path = path}), *findDatabase("", name));
    EXPECT_EQ(check.layout, layout) << name << ": " << schema;
    EXPECT_EQ(check.missing, missing) << name << ": " << schema;
    EXPECT_EQ(check.has("message.attributedBody"), schema == later);
  }
  // A kind of a single layout that needs nothing is not looked into.
  testing::FaultEnv env;
  EXPECT_EQ(detectLayout(SQLite({.path = "none"}, &env), *findDatabase("", "Bookmarks.db")).layout,
            Layout::kFirst);
  EXPECT_EQ(env.calls, 0);
}

}  // namespace
}  // namespace ovra::backup

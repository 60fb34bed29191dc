#include "backup/manifest.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "backup/backup_layout.h"
#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "platform/base/log.h"

namespace ovra::backup {
namespace {

using namespace std::string_literals;

ManifestRecord record(std::string d, std::string p) {
  return {std::move(d), std::move(p), "", "", "", std::string(kFixedBlockSize, '\0'), {}};
}

TEST(ManifestFields, ReadStringsAndNumbersAndAdvance) {
  const std::string longText(300, 'L');
  const std::tuple<std::string, int32_t, std::string, int32_t> cases[] = {
      {"\377\377abc"s, 0, "", 2},                     // the empty marker
      {"\0\3abcd"s, 0, "abc", 5},                     // count, then the bytes
      {"\1\54"s + longText + "x", 0, longText, 302},  // big-endian 16-bit count (300)
      {"\0\11abc"s, 0, "", 11},                       // runs past the end
      {"\0\2\303\251"s, 0, "é", 4},                   // UTF-8 kept
      {"\0\1\351"s, 0, "é", 3},                       // other bytes read as Latin-1
      {"\0\0"s, 2147483647, "", 2147483647},          // the position stops at the top
  };
  for (const auto& [data, start, text, end] : cases) {
    int32_t offset = start;
    EXPECT_EQ(BackupReader::getString(data, offset), text) << data;
    EXPECT_EQ(offset, end) << data;
  }

  const std::string bytes("\1\2\3\4\5", 5);
  const std::array<int32_t, 4> ints[] = {
      {0, 1, 1, 1},      {0, 2, 0x0102, 2}, {1, 4, 0x02030405, 5}, {0, 5, 0x02030405, 5},
      {3, 4, 0x0405, 5}, {5, 1, 0, 5},      {0, 0, 0, 0}};
  for (const auto& [start, width, value, end] : ints) {  // reads `width` bytes from `start`
    int32_t offset = start;
    EXPECT_EQ(BackupReader::getInt(bytes, offset, width), value) << start << "/" << width;
    EXPECT_EQ(offset, end);
  }
  EXPECT_EQ(BackupReader::hashInfoString("abc\0def"s),
            "a9993e364706816aba3e25717850c26c9cd0d89d");  // the digest of "abc"
}

// What the writer writes, the reader reads back record for record; an all-empty record
// takes 50 bytes, HomeDomain's sms.db 78.
TEST(Manifest, ReadsBackWhatItWrites) {
  ManifestRecord full = record("AppDomain-x", std::string(300, 'p') + ".txt");
  full.linkTarget = "/var/x";
  full.dataHash = "\0\1\177"s;
  full.fixedBlock = encodeFixedBlock({.mode = 0100644, .inode = 7, .size = 300});
  full.properties = {{"name", std::string(256, 'v')}, {"", ""}};
  const std::vector<ManifestRecord> records = {ManifestRecord(),
                                               record("HomeDomain", "Library/SMS/sms.db"), full};
  const std::string bytes = encodeManifest(records);
  ManifestCursor cursor(bytes);
  size_t read = 0;
  for (int32_t end : {6 + 50, 6 + 50 + 78, 6 + 50 + 78 + 642}) {
    EXPECT_EQ(cursor.readRecord(), records.at(read++));
    EXPECT_EQ(cursor.position(), end);
  }
  EXPECT_TRUE(cursor.atEnd());
}

// The walk's own console lines ("Found" and "Error" left out) for manifests good and bad:
// database records go on in order, under the digest of "domain-path" (also with an empty
// domain), by case-sensitive suffix; a cut record whose path was read still goes on.
TEST(ManifestWalk, HandsOnDatabaseRecordsInOrderAndSurvivesBadManifests) {
  testing::TempDir dir;
  model::Session session;
  DetailedLog log;
  BackupReader reader("/nonexistent", session, log);
  const std::string start = "proccesing mbdb file " + (dir / "Manifest.mbdb");
  auto processed = [&](const std::string& path, const std::string& storedName) {
    return "Processed DB " + path + " (" + (dir / storedName) + ")";
  };
  const std::string sms =
      processed("Library/SMS/sms.db", "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
  const std::pair<std::optional<std::string>, std::vector<std::string>> cases[] = {
      {std::nullopt, {start, "No data read from MBDB file!"}},
      {"mbdb\x05\x00"s, {start}},
      {encodeManifest({record("HomeDomain", "Library/SMS/sms.db")}).substr(0, 6 + 12 + 20 + 3),
       {start, sms}},
      {encodeManifest(
           {ManifestRecord(), record("HomeDomain", "Library/SMS/sms.db"),
            record("HomeDomain", "Library/SMS/SMS.DB"), record("HomeDomain", "sms.db-journal"),
            record("MediaDomain", "Other/AddressBook.sqlitedb"), record("HomeDomain", "x.plist"),
            record("HomeDomain", "Library/Caches/unknown.db"), record("", "Library/SMS/sms.db")}),
       {start, sms,
        processed("Other/AddressBook.sqlitedb", "985bf1b49c9d8b85e0b6abb2c990d8631b17a828"),
        processed("Library/SMS/sms.db", "7b025eff94f5b05cdf7316f4c76993ef4aba4586")}},
  };
  for (const auto& [manifest, expected] : cases) {
    std::filesystem::remove(dir / "Manifest.mbdb");
    if (manifest) testing::writeFile(dir / "Manifest.mbdb", *manifest);
    platform::LogCapture capture;
    reader.process_mbdb_file(dir.path());
    std::vector<std::string> lines = capture.lines();
    std::erase_if(lines,
                  [](auto& l) { return l.starts_with("Found ") || l.starts_with("Error "); });
    EXPECT_EQ(lines, expected) << manifest.value_or("(none)").size();
  }
}

}  // namespace
}  // namespace ovra::backup

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backup/backup_reader.h"
#include "backup_fixture.h"
#include "platform/log.h"
#include "sample_home.h"

namespace ovra::backup {
namespace {

using sample::encodeManifest;
using sample::encodeString;
using sample::ManifestRecord;

ManifestRecord record(std::string domain, std::string path) {
  ManifestRecord r;
  r.domain = std::move(domain);
  r.path = std::move(path);
  return r;
}

TEST(ManifestFields, ReadStringsAndNumbersAndAdvance) {
  const std::string longText(300, 'L');
  struct Case {
    std::string data;
    int32_t start;
    std::string text;
    int32_t end;
  };
  const Case cases[] = {
      {"\xFF\xFF"
       "abc",
       0, "", 2},  // the empty marker
      {std::string("\x00\x03"
                   "abcd",
                   6),
       0, "abc", 5},                                                    // count, then the bytes
      {std::string("\x01\x2C", 2) + longText + "x", 0, longText, 302},  // 16-bit count
      {std::string("\x00\x09"
                   "abc",
                   5),
       0, "", 11},                                      // runs past the end
      {"a", 0, "", 2},                                  // no room for a header
      {"abc", 7, "", 9},                                // already past the end
      {std::string("\x00\x02\xC3\xA9", 4), 0, "é", 4},  // UTF-8 kept
      {std::string("\x00\x01\xE9", 3), 0, "é", 3},      // other bytes read as Latin-1
  };
  for (const Case& c : cases) {
    int32_t offset = c.start;
    EXPECT_EQ(BackupReader::getString(c.data, offset), c.text) << c.data;
    EXPECT_EQ(offset, c.end) << c.data;
  }

  const std::string bytes("\x01\x02\x03\x04\x05", 5);
  struct IntCase {
    int32_t start, width, value, end;
  };
  const IntCase ints[] = {{0, 1, 1, 1},          {0, 2, 0x0102, 2}, {1, 4, 0x02030405, 5},
                          {0, 5, 0x02030405, 5}, {3, 4, 0x0405, 5}, {5, 1, 0, 5},
                          {0, 0, 0, 0}};
  for (const IntCase& c : ints) {
    int32_t offset = c.start;
    EXPECT_EQ(BackupReader::getInt(bytes, offset, c.width), c.value) << c.start << "/" << c.width;
    EXPECT_EQ(offset, c.end);
  }
}

TEST(ManifestFields, StoredNameIsTheDigestOfDomainHyphenPath) {
  EXPECT_EQ(BackupReader::hashInfoString("HomeDomain-Library/SMS/sms.db"),
            "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
  EXPECT_EQ(BackupReader::hashInfoString(std::string("abc\0def", 7)),
            "a9993e364706816aba3e25717850c26c9cd0d89d");  // up to the zero byte
  EXPECT_EQ(sample::storedName("", "sms.db"), BackupReader::hashInfoString("-sms.db"));
}

class ManifestWalk : public ::testing::Test {
 protected:
  // Writes `manifest` into a fresh folder, walks it, and returns the console lines.
  std::vector<std::string> walk(const std::string& manifest) {
    testing::writeFile(dir_ / "Manifest.mbdb", manifest);
    platform::LogCapture capture;
    reader_.process_mbdb_file(dir_.path());
    return capture.lines();
  }
  std::string processed(const std::string& path, const std::string& domain = "HomeDomain") {
    return "Processed DB " + path + " (" + (dir_ / sample::storedName(domain, path)) + ")";
  }
  std::string processing() { return "proccesing mbdb file " + (dir_ / "Manifest.mbdb"); }

  testing::TempDir dir_;
  model::Session session_;
  DetailedLog log_;
  BackupReader reader_{"/nonexistent", session_, log_};
};

TEST_F(ManifestWalk, HandsOnDatabaseRecordsInOrderAfterLongStringsAndProperties) {
  ManifestRecord longRecord = record("AppDomain-x", std::string(300, 'p') + ".txt");
  longRecord.properties = {{"name", std::string(256, 'v')}, {"", ""}};
  const std::vector<ManifestRecord> records = {
      record("HomeDomain", "Library/SMS/sms.db"),
      longRecord,
      record("HomeDomain", "Library/SMS/SMS.DB"),
      record("HomeDomain", "Library/SMS/sms.db-journal"),
      record("MediaDomain", "Other/AddressBook.sqlitedb"),
      record("HomeDomain", "Library/Preferences/x.plist"),
      record("HomeDomain", "Library/Caches/unknown.db"),
      record("", "Library/SMS/sms.db"),
  };
  std::vector<std::string> lines = walk(encodeManifest(records));
  std::vector<std::string> processedLines;
  for (const std::string& l : lines) {
    if (l.starts_with("Processed DB")) processedLines.push_back(l);
  }
  EXPECT_EQ(processedLines,
            (std::vector<std::string>{processed("Library/SMS/sms.db"),
                                      processed("Other/AddressBook.sqlitedb", "MediaDomain"),
                                      processed("Library/SMS/sms.db", "")}));
}

TEST_F(ManifestWalk, SurvivesMissingEmptyShortCutAndGarbageManifests) {
  const std::string noData = "No data read from MBDB file!";
  EXPECT_EQ(walk(""), (std::vector<std::string>{processing(), noData}));
  std::filesystem::remove(dir_ / "Manifest.mbdb");
  {
    platform::LogCapture capture;
    reader_.process_mbdb_file(dir_.path());
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{processing(), noData}));
  }
  EXPECT_EQ(walk("mbdb\x05\x00"), (std::vector<std::string>{processing()}));

  // Cut right after the path: the record is still handed on (its stored file is missing,
  // so both queries fail), then the walk ends.
  const std::string manifest = encodeManifest({record("HomeDomain", "Library/SMS/sms.db")});
  std::vector<std::string> lines = walk(manifest.substr(0, 6 + 12 + 20 + 3));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(
      lines[1].starts_with("Error executing query SELECT rowid,address,date,text,flags "
                           "FROM message: SQLite Database failed to open"));
  EXPECT_EQ(lines[3], processed("Library/SMS/sms.db"));

  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 7919 + 13) % 251);
  lines = walk(garbage);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], processing());
}

}  // namespace
}  // namespace ovra::backup

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files/fs.h"
#include "platform/files/plist.h"
#include "platform/files/sha1.h"
#include "../temp_dir.h"

namespace ovra::platform {
namespace {

// Listing, directory tests and property lists are also exercised through the backup
// reader's discovery tests; these cover what those cannot see.
TEST(FileSystem, JoinsPathsAndReadsOnlyRegularFiles) {
  EXPECT_EQ(joinPath("a", "b"), "a/b");
  EXPECT_EQ(joinPath("a/", "b"), "a/b");
  EXPECT_EQ(joinPath("", "b"), "b");

  const testing::TempDir tmp;
  const std::string& dir = tmp.path();
  ASSERT_FALSE(dir.empty());
  std::ofstream(joinPath(dir, "file"), std::ios::binary) << std::string("a\0b", 3);
  std::ofstream(joinPath(dir, "empty"), std::ios::binary);
  std::filesystem::create_symlink("loop2", joinPath(dir, "loop1"));
  std::filesystem::create_symlink("loop1", joinPath(dir, "loop2"));
  EXPECT_EQ(readFile(joinPath(dir, "file")), std::string("a\0b", 3));
  EXPECT_EQ(readFile(joinPath(dir, "empty")), "");
  for (const char* bad : {"", "loop1", "missing"})
    EXPECT_FALSE(readFile(joinPath(dir, bad))) << bad;
  EXPECT_FALSE(fileExists(joinPath(dir, "loop1")));
  EXPECT_FALSE(listDirectory(joinPath(dir, "file")));
}

TEST(PropertyList, ReadsXmlAndBinaryAndRejectsOtherShapes) {
  Plist dict = Plist::dictionary({{"Device Name", "Zoë's iPhone"}});
  for (const std::string& bytes : {dict.toXml().value(), dict.toBinary().value()}) {
    std::optional<Plist> read = Plist::fromBytes(bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->stringForKey("Device Name"), "Zoë's iPhone");
    EXPECT_FALSE(read->stringForKey("Missing"));
  }
  const std::string numberValue =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Device Name</key>"
      "<integer>3</integer></dict></plist>";
  for (const std::string& bytes : {numberValue, dict.toBinary().value().substr(0, 20),
                                   std::string("not a property list"), std::string()}) {
    std::optional<Plist> read = Plist::fromBytes(bytes);
    EXPECT_FALSE(read && read->stringForKey("Device Name")) << bytes;
  }
}

TEST(Sha1, MatchesKnownDigests) {
  EXPECT_EQ(toHex(sha1("").value()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(toHex(sha1(std::string(1000000, 'a')).value()),
            "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

}  // namespace
}  // namespace ovra::platform

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "../temp_dir.h"
#include "platform/files/fs.h"
#include "platform/files/plist.h"

namespace ovra::platform {
namespace {

// Joining, listing, directory tests and property lists are also exercised through the
// backup reader's discovery tests; these cover what those cannot see.
TEST(FileSystem, JoinsPathsAndReadsOnlyRegularFiles) {
  const testing::TempDir tmp;
  const std::string& dir = tmp.path();
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

// Reading both formats and refusing other shapes go through the backup reader's
// discovery test; a value of another type and a cut binary list do not.
TEST(PropertyList, GivesOnlyStringValuesOfWholeLists) {
  const std::string numberValue =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Device Name</key>"
      "<integer>3</integer></dict></plist>";
  const std::string binary = Plist::dictionary({{"Device Name", "Zoë"}}).toBinary().value();
  ASSERT_EQ(Plist::fromBytes(binary).value().stringForKey("Device Name"), "Zoë");
  for (const std::string& bytes : {numberValue, binary.substr(0, 20)}) {
    std::optional<Plist> read = Plist::fromBytes(bytes);
    EXPECT_FALSE(read && read->stringForKey("Device Name")) << bytes;
  }
}

}  // namespace
}  // namespace ovra::platform

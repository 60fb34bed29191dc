#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/plist.h"
#include "platform/sha1.h"

namespace ovra::platform {
namespace {

class Folder {
 public:
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovra-fs-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string at(const std::string& name) const { return joinPath(path_, name); }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(at(name), std::ios::binary) << bytes;
  }

 private:
  std::string path_;
};

TEST(FileSystem, JoinsListsTestsAndReads) {
  EXPECT_EQ(joinPath("a", "b"), "a/b");
  EXPECT_EQ(joinPath("a/", "b"), "a/b");
  EXPECT_EQ(joinPath("", "b"), "b");
  EXPECT_EQ(joinPath("/", "Library"), "/Library");

  Folder f;
  f.write(".hidden", "h");
  f.write("file", std::string("a\0b", 3));
  f.write("empty", "");
  std::filesystem::create_directory(f.at("dir"));
  std::filesystem::create_directory_symlink(f.at("dir"), f.at("link"));
  std::filesystem::create_symlink("loop2", f.at("loop1"));
  std::filesystem::create_symlink("loop1", f.at("loop2"));

  std::vector<std::string> names = listDirectory(f.at("")).value();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "dir", "empty", "file", "link", "loop1",
                                             "loop2"}));
  EXPECT_FALSE(listDirectory(f.at("missing")));
  EXPECT_FALSE(listDirectory(f.at("file")));

  struct Case {
    const char* name;
    bool directory, exists;
  };
  for (const Case& c : {Case{"dir", true, true}, Case{"link", true, true},
                        Case{"file", false, true}, Case{"loop1", false, false},
                        Case{"missing", false, false}}) {
    EXPECT_EQ(isDirectory(f.at(c.name)), c.directory) << c.name;
    EXPECT_EQ(fileExists(f.at(c.name)), c.exists) << c.name;
  }
  EXPECT_EQ(readFile(f.at("file")), std::string("a\0b", 3));
  EXPECT_EQ(readFile(f.at("empty")), "");
  EXPECT_FALSE(readFile(f.at("dir")));
  EXPECT_FALSE(readFile(f.at("loop1")));
  EXPECT_FALSE(readFile(f.at("missing")));
}

TEST(PropertyList, ReadsXmlAndBinaryDictionaries) {
  Folder f;
  Plist dict = Plist::dictionary({{"Device Name", "Zoë's iPhone"}, {"Other", "x"}});
  f.write("xml", dict.toXml().value());
  f.write("bin", dict.toBinary().value());
  for (const char* name : {"xml", "bin"}) {
    std::optional<Plist> read = Plist::fromFile(f.at(name));
    ASSERT_TRUE(read) << name;
    EXPECT_TRUE(read->isDictionary());
    EXPECT_EQ(read->stringForKey("Device Name"), "Zoë's iPhone");
    EXPECT_FALSE(read->stringForKey("Missing"));
  }
}

TEST(PropertyListErrors, GiveNothingForOtherShapesAndBytes) {
  Folder f;
  f.write("array", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>a</string>"
                   "</array></plist>");
  f.write("number", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Device Name</key>"
                    "<integer>3</integer></dict></plist>");
  f.write("garbage", "this is not a property list");
  f.write("cut", Plist::dictionary({{"Device Name", "x"}}).toBinary().value().substr(0, 20));
  f.write("empty", "");
  for (const char* name : {"array", "number", "garbage", "cut", "empty", "missing"}) {
    std::optional<Plist> read = Plist::fromFile(f.at(name));
    EXPECT_FALSE(read && read->stringForKey("Device Name")) << name;
  }
  std::optional<Plist> array = Plist::fromFile(f.at("array"));
  ASSERT_TRUE(array);
  EXPECT_FALSE(array->isDictionary());
}

TEST(Sha1, MatchesKnownDigests) {
  EXPECT_EQ(toHex(sha1("").value()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(toHex(sha1("abc").value()), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(toHex(sha1(std::string(1000000, 'a')).value()),
            "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

}  // namespace
}  // namespace ovra::platform

// Keyed-archive file records: as the writer makes them, in the shapes records take, and
// hostile ones (references past the objects or in a circle, values of the wrong kind).
#include "backup/file_record.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <functional>
#include <string>

#include "backup/backup_crypto_writer.h"

namespace ovra::backup {
namespace {

const std::string kKey = std::string("\x03\0\0\0", 4) + std::string(40, 'w');

TEST(FileRecord, ReadsSizeClassAndKeyInEitherShape) {
  for (bool inDictionary : {true, false}) {
    const std::string bytes =
        fileRecordBytes({"Library/SMS/sms.db", 123456, 3, kKey, inDictionary});
    base::Result<FileRecord> record = parseFileRecord(bytes);
    ASSERT_TRUE(record.ok()) << record.error();
    EXPECT_EQ(record->size, 123456u);
    EXPECT_EQ(record->protectionClass, 3u);
    EXPECT_EQ(record->encryptionKey, kKey);
  }
  base::Result<FileRecord> folder = parseFileRecord(fileRecordBytes({"Library/SMS", 0, 0, ""}));
  ASSERT_TRUE(folder.ok());
  EXPECT_EQ(folder->encryptionKey, "");
}

// A binary list of the tree `build` makes.
std::string binary(const std::function<plist_t()>& build) {
  plist_t root = build();
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &bytes, &length);
  std::string out(bytes, length);
  plist_to_bin_free(bytes);
  plist_free(root);
  return out;
}

// An archive whose objects are "$null" and then `objects`, its root the first of them.
std::string archive(std::initializer_list<plist_t> objects, uint64_t root = 1) {
  return binary([&] {
    plist_t dict = plist_new_dict();
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(root));
    plist_dict_set_item(dict, "$top", top);
    plist_t list = plist_new_array();
    plist_array_append_item(list, plist_new_string("$null"));
    for (plist_t o : objects) plist_array_append_item(list, o);
    plist_dict_set_item(dict, "$objects", list);
    return dict;
  });
}

plist_t dict(std::initializer_list<std::pair<const char*, plist_t>> items) {
  plist_t d = plist_new_dict();
  for (const auto& [key, value] : items) plist_dict_set_item(d, key, value);
  return d;
}

TEST(FileRecord, FollowsReferencesAndReadsPlainDictionaries) {
  // Size and the class by reference, the key's dictionary holding its data by reference.
  base::Result<FileRecord> referred =
      parseFileRecord(archive({dict({{"Size", plist_new_uid(2)},
                                     {"ProtectionClass", plist_new_uint(4)},
                                     {"EncryptionKey", plist_new_uid(3)}}),
                               plist_new_uint(77), dict({{"NS.data", plist_new_uid(4)}}),
                               plist_new_data(kKey.data(), kKey.size())}));
  ASSERT_TRUE(referred.ok()) << referred.error();
  EXPECT_EQ(referred->size, 77u);
  EXPECT_EQ(referred->encryptionKey, kKey);

  base::Result<FileRecord> plain = parseFileRecord(binary([] {
    return dict({{"Size", plist_new_uint(5)}, {"EncryptionKey", plist_new_data(kKey.data(), 44)}});
  }));
  EXPECT_TRUE(plain.ok() && plain->encryptionKey == kKey) << plain.error();
}

TEST(FileRecordErrors, RefusesRecordsOfOtherShapes) {
  const std::pair<std::string, std::string_view> cases[] = {
      {"", "not a binary property list"},
      {"<plist><dict/></plist>", "not a binary property list"},
      {fileRecordBytes({"x", 1, 3, kKey}).substr(0, 60), "not a binary property list"},
      {binary([] { return plist_new_array(); }), "not a dictionary"},
      {binary([] {
         return dict({{"$objects", plist_new_array()}});
       }),
       "without $top"},
      {archive({dict({})}, 9), "a reference past the objects"},
      {archive({plist_new_uid(1)}), "references run in a circle"},
      {archive({plist_new_string("x")}), "the root object is not a dictionary"},
      {archive({dict({{"Size", plist_new_string("12")}})}), "Size is not a number"},
      {archive({dict({{"ProtectionClass", plist_new_uint(1ull << 32)}})}),
       "ProtectionClass out of range"},
      {archive({dict({{"EncryptionKey", plist_new_uid(2)}}), dict({})}), "without NS.data"},
      {archive({dict({{"EncryptionKey", plist_new_string("k")}})}), "holds no data"},
      {binary([] {
         return dict({{"Size", plist_new_uid(0)}});
       }),
       "a reference outside"},
  };
  for (const auto& [bytes, error] : cases) {
    base::Result<FileRecord> record = parseFileRecord(bytes);
    EXPECT_NE(record.error().find(error), std::string::npos) << error << ": " << record.error();
  }
}

}  // namespace
}  // namespace ovra::backup

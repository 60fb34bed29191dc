// Key bags written by the sample side and read back (both formats), wrong passwords,
// unwrapping the manifest's and files' keys, and the refusals of damaged or hostile bags.
#include "backup/key_bag.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "backup/aes_cipher.h"
#include "backup/backup_crypto_writer.h"

namespace ovra::backup {
namespace {

TEST(KeyBag, UnlocksWhatTheWriterWroteInBothFormats) {
  for (const std::optional<uint32_t> dp : {std::optional<uint32_t>(7), std::optional<uint32_t>()}) {
    base::Result<BackupEncryptor> writer =
        BackupEncryptor::create("pässword", {5, dp, {1, 3, 4}}, seededRandom(1));
    ASSERT_TRUE(writer.ok()) << writer.error();
    base::Result<KeyBag> bag = KeyBag::parse(writer->keyBag());
    ASSERT_TRUE(bag.ok()) << bag.error();
    EXPECT_EQ(bag->derivationRounds(), 10u + dp.value_or(0));
    EXPECT_EQ(bag->classKeys.size(), 3u);

    EXPECT_EQ(bag->unlock(bag->derivePasswordKey("password")->view()).error(), kWrongPassword);
    uint64_t reported = 0;
    base::Result<ClassKeys> keys = bag->unlock(
        bag->derivePasswordKey("pässword",
                               [&](uint64_t done, uint64_t total) {
                                 EXPECT_TRUE(done >= reported && total == bag->derivationRounds());
                                 reported = done;
                               })
            ->view());
    EXPECT_EQ(reported, bag->derivationRounds());
    ASSERT_TRUE(keys.ok()) << keys.error();
    base::Result<WrappedFileKey> manifestKey = writer->newKey(4);
    base::Result<SecureBytes> unwrapped = keys->unwrapKey(manifestKey->wrapped);
    ASSERT_TRUE(unwrapped.ok()) << unwrapped.error();
    EXPECT_EQ(unwrapped->view(), manifestKey->key.view());

    const std::string text = "a database's bytes";
    base::Result<DecryptedFile> file = decryptFile(
        SecureBytes(*encryptFile(text, manifestKey->key)), unwrapped->view(), text.size());
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file->bytes.view(), text);
  }
}

TEST(ClassKeys, RefuseKeysOfOtherShapesClassesOrKeys) {
  base::Result<BackupEncryptor> writer =
      BackupEncryptor::create("pw", {1, std::nullopt, {1, 3}}, seededRandom(2));
  base::Result<KeyBag> bag = KeyBag::parse(writer->keyBag());
  base::Result<ClassKeys> keys = bag->unlock(bag->derivePasswordKey("pw")->view());
  ASSERT_TRUE(keys.ok());
  std::string wrapped = writer->newKey(3)->wrapped;
  EXPECT_TRUE(keys->unwrapKey(wrapped).ok());
  EXPECT_NE(keys->unwrapKey(wrapped.substr(1)).error().find("43 bytes"), std::string::npos);
  wrapped[0] = 1;  // class 1's key did not wrap it
  EXPECT_NE(keys->unwrapKey(wrapped).error().find("does not unwrap"), std::string::npos);
  wrapped[0] = 2;
  EXPECT_EQ(keys->unwrapKey(wrapped).error(), "no key of protection class 2");
}

// A bag's records, as tag and value.
using Records = std::vector<std::pair<std::string, std::string>>;

std::string u32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string encode(const Records& records) {
  std::string out;
  for (const auto& [tag, value] : records) out += tag + u32(value.size()) + value;
  return out;
}

TEST(KeyBagErrors, RefusesDamagedAndHostileBags) {
  const Records header = {{"VERS", u32(4)},
                          {"TYPE", u32(1)},
                          {"UUID", std::string(16, 'u')},
                          {"SALT", std::string(20, 's')},
                          {"ITER", u32(10)}};
  const Records group = {{"UUID", std::string(16, 'v')},
                         {"CLAS", u32(3)},
                         {"WRAP", u32(2)},
                         {"KTYP", u32(0)},
                         {"WPKY", std::string(40, 'w')}};
  auto with = [](Records r, const Records& more) {
    r.insert(r.end(), more.begin(), more.end());
    return encode(r);
  };
  auto without = [&](const std::string& tag) {
    Records r = header;
    std::erase_if(r, [&](const auto& record) { return record.first == tag; });
    return with(r, group);
  };
  const std::string whole = with(header, group);
  ASSERT_TRUE(KeyBag::parse(whole).ok());
  const std::pair<std::string, std::string_view> cases[] = {
      {"", "empty"},
      {whole.substr(0, whole.size() - 1), "record WPKY runs past the end"},
      {whole + "VERS", "record header runs past the end"},
      {without("SALT"), "no SALT"},
      {without("ITER"), "no ITER"},
      {with(header, {{"DPIC", u32(5)}}), "DPSL and DPIC unpaired"},
      {with(header, {{"ITER", u32(1'000'001)}}), "ITER asks for 1000001 rounds"},
      {with(header, {{"ITER", u32(0)}}), "ITER asks for 0 rounds"},
      {with(header, {{"DPSL", "x"}, {"DPIC", u32(20'000'001)}}), "DPIC asks for 20000001"},
      {with(header, {{"ITER", "abc"}}), "ITER is 3 bytes, not 4"},
      {with(header, {{"WPKY", std::string(40, 'w')}}), "WPKY before the first class key"},
      {with(header, {{"UUID", "v"}, {"WRAP", u32(2)}}), "a class key without CLAS"},
      {with(header, {group[0], group[1], group[0], group[1]}), "class 3 twice"},
      {with(header, {group[0], group[1], {"WPKY", std::string(39, 'w')}}), "WPKY of 39 bytes"},
  };
  for (const auto& [bytes, error] : cases) {
    base::Result<KeyBag> bag = KeyBag::parse(bytes);
    EXPECT_NE(bag.error().find(error), std::string::npos) << error << ": " << bag.error();
  }
  // Parsed, but nothing to unlock with the password.
  base::Result<KeyBag> deviceOnly =
      KeyBag::parse(with(header, {group[0], group[1], {"WRAP", u32(1)}, group[4]}));
  ASSERT_TRUE(deviceOnly.ok());
  EXPECT_FALSE(deviceOnly->unlock(std::string(32, 'k')).ok());
}

}  // namespace
}  // namespace ovra::backup

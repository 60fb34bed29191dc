// The primitives of encrypted backups against published known answers (RFC 6070, RFC 7914,
// RFC 3394, NIST SP 800-38A, and the backup-format vectors published with open-source
// backup tools), and the cipher's refusals.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "backup/aes_cipher.h"
#include "backup/key_bag.h"
#include "backup/key_derivation.h"
#include "tests/backup/hex.h"

namespace ovra::backup {
namespace {

using testing::hex;
using testing::unhex;

TEST(KeyDerivation, MatchesPublishedVectors) {
  struct Case {
    Prf prf;
    std::string_view password, salt;
    uint64_t rounds;
    std::string_view expected;
  };
  const Case cases[] = {
      // RFC 6070
      {Prf::kHmacSha1, "password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {Prf::kHmacSha1, "password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {Prf::kHmacSha1, "password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
      {Prf::kHmacSha1, "passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {Prf::kHmacSha1, {"pass\0word", 9}, {"sa\0lt", 5}, 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
      // RFC 7914, section 11
      {Prf::kHmacSha256, "passwd", "salt", 1,
       "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
       "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"},
      {Prf::kHmacSha256, "Password", "NaCl", 80000,
       "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
       "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d"},
  };
  for (const Case& c : cases) {
    base::Result<SecureBytes> key =
        pbkdf2(c.prf, c.password, c.salt, c.rounds, c.expected.size() / 2);
    ASSERT_TRUE(key.ok()) << key.error();
    EXPECT_EQ(hex(key->view()), c.expected) << c.password << " " << c.rounds;
  }
}

TEST(KeyDerivation, AgreesWithLibcryptoOnLongPasswordsAndReportsProgress) {
  const std::string password(100, 'p');  // longer than a block: HMAC hashes it first
  std::vector<uint64_t> reports;
  base::Result<SecureBytes> ours =
      pbkdf2(Prf::kHmacSha256, password, "salt", 300'000, 48, [&](uint64_t done, uint64_t total) {
        EXPECT_EQ(total, 600'000u);  // two blocks of output
        reports.push_back(done);
      });
  std::string theirs(48, '\0');
  PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                    reinterpret_cast<const unsigned char*>("salt"), 4, 300'000, EVP_sha256(), 48,
                    reinterpret_cast<unsigned char*>(theirs.data()));
  ASSERT_TRUE(ours.ok());
  EXPECT_EQ(ours->view(), theirs);
  EXPECT_EQ(reports.front(), 0u);
  EXPECT_EQ(reports.back(), 600'000u);
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
}

TEST(AesKeyWrap, MatchesRfc3394WithA256BitKek) {
  const std::string kek = unhex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"00112233445566778899aabbccddeeff", "64e8c3f9ce0f5ba263e9777905818a2a93c8191e7d6e8ae7"},
      {"00112233445566778899aabbccddeeff000102030405060708090a0b0c0d0e0f",
       "28c9f404c4b810f4cbccb35cfb87f8263f5786e2d80ed326cbc7f0e71a99f43bfb988b9b7a02dd21"},
  };
  for (const auto& [key, wrapped] : cases) {
    EXPECT_EQ(hex(*aesWrap(kek, unhex(key))), wrapped);
    base::Result<SecureBytes> unwrapped = aesUnwrap(kek, unhex(wrapped));
    ASSERT_TRUE(unwrapped.ok()) << unwrapped.error();
    EXPECT_EQ(hex(unwrapped->view()), key);
    std::string damaged = unhex(wrapped);
    damaged[5] ^= 1;
    EXPECT_EQ(aesUnwrap(kek, damaged).error(), kUnwrapMismatch);
  }
  EXPECT_FALSE(aesUnwrap(kek, std::string(20, 'x')).ok());  // not whole blocks
}

TEST(AesCbc, MatchesNistSp80038aWithItsIvAsTheFirstBlock) {
  // F.2.6 CBC-AES256.Decrypt. With a zero IV, a first block holding the vector's IV makes
  // the following blocks decrypt exactly as the vector's do under its IV.
  const std::string key = unhex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  const std::string ciphertext = unhex(
      "000102030405060708090a0b0c0d0e0f"
      "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
      "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
  base::Result<SecureBytes> plain = aesCbcDecrypt(ciphertext, key, Padding::kNone);
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(hex(plain->view().substr(16)),
            "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
            "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  // Its last block ends in 0x10 without sixteen of them: not PKCS#7.
  EXPECT_FALSE(aesCbcDecrypt(ciphertext, key, Padding::kPkcs7).ok());
}

TEST(AesCbc, RefusesWhatIsNotAPaddedCiphertext) {
  const std::string key(32, 'k');
  // One block encrypting `last16`, as its own first block (the padding block dropped).
  auto block = [&](std::string last16) { return aesCbcEncrypt(last16, key)->substr(0, 16); };
  const std::pair<std::string, std::string_view> cases[] = {
      {"", "nothing to decrypt"},
      {std::string(15, 'c'), "not whole blocks"},
      {block(std::string(15, 'a') + '\0'), "wrong padding"},
      {block(std::string(15, 'a') + '\x11'), "wrong padding"},
      {block(std::string(14, 'a') + "\x01\x02"), "wrong padding"},
  };
  for (const auto& [ciphertext, error] : cases) {
    EXPECT_NE(aesCbcDecrypt(ciphertext, key, Padding::kPkcs7).error().find(error),
              std::string::npos)
        << error;
    SecureBytes inPlace(ciphertext);
    EXPECT_FALSE(aesCbcDecryptInPlace(inPlace, key, Padding::kPkcs7).ok());
    EXPECT_TRUE(inPlace.empty());
  }
}

TEST(DecryptFile, KeepsThePaddedLengthAndNotesAnotherRecordedSize) {
  const std::string key(32, 'k');
  const std::string ciphertext = *aesCbcEncrypt("twenty bytes of text", key);  // 32 bytes
  for (uint64_t recorded : {20, 4}) {
    base::Result<DecryptedFile> file = decryptFile(SecureBytes(ciphertext), key, recorded);
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file->bytes.view(), "twenty bytes of text");
    EXPECT_EQ(file->sizeNote.empty(), recorded == 20);
  }
  EXPECT_NE(decryptFile(SecureBytes(ciphertext), key, 33).error().find("does not fit"),
            std::string::npos);
}

// The published backup vectors: password key, class-key unwrap and a file.
TEST(BackupVectors, DeriveUnwrapAndDecryptAsPublished) {
  struct Case {
    std::string_view password, salt;
    uint32_t iterations;
    std::string_view dpSalt;
    uint32_t dpIterations;
    std::string_view wpky, derived, classKey;
  };
  const Case cases[] = {
      {"855632538858211", "8840233131165307147445064802216857558435", 10000,
       "c77a159b325d10efee51a1c05701ef63fb85b599", 1000,
       "31021f9c5a705c3625af21739d397082d90f7a00718a9307687625abc35fc3e4d78371e95cc708b6",
       "eed63bdf495271d39f9573cd996f673e993c42653487dad8bc6c5a9d5f9e5c9e",
       "a4a800f2948500002f679954baac0000bc37a75a034700008a42b7b92f460000"},
      {"1", "6832814730342072666684158073107301064276", 10000,
       "46de5e844e0ee1c81d2cca6acefb77789c1a7cd0", 1000,
       "b3d3f05b5367345fcb654b9b628e2ed24d8b8726f1f74707a956c776475d6ebfffc962340d9cbbca",
       "b13991335ad8f67fb71045f6dfc2b5739976726601ec67ae14ba8c3263767a46",
       "57eac5110c0400000c39c4bdb5bf00008a956423fc5e0000ad7022b6e8110000"},
      {"123456", "266343aaf99102ba7f6af64a3a2d62637793f753", 10000, "", 0,
       "bc707ac0151660426c8114d04caad9d9ee2678a7b7ab05c18ee50cafb2613c31c8978e8b1e9cad2a",
       "e3b46feb8370ba6caedc4925ef30b7d6c93c1462cfecc71901810ef92fb14405",
       "0003897185014cf89b30fb01979f5e675409edfce0cda6cba5f5467a969ebbae"},
      // The phone's round counts: some seconds.
      {"0000", "0000000000000000000000000000000000000000", 10000,
       "0000000000000000000000000000000000000000", 10'000'000,
       "528c9c5171bf8bef1ea397cf29d2a838c90529df02a6ad2f823a1c6f3a5b2040e2a309c520c6a2ab",
       "ec8edc160b5745ccae000bfb4787630f322821191fba7eea38feab2c6307cd9b",
       "0000000000000000000000000000000000000000000000000000000000000000"},
  };
  for (const Case& c : cases) {
    KeyBag bag;
    bag.salt = unhex(c.salt);
    bag.iterations = c.iterations;
    bag.dpSalt = unhex(c.dpSalt);
    bag.dpIterations = c.dpIterations;
    bag.classKeys.push_back({3, kWrapPasscode, 0, std::string(16, 'u'), unhex(c.wpky)});
    base::Result<SecureBytes> derived = bag.derivePasswordKey(c.password);
    ASSERT_TRUE(derived.ok());
    EXPECT_EQ(hex(derived->view()), c.derived) << c.password;
    EXPECT_EQ(hex(aesUnwrap(derived->view(), unhex(c.wpky))->view()), c.classKey);
    EXPECT_TRUE(bag.unlock(derived->view()).ok());
    EXPECT_EQ(bag.unlock(std::string(32, 'x')).error(), kWrongPassword);
  }

  ClassKeys keys;
  keys.add(2, SecureBytes(std::string(32, '\0')));
  base::Result<SecureBytes> fileKey = keys.unwrapKey(unhex(
      "0200000097317494343807e690fd1e431413963dc0e3deb4907fb89fa36ce65126d0ea1301381fb3a2941e2f"));
  ASSERT_TRUE(fileKey.ok()) << fileKey.error();
  EXPECT_EQ(fileKey->view(), std::string(32, '\0'));
  base::Result<DecryptedFile> file =
      decryptFile(SecureBytes(unhex("78b51ca5374c3ad575174288688cda49")), fileKey->view(), 9);
  ASSERT_TRUE(file.ok());
  EXPECT_EQ(file->bytes.view(), "Test data");
}

}  // namespace
}  // namespace ovra::backup

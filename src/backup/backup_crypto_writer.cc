// Writes what key_bag, aes_cipher, file_record and write_ahead_log read. It builds on the
// same primitives (PBKDF2, key wrap, CBC, the log checksum), which the tests check against
// published known answers and SQLite's own logs; the structures around them are written
// here independently of their readers.
#include "backup/backup_crypto_writer.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <plist/plist.h>

#include <memory>

#include "backup/aes_cipher.h"
#include "backup/key_bag.h"
#include "backup/key_derivation.h"
#include "backup/write_ahead_log.h"

namespace ovra::backup {
namespace {

void putBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
}

void record(std::string& bag, std::string_view tag, std::string_view value) {
  bag += tag;
  putBigEndian(bag, static_cast<uint32_t>(value.size()));
  bag += value;
}

void record(std::string& bag, std::string_view tag, uint32_t value) {
  std::string four;
  putBigEndian(four, value);
  record(bag, tag, four);
}

std::string randomString(const RandomBytes& random, size_t length) {
  std::string out(length, '\0');
  random(reinterpret_cast<uint8_t*>(out.data()), length);
  return out;
}

SecureBytes randomKey(const RandomBytes& random) {
  SecureBytes key(kAesKeySize);
  random(key.data(), key.size());
  return key;
}

struct PlistFree {
  void operator()(void* node) const noexcept { plist_free(static_cast<plist_t>(node)); }
};

plist_t classObject(const char* name, std::initializer_list<const char*> classes) {
  plist_t dict = plist_new_dict();
  plist_dict_set_item(dict, "$classname", plist_new_string(name));
  plist_t list = plist_new_array();
  for (const char* c : classes) plist_array_append_item(list, plist_new_string(c));
  plist_dict_set_item(dict, "$classes", list);
  return dict;
}

}  // namespace

RandomBytes systemRandom() {
  return [](uint8_t* out, size_t length) {
    if (RAND_bytes(out, static_cast<int>(length)) != 1) std::fill_n(out, length, 0);
  };
}

RandomBytes seededRandom(uint64_t seed) {
  auto counter = std::make_shared<uint64_t>(0);
  return [seed, counter](uint8_t* out, size_t length) {
    uint8_t block[32];
    for (size_t done = 0; done < length; done += sizeof block) {
      const uint64_t input[2] = {seed, (*counter)++};
      unsigned int n = 0;
      EVP_Digest(input, sizeof input, block, &n, EVP_sha256(), nullptr);
      std::copy_n(block, std::min(sizeof block, length - done), out + done);
    }
  };
}

base::Result<BackupEncryptor> BackupEncryptor::create(std::string_view password,
                                                      const KeyBagOptions& options,
                                                      RandomBytes random) {
  BackupEncryptor out;
  out.random_ = std::move(random);
  const std::string salt = randomString(out.random_, 20);
  const std::string dpSalt = randomString(out.random_, 20);
  // The password key, as the reader derives it.
  SecureBytes first;
  std::string_view input = password;
  if (options.dpIterations) {
    base::Result<SecureBytes> k =
        pbkdf2(Prf::kHmacSha256, password, dpSalt, *options.dpIterations, kAesKeySize);
    if (!k.ok()) return base::fail(k.error());
    first = std::move(k).value();
    input = first.view();
  }
  base::Result<SecureBytes> passwordKey =
      pbkdf2(Prf::kHmacSha1, input, salt, options.iterations, kAesKeySize);
  if (!passwordKey.ok()) return base::fail(passwordKey.error());

  std::string& bag = out.keyBag_;
  record(bag, "VERS", 4u);
  record(bag, "TYPE", 1u);  // a backup bag
  record(bag, "UUID", randomString(out.random_, 16));
  record(bag, "HMCK", randomString(out.random_, 40));
  record(bag, "WRAP", 0u);
  record(bag, "SALT", salt);
  record(bag, "ITER", options.iterations);
  if (options.dpIterations) {
    record(bag, "DPWT", 1u);
    record(bag, "DPIC", *options.dpIterations);
    record(bag, "DPSL", dpSalt);
  }
  for (uint32_t protectionClass : options.classes) {
    SecureBytes key = randomKey(out.random_);
    base::Result<std::string> wrapped = aesWrap(passwordKey->view(), key.view());
    if (!wrapped.ok()) return base::fail(wrapped.error());
    record(bag, "UUID", randomString(out.random_, 16));
    record(bag, "CLAS", protectionClass);
    record(bag, "WRAP", kWrapPasscode);
    record(bag, "KTYP", 0u);
    record(bag, "WPKY", *wrapped);
    out.classKeys_[protectionClass] = std::move(key);
  }
  return out;
}

base::Result<WrappedFileKey> BackupEncryptor::newKey(uint32_t protectionClass) {
  const auto classKey = classKeys_.find(protectionClass);
  if (classKey == classKeys_.end()) {
    return base::fail("no class key " + std::to_string(protectionClass));
  }
  WrappedFileKey out{randomKey(random_), {}};
  base::Result<std::string> wrapped = aesWrap(classKey->second.view(), out.key.view());
  if (!wrapped.ok()) return base::fail(wrapped.error());
  for (int shift = 0; shift < 32; shift += 8) {
    out.wrapped += static_cast<char>(protectionClass >> shift);
  }
  out.wrapped += *wrapped;
  return out;
}

base::Result<std::string> encryptFile(std::string_view plaintext, const SecureBytes& key) {
  return aesCbcEncrypt(plaintext, key.view());
}

std::string fileRecordBytes(const FileRecordFields& fields) {
  plist_t objects = plist_new_array();
  plist_array_append_item(objects, plist_new_string("$null"));
  plist_t file = plist_new_dict();
  plist_array_append_item(objects, file);                                           // 1
  plist_array_append_item(objects, plist_new_string(fields.relativePath.c_str()));  // 2
  plist_dict_set_item(file, "RelativePath", plist_new_uid(2));
  plist_dict_set_item(file, "Size", plist_new_uint(fields.size));
  plist_dict_set_item(file, "ProtectionClass", plist_new_uint(fields.protectionClass));
  plist_dict_set_item(file, "Mode", plist_new_uint(0100644));
  plist_dict_set_item(file, "UserID", plist_new_uint(501));
  plist_dict_set_item(file, "GroupID", plist_new_uint(501));
  plist_dict_set_item(file, "Flags", plist_new_uint(0));
  if (!fields.encryptionKey.empty()) {
    plist_t data = plist_new_data(fields.encryptionKey.data(), fields.encryptionKey.size());
    if (fields.keyInDictionary) {
      plist_t holder = plist_new_dict();
      plist_dict_set_item(holder, "NS.data", data);
      plist_dict_set_item(holder, "$class", plist_new_uid(4));
      plist_array_append_item(objects, holder);  // 3
      plist_array_append_item(
          objects, classObject("NSMutableData", {"NSMutableData", "NSData", "NSObject"}));
    } else {
      plist_array_append_item(objects, data);  // 3
      plist_array_append_item(objects, classObject("NSData", {"NSData", "NSObject"}));
    }
    plist_dict_set_item(file, "EncryptionKey", plist_new_uid(3));
  }
  plist_dict_set_item(file, "$class", plist_new_uid(plist_array_get_size(objects)));
  plist_array_append_item(objects, classObject("MBFile", {"MBFile", "NSObject"}));

  plist_t top = plist_new_dict();
  plist_dict_set_item(top, "root", plist_new_uid(1));
  const std::unique_ptr<void, PlistFree> archive(plist_new_dict());
  plist_t root = static_cast<plist_t>(archive.get());
  plist_dict_set_item(root, "$version", plist_new_uint(100000));
  plist_dict_set_item(root, "$archiver", plist_new_string("NSKeyedArchiver"));
  plist_dict_set_item(root, "$top", top);
  plist_dict_set_item(root, "$objects", objects);
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &bytes, &length);
  std::string out = bytes == nullptr ? std::string() : std::string(bytes, length);
  plist_to_bin_free(bytes);
  return out;
}

std::string writeAheadLog(uint32_t pageSize, const std::vector<WalFrameSpec>& frames,
                          bool bigEndian, uint32_t salt1, uint32_t salt2) {
  std::string out;
  putBigEndian(out, bigEndian ? kWalMagicBigEndian : kWalMagicLittleEndian);
  putBigEndian(out, kWalFormat);
  putBigEndian(out, pageSize);
  putBigEndian(out, 0);  // checkpoint sequence
  putBigEndian(out, salt1);
  putBigEndian(out, salt2);
  uint32_t sums[2] = {0, 0};
  walChecksum(out, bigEndian, sums);
  putBigEndian(out, sums[0]);
  putBigEndian(out, sums[1]);
  for (const WalFrameSpec& frame : frames) {
    std::string header;
    putBigEndian(header, frame.page);
    putBigEndian(header, frame.commitPages);
    std::string page = frame.bytes;
    page.resize(pageSize, '\0');
    walChecksum(header, bigEndian, sums);
    walChecksum(page, bigEndian, sums);
    putBigEndian(header, salt1);
    putBigEndian(header, salt2);
    putBigEndian(header, sums[0]);
    putBigEndian(header, sums[1]);
    out += header;
    out += page;
  }
  return out;
}

}  // namespace ovra::backup

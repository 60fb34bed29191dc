// The generator's encryption uses the backup format's writing side (backup_crypto_writer.h)
// with a seeded random stream, so that the same options give the same bytes. The log is
// made by deleting the newest rows from in-memory copies of the database and writing the
// pages that differ as frames.
#include "sample_encryption.h"

#include <openssl/evp.h>
#include <sqlite3.h>

#include <cstring>
#include <optional>
#include <vector>

#include "backup/sqlite_handle.h"
#include "platform/files/fs.h"

namespace ovra::sample {
namespace {

std::string base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

bool writeBytes(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

// Marks a database image as kept in write-ahead-log mode (2) or not (1).
void setJournalMode(std::string& image, char mode) {
  if (image.size() >= 100) image[18] = image[19] = mode;
}

// `image` with the `rows` newest messages deleted, through an in-memory copy.
std::optional<std::string> withoutNewest(const std::string& image, int rows) {
  backup::Connection db;
  if (sqlite3_open_v2(":memory:", db.out(), SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    return std::nullopt;
  }
  auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(image.size()));
  if (copy == nullptr) return std::nullopt;
  std::memcpy(copy, image.data(), image.size());
  const auto size = static_cast<sqlite3_int64>(image.size());
  if (sqlite3_deserialize(db.get(), "main", copy, size, size,
                          SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE) !=
      SQLITE_OK) {
    return std::nullopt;
  }
  const std::string sql = "DELETE FROM message WHERE ROWID > (SELECT max(ROWID) FROM message) - " +
                          std::to_string(rows) + ";";
  if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    return std::nullopt;
  }
  sqlite3_int64 length = 0;
  unsigned char* bytes = sqlite3_serialize(db.get(), "main", &length, 0);
  if (bytes == nullptr) return std::nullopt;
  std::string out(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
  sqlite3_free(bytes);
  return out;
}

// The frames that bring `from` to `to`, the last one a commit.
void appendFrames(const std::string& from, const std::string& to, uint32_t pageSize,
                  std::vector<backup::WalFrameSpec>& frames) {
  const size_t pages = to.size() / pageSize;
  for (size_t p = 0; p < pages; ++p) {
    std::string_view page = std::string_view(to).substr(p * pageSize, pageSize);
    if ((p + 1) * pageSize <= from.size() &&
        std::string_view(from).substr(p * pageSize, pageSize) == page && p != 0) {
      continue;
    }
    frames.push_back({.page = static_cast<uint32_t>(p + 1), .bytes = std::string(page)});
  }
  frames.back().commitPages = static_cast<uint32_t>(pages);
}

}  // namespace

base::Result<SampleEncryption> SampleEncryption::create(const Options& o, uint64_t seed) {
  base::Result<backup::BackupEncryptor> encryptor = backup::BackupEncryptor::create(
      o.password, {.iterations = o.rounds, .dpIterations = o.rounds}, backup::seededRandom(seed));
  if (!encryptor) return base::fail("key bag: " + encryptor.error());
  return SampleEncryption(std::move(*encryptor));
}

base::Result<std::string> SampleEncryption::encryptStoredFile(const std::string& path) {
  std::optional<std::string> plain = platform::readFile(path);
  if (!plain) return base::fail(path + ": cannot be read");
  base::Result<backup::WrappedFileKey> key = encryptor_.newKey(kSampleProtectionClass);
  if (!key) return base::fail(path + ": " + key.error());
  base::Result<std::string> sealed = backup::encryptFile(*plain, key->key);
  if (!sealed) return base::fail(path + ": " + sealed.error());
  if (!writeBytes(path, *sealed)) return base::fail(path + ": cannot be written");
  return key->wrapped;
}

std::string SampleEncryption::manifestPlistEntries(const std::string& manifestKey) const {
  std::string entries = "\t<key>BackupKeyBag</key>\n\t<data>" + base64(encryptor_.keyBag()) +
                        "</data>\n\t<key>IsEncrypted</key>\n\t<true/>\n";
  if (!manifestKey.empty()) {
    entries += "\t<key>ManifestKey</key>\n\t<data>" + base64(manifestKey) + "</data>\n";
  }
  return entries;
}

std::string moveNewestRowsIntoLog(const std::string& database, const std::string& log, int rows) {
  std::optional<std::string> full = platform::readFile(database);
  if (!full || full->size() < 100) return database + ": cannot be read";
  setJournalMode(*full, 1);
  uint32_t pageSize =
      (static_cast<unsigned char>((*full)[16]) << 8) | static_cast<unsigned char>((*full)[17]);
  if (pageSize == 1) pageSize = 65536;
  std::optional<std::string> middle = withoutNewest(*full, rows / 2);
  std::optional<std::string> base = withoutNewest(*full, rows);
  if (!middle || !base) return database + ": cannot delete its newest rows";
  for (std::string* image : {&*full, &*middle, &*base}) setJournalMode(*image, 2);
  std::vector<backup::WalFrameSpec> frames;
  appendFrames(*base, *middle, pageSize, frames);
  appendFrames(*middle, *full, pageSize, frames);
  if (!writeBytes(database, *base)) return database + ": cannot be written";
  if (!writeBytes(log, backup::writeAheadLog(pageSize, frames))) return log + ": cannot be written";
  return std::string();
}

}  // namespace ovra::sample

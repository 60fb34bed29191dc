#include "sample_manifest.h"

#include <optional>

#include "backup/backup_layout.h"
#include "backup/manifest.h"
#include "platform/files/fs.h"
#include "platform/files/sha1.h"
#include "sample_home.h"

namespace ovra::sample {
namespace {

std::string fixedBlock(Random& rng, uint16_t mode, uint64_t size) {
  backup::FileAttributes a{.mode = mode, .inode = 100000 + rng.below(900000)};
  a.userId = a.groupId = 501;
  a.modified = a.accessed = a.created = static_cast<uint32_t>(1300000000 + rng.below(50000000));
  a.size = size;
  a.protectionClass = 4;
  return backup::encodeFixedBlock(a);
}

std::string digestBytes(std::string_view bytes) {
  std::optional<platform::Sha1Digest> d = platform::sha1(bytes);
  return d ? std::string(reinterpret_cast<const char*>(d->data()), d->size()) : std::string();
}

// A record for a file stored in `folder`, with the stored file's size and digest; with
// `seal`, the file is encrypted and the record keeps its key (errors go to `error`).
ManifestRecord fileRecord(Random& rng, const std::string& folder, std::string domain,
                          std::string path, const FileSealer& seal = {},
                          std::string* error = nullptr) {
  std::string stored = platform::joinPath(folder, storedName(domain, path));
  std::string bytes = platform::readFile(stored).value_or(std::string());
  ManifestRecord r;
  if (seal) {
    base::Result<std::string> key = seal(stored);
    if (key) r.encryptionKey = *key;
    if (!key && error->empty()) *error = key.error();
  }
  r.domain = std::move(domain);
  r.path = std::move(path);
  r.dataHash = digestBytes(bytes);
  r.fixedBlock = fixedBlock(rng, 0100644, bytes.size());
  return r;
}

ManifestRecord directoryRecord(Random& rng, std::string domain, std::string path) {
  ManifestRecord r;
  r.domain = std::move(domain);
  r.path = std::move(path);
  r.fixedBlock = fixedBlock(rng, 040755, 0);
  return r;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> otherFiles() {
  return {{"HomeDomain", "Library/Preferences/com.apple.springboard.plist"},
          {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG"},
          {"AppDomain-com.example.reader",
           "Library/Caches/com.example.reader/" + std::string(280, 'a') + ".cache"}};
}

base::Result<std::string> sampleManifest(const std::string& folder, Random& rng,
                                         const FileSealer& seal) {
  const std::vector<std::pair<std::string, std::string>> others = otherFiles();
  std::string error;
  auto file = [&](const std::string& domain, const std::string& path) {
    return fileRecord(rng, folder, domain, path, seal, &error);
  };
  auto database = [&](const DatabaseLocation& db) { return file(db.domain, db.path); };
  std::vector<ManifestRecord> records;
  records.push_back(directoryRecord(rng, "HomeDomain", ""));
  records.push_back(directoryRecord(rng, "HomeDomain", "Library"));
  records.push_back(file(others[0].first, others[0].second));
  records.push_back(database(kSmsDatabase));
  if (platform::fileExists(
          platform::joinPath(folder, storedName(kSmsDatabase.domain, kSmsLogPath)))) {
    records.push_back(file(kSmsDatabase.domain, kSmsLogPath));
  }
  records.push_back(file(others[2].first, others[2].second));
  records.push_back(database(kAddressBookDatabase));
  ManifestRecord photo = file(others[1].first, others[1].second);
  photo.properties = {
      {"com.apple.assetsd.UUID", "0F5B1C2E-8E0A-4C33-9C1D-6A1B2C3D4E5F"},
      {"com.apple.assetsd.createdDate", std::string("\x41\xB4\x5A\x2C\x00\x00\x00\x00", 8)}};
  records.push_back(std::move(photo));
  records.push_back(database(kCallDatabase));
  // A symbolic link; its first attribute block is drawn and then replaced.
  ManifestRecord link = directoryRecord(rng, "MediaDomain", "Media/Recordings/latest");
  link.linkTarget = "/var/mobile/Media/Recordings/0001.m4a";
  link.fixedBlock = fixedBlock(rng, 0120755, 0);
  records.push_back(std::move(link));
  records.push_back(database(kBookmarksDatabase));
  records.push_back(database(kAppUseDatabase));
  if (!error.empty()) return base::fail(std::move(error));
  return encodeManifest(records);
}

}  // namespace ovra::sample

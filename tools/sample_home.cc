// The sample backup generator's folders. Each backup is made from its own random stream
// (seeded from the options' seed and the backup's index), so the output depends on
// nothing but the options. A backup folder gets its Info.plist, the five databases, the
// other stored files, and last the manifest that lists them all.
#include "sample_home.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/files/fs.h"
#include "platform/files/plist.h"
#include "sample_contacts.h"
#include "sample_databases.h"
#include "sample_life.h"
#include "sample_manifest.h"
#include "sample_random.h"

namespace ovra::sample {
namespace {

bool writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::string writeBackup(const std::string& folder, const std::string& deviceName,
                        const std::string& udid, Random& rng, const Options& o,
                        BackupCounts& counts) {
  std::error_code ec;
  if (!std::filesystem::create_directory(folder, ec)) {
    return folder + ": " + (ec ? ec.message() : std::string("already exists"));
  }
  counts.folder = folder;
  counts.deviceName = deviceName;
  std::optional<std::string> info =
      platform::Plist::dictionary({{"Device Name", deviceName},
                                   {"Display Name", deviceName},
                                   {"Product Type", o.modern ? "iPhone12,1" : "iPhone3,1"},
                                   {"Product Version", o.modern ? "14.4" : "5.1.1"},
                                   {"Target Identifier", udid},
                                   {"Unique Identifier", udid}})
          .toXml();
  if (!info || !writeFile(platform::joinPath(folder, backup::kInfoPlistName), *info)) {
    return folder + ": cannot write " + backup::kInfoPlistName;
  }

  std::optional<Life> life;
  if (o.story) life = makeLife(rng);
  std::vector<Contact> contacts = life ? life->people : makeContacts(rng, o.contacts);
  // Later backups keep each file in a sub-folder named after its stored name's start.
  auto storedPath = [&](const std::string& domain, const std::string& path) {
    const std::string name = storedName(domain, path);
    if (!o.modern) return platform::joinPath(folder, name);
    std::filesystem::create_directory(platform::joinPath(folder, name.substr(0, 2)), ec);
    return platform::joinPath(folder, backup::storedSubPath(name));
  };
  auto stored = [&](const DatabaseLocation& db) { return storedPath(db.domain, db.path); };
  for (std::string error :
       {life       ? writeLifeSms(stored(kSmsDatabase), rng, *life, o, counts)
        : o.modern ? writeModernSms(stored(kSmsDatabase), rng, contacts, o, counts)
                   : writeSms(stored(kSmsDatabase), rng, contacts, o, counts),
        life ? writeLifeCalls(stored(o.modern ? kCallStore : kCallDatabase), rng, *life, o, counts)
        : o.modern ? writeCallStore(stored(kCallStore), rng, contacts, o, counts)
                   : writeCalls(stored(kCallDatabase), rng, contacts, o, counts),
        writeAddressBook(stored(kAddressBookDatabase), rng, contacts, o, counts),
        writeBookmarks(stored(kBookmarksDatabase), rng, o, counts),
        writeAppUse(stored(kAppUseDatabase), rng, o, counts)}) {
    if (!error.empty()) return error;
  }

  for (const auto& [domain, path] : otherFiles()) {
    std::string bytes = "sample file " + path.substr(0, 40) + "\n";
    if (!writeFile(storedPath(domain, path), bytes)) {
      return folder + ": cannot write a stored file";
    }
  }
  if (o.modern) return writeManifestDb(folder, rng);
  if (!writeFile(platform::joinPath(folder, backup::kManifestName), sampleManifest(folder, rng))) {
    return folder + ": cannot write " + backup::kManifestName;
  }
  return std::string();
}

}  // namespace

Result writeSampleHome(const std::string& home, const Options& options) {
  Result result;
  const std::string dir = backupDirectory(home);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    result.error = dir + ": " + ec.message();
    return result;
  }
  static constexpr std::array<const char*, 4> kDevices = {"Anna's iPhone", "Work iPhone",
                                                          "Old iPhone 3GS", "Family iPhone"};
  for (int b = 0; b < options.backups; ++b) {
    Random rng(options.seed * 1000003 + static_cast<uint64_t>(b));
    std::string udid = storedName("device", std::to_string(options.seed) + "/" + std::to_string(b));
    std::string name = kDevices[static_cast<size_t>(b) % kDevices.size()];
    if (b >= static_cast<int>(kDevices.size())) name += " " + std::to_string(b + 1);
    BackupCounts counts;
    result.error = writeBackup(platform::joinPath(dir, udid), name, udid, rng, options, counts);
    if (!result.error.empty()) return result;
    result.backups.push_back(std::move(counts));
  }
  return result;
}

}  // namespace ovra::sample

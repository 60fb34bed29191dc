// The sample backup generator's folders. Each backup is made from its own random stream
// (seeded from the options' seed and the backup's index), so the output depends on
// nothing but the options. A backup folder gets its Info.plist, the five databases, the
// other stored files, and last the manifest that lists them all.
#include "sample_home.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <utility>

#include "backup/backup_location.h"
#include "platform/files/fs.h"
#include "platform/files/plist.h"
#include "sample_contacts.h"
#include "sample_databases.h"
#include "sample_encryption.h"
#include "sample_life.h"
#include "sample_manifest.h"
#include "sample_random.h"
#include "sample_whatsapp.h"

namespace ovra::sample {
namespace {

bool writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::string xmlText(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else {
      out += c;
    }
  }
  return out;
}

// A property list of one dictionary, from its entries' XML.
std::string plistDocument(std::string_view entries) {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC "
             "\"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
             "<plist version=\"1.0\">\n<dict>\n")
      .append(entries)
      .append("</dict>\n</plist>\n");
}

// One dictionary entry: the key and the value's XML.
std::string entry(std::string_view key, std::string_view value) {
  return std::string("\t<key>").append(key).append("</key>\n\t").append(value).append("\n");
}

std::string stringValue(std::string_view text) { return "<string>" + xmlText(text) + "</string>"; }

// What the backup service writes beside Info.plist: Manifest.plist (plain unless
// `encryption` gives its entries) and Status.plist (the snapshot's state). The backup's
// time is the day after the last message.
std::string writeServiceFiles(const std::string& folder, const std::string& deviceName,
                              const std::string& udid, const Options& o, bool manifest,
                              const std::string& encryption = {}, bool status = true) {
  const std::string date = "<date>2013-01-01T12:00:00Z</date>";
  const std::string manifestEntries =
      entry("Applications", "<dict/>") + entry("Date", date) +
      (encryption.empty() ? entry("IsEncrypted", "<false/>") : encryption) +
      entry("Lockdown", "<dict><key>DeviceName</key>" + stringValue(deviceName) +
                            "<key>UniqueDeviceID</key>" + stringValue(udid) + "</dict>") +
      entry("Version", stringValue(o.modern ? "10.0" : "9.1")) +
      entry("WasPasscodeSet", "<false/>");
  if (manifest && !writeFile(platform::joinPath(folder, backup::kManifestPlistName),
                             plistDocument(manifestEntries))) {
    return folder + ": cannot write " + backup::kManifestPlistName;
  }
  const std::string statusEntries =
      entry("BackupState", stringValue("new")) + entry("Date", date) +
      entry("IsFullBackup", "<false/>") +
      entry("SnapshotState", stringValue(o.unfinished ? "uploading" : "finished")) +
      entry("UUID", stringValue(udid.substr(0, 32))) + entry("Version", stringValue("3.3"));
  if (!status) return std::string();
  if (!writeFile(platform::joinPath(folder, backup::kStatusPlistName),
                 plistDocument(statusEntries))) {
    return folder + ": cannot write " + backup::kStatusPlistName;
  }
  return std::string();
}

// Writes the manifest of a backup whose files are all written, encrypting each file as
// it is listed, then Manifest.plist with the key bag (and Manifest.db encrypted under
// ManifestKey in later backups).
std::string encryptBackup(const std::string& folder, const std::string& deviceName,
                          const std::string& udid, Random& rng, const Options& o,
                          const std::vector<std::pair<std::string, std::string>>& extra) {
  const uint64_t seed = o.seed * 1000003 + std::stoull(udid.substr(0, 8), nullptr, 16);
  base::Result<SampleEncryption> encryption = SampleEncryption::create(o, seed);
  if (!encryption) return folder + ": " + encryption.error();
  const FileSealer seal = [&](const std::string& path) {
    return encryption->encryptStoredFile(path);
  };
  std::string manifestKey;
  if (o.modern) {
    if (std::string error = writeManifestDb(folder, rng, extra, seal); !error.empty()) return error;
    base::Result<std::string> key = seal(platform::joinPath(folder, backup::kManifestDbName));
    if (!key) return folder + ": " + key.error();
    manifestKey = *key;
  } else {
    base::Result<std::string> manifest = sampleManifest(folder, rng, seal);
    if (!manifest) return folder + ": " + manifest.error();
    if (!writeFile(platform::joinPath(folder, backup::kManifestName), *manifest)) {
      return folder + ": cannot write " + backup::kManifestName;
    }
  }
  return writeServiceFiles(folder, deviceName, udid, o, true,
                           encryption->manifestPlistEntries(manifestKey),
                           o.idevicebackup2 || o.unfinished);
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
  // Emoji reactions, edits and unsending came with later systems than the first layout's.
  const char* productType =
      o.modern ? (o.nonMessageRows ? "iPhone15,2" : "iPhone12,1") : "iPhone3,1";
  const char* productVersion = o.modern ? (o.nonMessageRows ? "18.1" : "14.4") : "5.1.1";
  std::optional<std::string> info =
      platform::Plist::dictionary({{"Device Name", deviceName},
                                   {"Display Name", deviceName},
                                   {"Product Type", productType},
                                   {"Product Version", productVersion},
                                   {"Target Identifier", udid},
                                   {"Unique Identifier", udid}})
          .toXml();
  if (!info || !writeFile(platform::joinPath(folder, backup::kInfoPlistName), *info)) {
    return folder + ": cannot write " + backup::kInfoPlistName;
  }
  if (o.idevicebackup2 || o.unfinished) {
    if (std::string error = writeServiceFiles(folder, deviceName, udid, o, o.idevicebackup2);
        !error.empty()) {
      return error;
    }
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

  // The messenger draws from a stream of its own: the rest stays as it is without it.
  std::vector<std::pair<std::string, std::string>> messengerFiles;
  if (o.modern && o.whatsapp) {
    Random peek = rng;
    if (std::string error =
            writeBackupMessenger(stored, stored(kCallStore), peek.next(), contacts, counts);
        !error.empty()) {
      return error;
    }
    for (const DatabaseLocation& db :
         {kWhatsAppChats, kWhatsAppCalls, kWhatsAppContacts, kWhatsAppLids}) {
      messengerFiles.emplace_back(db.domain, db.path);
    }
  }

  for (const auto& [domain, path] : otherFiles()) {
    std::string bytes = "sample file " + path.substr(0, 40) + "\n";
    if (!writeFile(storedPath(domain, path), bytes)) {
      return folder + ": cannot write a stored file";
    }
  }
  if (o.walRows > 0) {
    if (std::string error = moveNewestRowsIntoLog(
            stored(kSmsDatabase), storedPath(kSmsDatabase.domain, kSmsLogPath), o.walRows);
        !error.empty()) {
      return error;
    }
  }
  if (!o.password.empty()) return encryptBackup(folder, deviceName, udid, rng, o, messengerFiles);
  if (o.modern) return writeManifestDb(folder, rng, messengerFiles);
  base::Result<std::string> manifest = sampleManifest(folder, rng);
  if (!manifest || !writeFile(platform::joinPath(folder, backup::kManifestName), *manifest)) {
    return folder + ": cannot write " + backup::kManifestName;
  }
  return std::string();
}

}  // namespace

std::string writeBackupMessenger(const std::function<std::string(const DatabaseLocation&)>& stored,
                                 const std::string& callStore, uint64_t seed,
                                 const std::vector<Contact>& contacts, BackupCounts& counts) {
  // The identifier's digits: the country code, then the national number without its 0.
  std::vector<std::string> numbers;
  for (const Contact& c : contacts) {
    numbers.push_back(c.uk ? "44" + c.national.substr(1) : "1" + c.national);
  }
  WhatsAppOptions options;
  options.seed = seed;
  WhatsAppCounts written;
  const WhatsAppPaths paths{stored(kWhatsAppChats), stored(kWhatsAppCalls),
                            stored(kWhatsAppContacts), stored(kWhatsAppLids)};
  if (std::string error = writeWhatsApp(paths, numbers, options, written); !error.empty()) {
    return error;
  }
  counts.whatsappMessages = written.messages;
  counts.whatsappCalls = written.calls;
  counts.whatsappPhoneLogRows = written.phoneLog.size();
  counts.whatsappPhoneLogCopies =
      static_cast<size_t>(std::count_if(written.phoneLog.begin(), written.phoneLog.end(),
                                        [](const PhoneLogCall& call) { return call.copy; }));
  // The phone's own log: the calls as the phone recorded them for the messenger.
  backup::Connection db;
  if (sqlite3_open_v2(callStore.c_str(), db.out(), SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    return callStore + ": " + errorText(db.get());
  }
  Insert call(db.get(),
              "INSERT INTO ZCALLRECORD (Z_ENT, Z_OPT, ZANSWERED, ZCALLTYPE, ZDISCONNECTED_CAUSE, "
              "ZFACE_TIME_DATA, ZNUMBER_AVAILABILITY, ZORIGINATED, ZREAD, ZDATE, ZDURATION, "
              "ZADDRESS, ZSERVICE_PROVIDER, ZUNIQUE_ID, ZHANDLE_TYPE) VALUES (2, 1, ?, 0, 0, "
              "NULL, 0, ?, 1, ?, ?, ?, 'net.whatsapp.WhatsApp', ?, 2)");
  if (!call.ok() || !exec(db.get(), "BEGIN;")) return callStore + ": " + errorText(db.get());
  Random rng(seed ^ 0x63616C6C6C6F6773ull);
  for (const PhoneLogCall& c : written.phoneLog) {
    const std::string id = randomGuid(rng);
    call.integer(1, c.answered).integer(2, c.originated).real(3, c.date).real(4, c.duration);
    if (!call.text(5, c.address).text(6, id).run()) {
      return callStore + ": " + errorText(db.get());
    }
  }
  if (!exec(db.get(), "COMMIT;")) return callStore + ": " + errorText(db.get());
  return std::string();
}

base::Result<SampleHome> writeSampleHome(const std::string& home, const Options& options) {
  SampleHome written;
  const std::string dir = options.idevicebackup2 ? home : backupDirectory(home);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return base::fail(dir + ": " + ec.message());
  static constexpr std::array<const char*, 4> kDevices = {"Anna's iPhone", "Work iPhone",
                                                          "Old iPhone 3GS", "Family iPhone"};
  for (int b = 0; b < options.backups; ++b) {
    Random rng(options.seed * 1000003 + static_cast<uint64_t>(b));
    std::string udid = storedName("device", std::to_string(options.seed) + "/" + std::to_string(b));
    std::string name = kDevices[static_cast<size_t>(b) % kDevices.size()];
    if (b >= static_cast<int>(kDevices.size())) name += " " + std::to_string(b + 1);
    BackupCounts counts;
    std::string error =
        writeBackup(platform::joinPath(dir, udid), name, udid, rng, options, counts);
    if (!error.empty()) return base::fail(std::move(error));
    written.backups.push_back(std::move(counts));
  }
  return written;
}

}  // namespace ovra::sample

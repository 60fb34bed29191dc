// Fuzzes the manifest reader. The bytes are walked record by record with the cursor: the
// walk ends, every record moves the position forward, and a manifest read to its exact
// end is written again by the encoder to bytes that read back to the same records. Then
// the bytes are the Manifest.mbdb of a temporary backup folder that the backup reader
// walks: it must try every phone database the manifest names, and write nothing into
// the folder. Any breach aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "backup/backup_layout.h"
#include "backup/backup_reader.h"
#include "backup/manifest.h"
#include "platform/base/log.h"
#include "tests/temp_dir.h"

namespace {

using ovra::backup::ManifestCursor;
using ovra::backup::ManifestRecord;

// Names the broken property's line, then aborts.
void check(bool condition, int line = __builtin_LINE()) {
  if (condition) return;
  std::fprintf(stderr, "property broken at line %d of %s\n", line, __FILE__);
  std::abort();
}

// The records of a walk as the backup reader makes it; `cut` when a field ran past the end.
std::vector<ManifestRecord> walk(std::string_view bytes, bool& cut) {
  std::vector<ManifestRecord> records;
  ManifestCursor cursor(bytes);
  while (!cursor.atEnd()) {
    const int32_t before = cursor.position();
    records.push_back(cursor.readRecord());
    check(cursor.position() > before);
  }
  cut = cursor.position() != static_cast<int64_t>(bytes.size()) &&
        bytes.size() > ovra::backup::kManifestHeaderSize;
  return records;
}

bool namesPhoneDatabase(const std::string& path) {
  for (std::string_view name : {"ADDataStore.sqlitedb", "sms.db", "call_history.db",
                                "AddressBook.sqlitedb", "Bookmarks.db"}) {
    if (path.ends_with(name)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  bool cut = false;
  const std::vector<ManifestRecord> records = walk(bytes, cut);
  bool shortFields = true;
  for (const ManifestRecord& r : records) {
    for (const std::string* s : {&r.domain, &r.path, &r.linkTarget, &r.dataHash,
                                 &r.encryptionKey}) {
      shortFields = shortFields && s->size() <= 0xFFFE;
    }
    for (const auto& [name, value] : r.properties) {
      shortFields = shortFields && name.size() <= 0xFFFE && value.size() <= 0xFFFE;
    }
  }
  if (!cut && shortFields) {
    bool cutAgain = true;
    check(walk(ovra::backup::encodeManifest(records), cutAgain) == records && !cutAgain);
  }

  static const ovra::testing::TempDir folder;
  const std::string manifest = folder / ovra::backup::kManifestName;
  std::ofstream(manifest, std::ios::binary) << bytes;
  size_t tried = 0;
  ovra::platform::setLogHook([&tried](std::string_view line) {
    tried += line.starts_with("Processed DB ");
  });
  ovra::model::Session session;
  ovra::backup::DetailedLog detailedLog;
  ovra::backup::BackupReader(folder.path(), session, detailedLog).process_mbdb_file(folder.path());
  ovra::platform::setLogHook({});
  size_t named = 0;
  if (size > ovra::backup::kManifestHeaderSize) {
    for (const ManifestRecord& r : records) named += namesPhoneDatabase(r.path);
  }
  check(tried == named);
  check(std::distance(std::filesystem::directory_iterator(folder.path()), {}) == 1);
  return 0;
}

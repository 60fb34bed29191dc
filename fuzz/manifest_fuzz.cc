// Fuzzes the manifest reader: every record moves the cursor forward, and a manifest read
// to its exact end (no field longer than the encoder keeps) encodes again to the same
// records. The backup reader then walks the bytes as a backup folder's Manifest.mbdb.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "backup/backup_layout.h"
#include "backup/backup_reader.h"
#include "backup/manifest.h"
#include "fuzz/fuzz_check.h"
#include "platform/base/log.h"
#include "tests/temp_dir.h"

namespace {

using namespace ovra::backup;
using ovra::fuzz::check;

// The records as the backup reader walks them; `whole` when no field ran past the end
// and none is too long to encode again.
std::vector<ManifestRecord> walk(std::string_view bytes, bool& whole) {
  std::vector<ManifestRecord> records;
  ManifestCursor cursor(bytes);
  bool fits = true;
  while (!cursor.atEnd()) {
    const int32_t before = cursor.position();
    const ManifestRecord& r = records.emplace_back(cursor.readRecord());
    check(cursor.position() > before);
    for (const std::string* s :
         {&r.domain, &r.path, &r.linkTarget, &r.dataHash, &r.encryptionKey}) {
      fits = fits && s->size() <= 0xFFFE;
    }
    for (const auto& [name, value] : r.properties) {
      fits = fits && name.size() <= 0xFFFE && value.size() <= 0xFFFE;
    }
  }
  whole = fits && (bytes.size() <= kManifestHeaderSize ||
                   cursor.position() == static_cast<int64_t>(bytes.size()));
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  bool whole = false;
  const std::vector<ManifestRecord> records = walk(bytes, whole);
  if (whole) {
    bool wholeAgain = false;
    check(walk(encodeManifest(records), wholeAgain) == records && wholeAgain);
  }

  static const ovra::testing::TempDir folder;
  std::ofstream(folder / kManifestName, std::ios::binary) << bytes;
  ovra::platform::LogCapture quiet;
  ovra::model::Session session;
  DetailedLog detailedLog;
  BackupReader(folder.path(), session, detailedLog).process_mbdb_file(folder.path());
  return 0;
}

// A file's record in Manifest.db (the Files table's `file` column): a binary property list
// written by NSKeyedArchiver whose root object carries the file's Size, ProtectionClass and
// EncryptionKey. Only those three are read. Stateless; safe from any thread.
#ifndef OVRA_BACKUP_FILE_RECORD_H_
#define OVRA_BACKUP_FILE_RECORD_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace ovra::backup {

// Records larger than this are refused unread (real ones are a few hundred bytes).
inline constexpr size_t kMaxFileRecordSize = 64 * 1024;

struct FileRecord {
  std::optional<uint64_t> size;             // Size
  std::optional<uint32_t> protectionClass;  // ProtectionClass
  // EncryptionKey: the 4-byte little-endian class and the wrapped key, as
  // ClassKeys::unwrapKey takes them; empty for a record without one (a folder, a file
  // stored plain).
  std::string encryptionKey;
};

// Reads a record. The root object is found through `$top`'s `root` in `$objects`; a
// dictionary without `$objects` is taken as the root object itself. Every value may be
// direct or an object reference (references are followed within `$objects`, a few deep at
// most); EncryptionKey is data or a dictionary holding it under `NS.data`. Fails, saying
// why, on bytes that are not a binary property list of that shape or hold a value of the
// wrong kind under one of the three keys.
base::Result<FileRecord> parseFileRecord(std::string_view bytes);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_FILE_RECORD_H_

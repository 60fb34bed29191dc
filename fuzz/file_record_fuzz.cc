// Fuzzes the keyed-archive file record reader. A record that reads writes again, in the
// writer's shape, to a record that reads the same; a key of the wrapped length goes to the
// class keys' unwrap, which must refuse it cleanly.
#include <cstdint>
#include <string>
#include <string_view>

#include "backup/aes_cipher.h"
#include "backup/backup_crypto_writer.h"
#include "backup/file_record.h"
#include "backup/key_bag.h"
#include "fuzz/fuzz_check.h"

using namespace ovra::backup;
using ovra::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ovra::base::Result<FileRecord> record = parseFileRecord(bytes);
  if (!record.ok()) {
    check(!record.error().empty());
    return 0;
  }
  const FileRecordFields fields{"path", record->size.value_or(0),
                                record->protectionClass.value_or(0), record->encryptionKey};
  ovra::base::Result<FileRecord> again = parseFileRecord(fileRecordBytes(fields));
  check(again.ok() && again->size.value_or(0) == fields.size &&
        again->protectionClass.value_or(0) == fields.protectionClass &&
        again->encryptionKey == fields.encryptionKey);
  if (record->encryptionKey.size() == 4 + kWrappedKeySize) {
    ClassKeys keys;
    keys.add(static_cast<uint8_t>(record->encryptionKey[0]), SecureBytes(std::string(32, '\x01')));
    (void)keys.unwrapKey(record->encryptionKey);
  }
  return 0;
}

// Manifest.mbdb, the list of every file a backup holds: its byte layout, a reader that
// walks it over a byte view, and a writer for the sample generator and tests.
//
// A manifest is a 6-byte header and then records back to back. A record is five string
// fields (domain, path, link target, data hash, encryption key), a 39-byte block of file
// attributes, a one-byte property count, and that many pairs of string fields. A string
// field is a big-endian 16-bit byte count and the bytes, or 0xFF 0xFF for an empty
// string. Numbers are big-endian. Everything here is a pure function of its arguments.
#ifndef OVRA_BACKUP_MANIFEST_H_
#define OVRA_BACKUP_MANIFEST_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ovra::backup {

inline constexpr int32_t kManifestHeaderSize = 6;
inline constexpr int32_t kFixedBlockSize = 39;
inline constexpr std::string_view kManifestHeader("mbdb\x05\x00", kManifestHeaderSize);

// One record. Strings are stored as given (binary data allowed). The encryption key, in
// encrypted backups, is the file's protection class (4 bytes, little-endian) and its
// wrapped key.
struct ManifestRecord {
  std::string domain;
  std::string path;
  std::string linkTarget;
  std::string dataHash;
  std::string encryptionKey;
  std::string fixedBlock = std::string(kFixedBlockSize, '\0');  // see FileAttributes
  std::vector<std::pair<std::string, std::string>> properties;

  bool operator==(const ManifestRecord&) const = default;
};

// Reads fields at a position that only moves forward. Every read is bounds-checked here:
// a read that runs past the end gives "" or the bytes it found, and still moves the
// position by the whole field, so a cut manifest ends the walk after the record in
// progress. The position stops at the largest 32-bit value instead of wrapping. Strings
// that are not UTF-8 are read as Latin-1, so every text is valid UTF-8.
class ManifestCursor {
 public:
  // `data` must outlive the cursor.
  explicit ManifestCursor(std::string_view data, int32_t position = kManifestHeaderSize)
      : data_(data), position_(position) {}

  int32_t position() const { return position_; }
  bool atEnd() const { return int64_t{position_} >= static_cast<int64_t>(data_.size()); }

  // One string field.
  std::string readString();
  // One string field's bytes as they are, for binary fields (the encryption key).
  std::string readBytes();
  // The big-endian number in the next `width` bytes, as far as there are bytes; with a
  // width above 4 only the last four bytes remain.
  int32_t readInt(int32_t width);
  // One record. The fixed block is taken as it is found, cut short at the end; the
  // encryption key is read as bytes, the other strings as texts.
  ManifestRecord readRecord();

 private:
  void advance(int64_t bytes);

  std::string_view data_;
  int32_t position_;
};

// The fields of a record's fixed block, which the reader skips.
struct FileAttributes {
  uint16_t mode = 0;
  uint64_t inode = 0;
  uint32_t userId = 0;
  uint32_t groupId = 0;
  uint32_t modified = 0;  // the three times in seconds since 1970
  uint32_t accessed = 0;
  uint32_t created = 0;
  uint64_t size = 0;
  uint8_t protectionClass = 0;
};

// The size a fixed block gives (0 when it is cut short).
uint64_t fixedBlockSize(std::string_view block);
// The 39-byte fixed block of `a`.
std::string encodeFixedBlock(const FileAttributes& a);
// The header and the records back to back; at most 255 properties per record are kept.
std::string encodeManifest(const std::vector<ManifestRecord>& records);

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_MANIFEST_H_

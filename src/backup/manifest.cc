// The manifest's reader and writer. The reader follows the phone's own reader in how far
// each field moves the position, also past the end of the data; the writer produces what
// that reader reads back field for field.
#include "backup/manifest.h"

#include <algorithm>
#include <limits>

#include "platform/base/utf8.h"

namespace ovra::backup {
namespace {

std::string latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Appends the low `bytes` bytes of `value`, most significant first.
void putBigEndian(std::string& out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// One string field; texts longer than 0xFFFE bytes are cut there.
std::string encodeString(std::string_view text) {
  if (text.empty()) return std::string("\xFF\xFF", 2);
  std::string out;
  putBigEndian(out, std::min<size_t>(text.size(), 0xFFFE), 2);
  out.append(text.substr(0, 0xFFFE));
  return out;
}

}  // namespace

void ManifestCursor::advance(int64_t bytes) {
  position_ = static_cast<int32_t>(
      std::min<int64_t>(int64_t{position_} + bytes, std::numeric_limits<int32_t>::max()));
}

std::string ManifestCursor::readString() {
  std::string bytes = readBytes();
  return platform::isValidUtf8(bytes) ? bytes : latin1ToUtf8(bytes);
}

std::string ManifestCursor::readBytes() {
  const int64_t size = static_cast<int64_t>(data_.size());
  const int64_t p = position_;
  advance(2);
  if (p < 0 || size < p + 2) return std::string();
  const auto h0 = static_cast<unsigned char>(data_[p]);
  const auto h1 = static_cast<unsigned char>(data_[p + 1]);
  if (h0 == 0xFF && h1 == 0xFF) return std::string();
  const int64_t n = (int64_t{h0} << 8) | h1;
  advance(n);
  if (p + 2 + n > size) return std::string();
  return std::string(data_.substr(static_cast<size_t>(p + 2), static_cast<size_t>(n)));
}

int32_t ManifestCursor::readInt(int32_t width) {
  uint32_t value = 0;
  for (int32_t i = 0; i < width && !atEnd() && position_ >= 0; ++i) {
    value = (value << 8) | static_cast<unsigned char>(data_[static_cast<size_t>(position_)]);
    ++position_;
  }
  return static_cast<int32_t>(value);
}

ManifestRecord ManifestCursor::readRecord() {
  ManifestRecord r;
  for (std::string* field : {&r.domain, &r.path, &r.linkTarget, &r.dataHash}) {
    *field = readString();
  }
  r.encryptionKey = readBytes();
  r.fixedBlock = position_ >= 0 && !atEnd()
                     ? std::string(data_.substr(static_cast<size_t>(position_), kFixedBlockSize))
                     : std::string();
  advance(kFixedBlockSize);
  const int32_t count = readInt(1);
  r.properties.resize(static_cast<size_t>(std::max(count, 0)));
  for (auto& [name, value] : r.properties) {
    name = readString();
    value = readString();
  }
  return r;
}

uint64_t fixedBlockSize(std::string_view block) {
  // mode (2), inode (8), user and group (4 each), three times (4 each), then the size.
  constexpr size_t kSizeAt = 30;
  if (block.size() < kSizeAt + 8) return 0;
  uint64_t size = 0;
  for (size_t i = 0; i < 8; ++i)
    size = (size << 8) | static_cast<unsigned char>(block[kSizeAt + i]);
  return size;
}

std::string encodeFixedBlock(const FileAttributes& a) {
  std::string block;
  putBigEndian(block, a.mode, 2);
  putBigEndian(block, a.inode, 8);
  for (uint32_t field : {a.userId, a.groupId, a.modified, a.accessed, a.created}) {
    putBigEndian(block, field, 4);
  }
  putBigEndian(block, a.size, 8);
  putBigEndian(block, a.protectionClass, 1);
  return block;
}

std::string encodeManifest(const std::vector<ManifestRecord>& records) {
  std::string out(kManifestHeader);
  for (const ManifestRecord& r : records) {
    for (const std::string* s :
         {&r.domain, &r.path, &r.linkTarget, &r.dataHash, &r.encryptionKey}) {
      out += encodeString(*s);
    }
    out += r.fixedBlock;
    out += static_cast<char>(std::min<size_t>(r.properties.size(), 255));
    for (size_t i = 0; i < r.properties.size() && i < 255; ++i) {
      out += encodeString(r.properties[i].first);
      out += encodeString(r.properties[i].second);
    }
  }
  return out;
}

}  // namespace ovra::backup

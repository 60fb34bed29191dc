// Reading the text out of a typedstream. The stream starts with a version byte, the
// length-prefixed word "streamtyped" and the system version; then come the objects. An
// archived NSAttributedString names its classes (NSAttributedString, NSObject, then
// NSString or NSMutableString for its characters) and then writes the characters as the
// type '+' (0x84 0x01 '+') followed by a byte count and the UTF-8 bytes. A count below
// 0x80 is the byte itself; 0x81 and 0x82 announce a little-endian 16- or 32-bit count.
//
// The reader does not rebuild the object graph: it finds the string class's name, the
// '+' marker after it, and takes the counted bytes. Every read goes through Bytes, which
// checks the bounds; a stream that runs out or does not fit gives "".
#include "backup/attributed_body.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/base/utf8.h"

namespace ovra::backup {
namespace {

constexpr std::string_view kMagic("\x04\x0bstreamtyped", 13);
constexpr std::string_view kStringClasses[] = {std::string_view("\x08NSString", 9),
                                               std::string_view("\x0fNSMutableString", 16)};
constexpr std::string_view kTextMarker("\x84\x01+", 3);
// Bytes between a class name and the marker: its version and the end of the class chain.
constexpr size_t kMarkerWindow = 16;

// A byte view and a position that only moves forward, never past the end.
class Bytes {
 public:
  explicit Bytes(std::string_view data) : data_(data) {}

  size_t position() const { return position_; }
  void seek(size_t position) { position_ = std::min(position, data_.size()); }
  std::optional<uint8_t> byte() {
    if (position_ >= data_.size()) return std::nullopt;
    return static_cast<uint8_t>(data_[position_++]);
  }
  // The next `n` bytes as a little-endian number.
  std::optional<uint32_t> littleEndian(size_t n) {
    if (data_.size() - position_ < n) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = n; i-- > 0;) value = value << 8 | static_cast<uint8_t>(data_[position_ + i]);
    position_ += n;
    return value;
  }
  std::optional<std::string_view> take(size_t n) {
    if (data_.size() - position_ < n) return std::nullopt;
    std::string_view out = data_.substr(position_, n);
    position_ += n;
    return out;
  }
  // Moves just past the first `needle` found in [position, position + window); false
  // (position unchanged) when it is not there.
  bool skipPast(std::string_view needle, size_t window) {
    std::string_view area = data_.substr(position_, window);
    size_t at = area.find(needle);
    if (at == std::string_view::npos) return false;
    position_ += at + needle.size();
    return true;
  }

 private:
  std::string_view data_;
  size_t position_ = 0;
};

std::optional<uint32_t> readCount(Bytes& in) {
  std::optional<uint8_t> first = in.byte();
  if (!first) return std::nullopt;
  if (*first < 0x80) return *first;
  if (*first == 0x81) return in.littleEndian(2);
  if (*first == 0x82) return in.littleEndian(4);
  return std::nullopt;  // a negative count or a tag: not a string's length
}

}  // namespace

std::string attributedBodyText(std::string_view archive) {
  if (!archive.starts_with(kMagic)) return std::string();
  Bytes in(archive);
  in.seek(kMagic.size());
  const size_t start = in.position();
  bool found = false;
  for (std::string_view name : kStringClasses) {
    in.seek(start);
    if (in.skipPast(name, kMaxBodyScan) && in.skipPast(kTextMarker, kMarkerWindow)) {
      found = true;
      break;
    }
  }
  if (!found) return std::string();
  std::optional<uint32_t> count = readCount(in);
  if (!count) return std::string();
  std::optional<std::string_view> text = in.take(*count);
  if (!text || !platform::isValidUtf8(*text)) return std::string();
  return std::string(*text);
}

}  // namespace ovra::backup

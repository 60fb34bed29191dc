// A JPEG stream is a start-of-image marker (FF D8) followed by segments: FF, a marker
// byte, and (except for the stand-alone markers) a two-byte big-endian length that counts
// itself. The frame header (SOF0..SOF15 but DHT C4, JPG C8 and DAC CC) holds the sample
// precision, then the height and the width. The reader walks segments until it meets a
// frame header, and gives up at the scan, at the end of the image, or at the first byte
// that breaks the structure.

#include "facebook/image.h"

#include <cstdint>

namespace ovra::facebook {

namespace {

// Bounds-checked reads over the stream; every read past the end fails.
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  bool readByte(uint8_t* out) {
    if (pos_ >= bytes_.size()) return false;
    *out = static_cast<uint8_t>(bytes_[pos_++]);
    return true;
  }
  bool readU16(uint16_t* out) {
    uint8_t hi = 0;
    uint8_t lo = 0;
    if (!readByte(&hi) || !readByte(&lo)) return false;
    *out = static_cast<uint16_t>((hi << 8) | lo);
    return true;
  }
  bool skip(size_t n) {
    if (n > bytes_.size() - pos_) return false;
    pos_ += n;
    return true;
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

bool isFrameHeader(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool isStandAlone(uint8_t marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);  // TEM, RST0..RST7
}

}  // namespace

std::optional<JPEGSize> readJPEGSize(std::string_view bytes) {
  ByteReader in(bytes);
  uint16_t soi = 0;
  if (!in.readU16(&soi) || soi != 0xFFD8) return std::nullopt;  // not a JPEG
  for (;;) {
    uint8_t byte = 0;
    if (!in.readByte(&byte) || byte != 0xFF) return std::nullopt;  // lost the segments
    uint8_t marker = 0xFF;
    while (marker == 0xFF) {  // fill bytes
      if (!in.readByte(&marker)) return std::nullopt;
    }
    if (isStandAlone(marker)) continue;
    if (marker == 0xD9 || marker == 0xDA || marker == 0x00) return std::nullopt;  // no frame
    uint16_t length = 0;
    if (!in.readU16(&length) || length < 2) return std::nullopt;
    if (isFrameHeader(marker)) {
      uint8_t precision = 0;
      uint16_t height = 0;
      uint16_t width = 0;
      if (length < 8 || !in.readByte(&precision) || !in.readU16(&height) || !in.readU16(&width)) {
        return std::nullopt;  // truncated frame header
      }
      if (width == 0 || height == 0) return std::nullopt;
      return JPEGSize{width, height};
    }
    if (!in.skip(length - 2u)) return std::nullopt;
  }
}

std::optional<Image> decodeJPEG(std::string bytes) {
  const std::optional<JPEGSize> size = readJPEGSize(bytes);
  if (!size) return std::nullopt;
  return Image{std::move(bytes), size->width, size->height};
}

}  // namespace ovra::facebook

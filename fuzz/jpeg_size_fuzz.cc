// Fuzzes the JPEG size reader. A size it reports must be written in the input, in a
// frame header that follows an FF byte; the input wrapped as the payload of an APP
// segment in front of a known frame header must give that frame's size. Any breach aborts.
#include <cstdint>
#include <string>
#include <string_view>

#include "facebook/image.h"
#include "fuzz/fuzz_check.h"

namespace {

unsigned u16At(std::string_view s, size_t i) {
  return static_cast<unsigned char>(s[i]) << 8 | static_cast<unsigned char>(s[i + 1]);
}

// Whether some "FF Cn LL LL P HH HH WW WW" with a frame marker Cn holds this size.
bool sizeWrittenIn(std::string_view s, unsigned width, unsigned height) {
  for (size_t i = 0; i + 9 <= s.size(); ++i) {
    const unsigned marker = static_cast<unsigned char>(s[i + 1]);
    if (static_cast<unsigned char>(s[i]) == 0xFF && (marker & 0xF0) == 0xC0 && marker != 0xC4 &&
        marker != 0xC8 && marker != 0xCC && u16At(s, i + 5) == height && u16At(s, i + 7) == width) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using ovra::fuzz::check;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const auto found = ovra::facebook::readJPEGSize(bytes);
  check(!found || (found->width > 0 && found->height > 0 &&
                   sizeWrittenIn(bytes, found->width, found->height)));
  // SOI, APP0 holding the input, then SOF0 of 300 x 200 (height 0x00C8, width 0x012C).
  const std::string payload = bytes.substr(0, 0xFFFD);
  std::string wrapped = "\xFF\xD8\xFF\xE0";
  wrapped += static_cast<char>((payload.size() + 2) >> 8);
  wrapped += static_cast<char>((payload.size() + 2) & 0xFF);
  wrapped += payload + std::string("\xFF\xC0\x00\x0B\x08\x00\xC8\x01\x2C\x01\x01\x11\x00", 13);
  const auto framed = ovra::facebook::readJPEGSize(wrapped);
  check(framed && framed->width == 300 && framed->height == 200);
  return 0;
}

#include "facebook/image.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra::facebook {
namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// A start-of-frame segment of the given kind for a width x height image.
std::string frame(int marker, int width, int height) {
  return bytes({0xFF, marker, 0x00, 0x11, 0x08, height >> 8, height & 0xFF, width >> 8,
                width & 0xFF, 0x03, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
}

const std::string kSOI = bytes({0xFF, 0xD8});
const std::string kJFIF = bytes({0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1,
                                 0, 1, 0, 0});
const std::string kDHT = bytes({0xFF, 0xC4, 0x00, 0x03, 0x00});
const std::string kSOS = bytes({0xFF, 0xDA, 0x00, 0x02});
const std::string kEOI = bytes({0xFF, 0xD9});

TEST(JPEGSize, ReadsTheFirstFrameHeader) {
  const struct {
    std::string name;
    std::string stream;
    int width;
    int height;
  } cases[] = {
      {"baseline", kSOI + kJFIF + frame(0xC0, 640, 480) + kSOS + kEOI, 640, 480},
      {"progressive", kSOI + frame(0xC2, 1, 65535), 1, 65535},
      {"after a huffman table", kSOI + kDHT + frame(0xC1, 300, 200), 300, 200},
      {"fill bytes before a marker", kSOI + bytes({0xFF, 0xFF}) + frame(0xC0, 16, 9), 16, 9},
      {"restart marker has no length", kSOI + bytes({0xFF, 0xD0}) + frame(0xC0, 2, 3), 2, 3},
  };
  for (const auto& c : cases) {
    const std::optional<JPEGSize> size = readJPEGSize(c.stream);
    ASSERT_TRUE(size) << c.name;
    EXPECT_EQ(size->width, c.width) << c.name;
    EXPECT_EQ(size->height, c.height) << c.name;
  }
  const std::optional<Image> image = decodeJPEG(kSOI + frame(0xC0, 8, 4));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->bytes, kSOI + frame(0xC0, 8, 4));
  EXPECT_EQ(image->width, 8);
  EXPECT_EQ(image->height, 4);
}

TEST(JPEGSizeErrors, RefusesStreamsWithoutAReadableFrame) {
  const std::string sof = frame(0xC0, 640, 480);
  const struct {
    std::string name;
    std::string stream;
  } cases[] = {
      {"empty", ""},
      {"one byte", bytes({0xFF})},
      {"not a JPEG", "GIF89a" + sof},
      {"no segments", kSOI},
      {"scan before any frame", kSOI + kSOS + sof},
      {"end of image before any frame", kSOI + kEOI + sof},
      {"segment longer than the stream", kSOI + bytes({0xFF, 0xE0, 0x40, 0x00, 0x00})},
      {"segment length below two", kSOI + bytes({0xFF, 0xE0, 0x00, 0x01}) + sof},
      {"garbage between segments", kSOI + bytes({0x00}) + sof},
      {"frame header cut short", kSOI + sof.substr(0, 7)},
      {"frame length too small", kSOI + bytes({0xFF, 0xC0, 0x00, 0x05, 8, 0, 1, 0, 1})},
      {"zero width", kSOI + frame(0xC0, 0, 480)},
      {"zero height", kSOI + frame(0xC0, 640, 0)},
      {"only a huffman table", kSOI + kDHT},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(readJPEGSize(c.stream)) << c.name;
    EXPECT_FALSE(decodeJPEG(c.stream)) << c.name;
  }
}

}  // namespace
}  // namespace ovra::facebook

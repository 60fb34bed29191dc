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

// A start-of-frame segment of kind `marker` for a width x height image.
std::string frame(int marker, int width, int height) {
  return bytes({0xFF, marker, 0x00, 0x0B, 0x08, height >> 8, height & 0xFF, width >> 8,
                width & 0xFF, 0x01, 1, 0x11, 0});
}

const std::string kSOI = bytes({0xFF, 0xD8});
const std::string kAPP0 = bytes({0xFF, 0xE0, 0x00, 0x04, 'J', 'F'});
const std::string kDHT = bytes({0xFF, 0xC4, 0x00, 0x03, 0x00});
const std::string kSOS = bytes({0xFF, 0xDA, 0x00, 0x02});

TEST(JPEGSize, ReadsTheFirstFrameHeaderPastOtherSegments) {
  const struct {
    std::string stream;
    int width;
    int height;
  } cases[] = {
      {kSOI + kAPP0 + frame(0xC0, 640, 480) + kSOS, 640, 480},
      {kSOI + kDHT + frame(0xC2, 1, 65535), 1, 65535},                     // progressive
      {kSOI + bytes({0xFF, 0xFF, 0xFF, 0xD0}) + frame(0xC1, 16, 9), 16, 9},  // fill, RST0
  };
  for (const auto& c : cases) {
    const std::optional<Image> image = decodeJPEG(c.stream);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bytes, c.stream);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
  }
}

TEST(JPEGSizeErrors, RefusesStreamsWithoutAReadableFrame) {
  const std::string sof = frame(0xC0, 640, 480);
  for (const std::string& stream : {
           std::string(), "GIF89a" + sof, kSOI, kSOI + kSOS + sof,
           kSOI + bytes({0xFF, 0xD9}) + sof,                   // end of image first
           kSOI + bytes({0xFF, 0xE0, 0x40, 0x00, 0x00}),       // segment past the end
           kSOI + bytes({0xFF, 0xE0, 0x00, 0x01}) + sof,       // length below two
           kSOI + bytes({0x00}) + sof,                         // garbage between segments
           kSOI + sof.substr(0, 7),                            // frame header cut short
           kSOI + bytes({0xFF, 0xC0, 0x00, 0x05, 8, 0, 1, 0, 1}),
           kSOI + frame(0xC0, 0, 480), kSOI + frame(0xC0, 640, 0), kSOI + kDHT}) {
    EXPECT_FALSE(decodeJPEG(stream)) << ::testing::PrintToString(stream);
  }
}

}  // namespace
}  // namespace ovra::facebook

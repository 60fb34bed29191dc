// Image: what a Graph reply of type "image/jpeg" becomes. Ovra does not draw these
// images, so it keeps the bytes as they came and the size read from the JPEG's frame
// header; nothing is decompressed. Values; safe to share once made.
#ifndef OVRA_FACEBOOK_IMAGE_H_
#define OVRA_FACEBOOK_IMAGE_H_

#include <optional>
#include <string>
#include <string_view>

namespace ovra::facebook {

struct Image {
  std::string bytes;
  int width = 0;
  int height = 0;
};

// The width and height from the first start-of-frame segment of a JPEG stream, or
// nothing when the bytes are not a JPEG with a frame of non-zero size before its scan.
struct JPEGSize {
  int width = 0;
  int height = 0;
};
std::optional<JPEGSize> readJPEGSize(std::string_view bytes);

// An Image of `bytes`, or nothing when readJPEGSize finds no size.
std::optional<Image> decodeJPEG(std::string bytes);

}  // namespace ovra::facebook

#endif  // OVRA_FACEBOOK_IMAGE_H_

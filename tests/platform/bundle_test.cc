// Bundle resources: file addresses of resource paths, and the module a function lies in.
#include "platform/files/bundle.h"

#include <gtest/gtest.h>

#include "platform/base/url_escape.h"

namespace ovra::platform {
namespace {

TEST(Bundle, ResourcesSitBesideTheModule) {
  EXPECT_EQ(fileURL("/a b/é%.html"), "file:///a%20b/%C3%A9%25.html");
  EXPECT_EQ(lastPathComponentOfURL("file:///a%20b/x%2Fy.html?q#f"), "x/y.html");
  EXPECT_EQ(lastPathComponentOfURL("/a%2x%41.html"), "a%2xA.html");  // bad escapes stay
  EXPECT_FALSE(modulePathContaining(nullptr));
}

}  // namespace
}  // namespace ovra::platform

// Views and bundle resources; the headless engine runs under every controller test.
#include "platform/ui/view.h"

#include <gtest/gtest.h>

#include "platform/base/url_escape.h"
#include "platform/base/utf8.h"
#include "platform/files/bundle.h"
#include "platform/ui/headless_engine.h"

namespace ovra::platform {
namespace {

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override { setWebEngine(engine_); }
  void TearDown() override { setWebEngine(nullptr); }
  std::shared_ptr<HeadlessEngine> engine_ = std::make_shared<HeadlessEngine>();
};

// Only the fill mask is used; without a mask, or unless the superview autoresizes, frames stay.
TEST_F(ViewTest, AutoresizingFollowsTheMasks) {
  for (const bool autoresizes : {true, false}) {
    auto parent = View::create(Rect{0, 0, 100, 100});
    auto fill = View::create(Rect{10, 10, 20, 20}), fixed = View::create(Rect{10, 10, 20, 20});
    fill->setAutoresizingMask(kViewWidthSizable | kViewHeightSizable);
    parent->setAutoresizesSubviews(autoresizes);
    parent->addSubview(fill);
    parent->addSubview(fixed);
    parent->setFrame(Rect{0, 0, 200, 150});
    EXPECT_EQ(fill->frame(), (autoresizes ? Rect{10, 10, 120, 70} : Rect{10, 10, 20, 20}));
    EXPECT_EQ(fixed->frame(), (Rect{10, 10, 20, 20}));
  }
}

TEST(UTF8, AcceptsWellFormedTextOnly) {
  // The bounds of each sequence length, then one case for each way of breaking one.
  for (const std::string valid :
       {"", "ascii", "\xC2\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"})
    EXPECT_TRUE(isValidUtf8(valid)) << ::testing::PrintToString(valid);
  for (const std::string invalid :
       {"\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
        "8 bytes \xE2\x82", "\xE2\x28\xA1"})
    EXPECT_FALSE(isValidUtf8(invalid)) << ::testing::PrintToString(invalid);
}

TEST(Bundle, ResourcesSitBesideTheModule) {
  EXPECT_EQ(fileURL("/a b/é%.html"), "file:///a%20b/%C3%A9%25.html");
  EXPECT_EQ(lastPathComponentOfURL("file:///a%20b/x%2Fy.html?q#f"), "x/y.html");
  EXPECT_EQ(lastPathComponentOfURL("/a%2x%41.html"), "a%2xA.html");  // bad escapes stay
  EXPECT_FALSE(modulePathContaining(nullptr));
}

}  // namespace
}  // namespace ovra::platform

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

TEST_F(ViewTest, AutoresizingFollowsTheMasks) {
  struct Case {
    unsigned mask;
    Rect after;
    bool autoresizes = true;
  };
  // A 100x100 superview holding a 20x20 subview at (10, 10) grows to 200x150.
  for (const Case& k : {
           Case{0, {10, 10, 20, 20}},
           Case{kViewWidthSizable | kViewHeightSizable, {10, 10, 120, 70}},
           Case{kViewMinXMargin, {110, 10, 20, 20}},
           Case{kViewMinXMargin | kViewWidthSizable,
                {10 + 100 * 10 / 30.0, 10, 20 + 100 * 20 / 30.0, 20}},
           Case{kViewWidthSizable, {10, 10, 20, 20}, false},  // the superview does not autoresize
       }) {
    auto parent = View::create(Rect{0, 0, 100, 100});
    parent->setAutoresizesSubviews(k.autoresizes);
    auto child = View::create(Rect{10, 10, 20, 20});
    child->setAutoresizingMask(k.mask);
    parent->addSubview(child);
    parent->setFrame(Rect{0, 0, 200, 150});
    EXPECT_EQ(child->frame(), k.after) << k.mask;
  }
}

TEST_F(ViewTest, SplitViewPanesKeepTheirShares) {
  auto split = SplitView::create(Rect{0, 0, 800, 600});
  split->setVertical(true);
  split->setAutoresizesSubviews(true);
  auto left = WebView::create(Rect{0, 0, 400, 600}),
       right = WebView::create(Rect{400, 0, 400, 600});
  split->addSubview(left);
  split->addSubview(right);
  split->setFrame(Rect{0, 0, 1000, 500});
  EXPECT_EQ(left->frame(), (Rect{0, 0, 500, 500}));
  EXPECT_EQ(right->frame(), (Rect{500, 0, 500, 500}));
}

TEST_F(ViewTest, SubviewsMoveBetweenSuperviewsAndLeave) {
  auto a = View::create(Rect{}), b = View::create(Rect{}), child = View::create(Rect{});
  a->addSubview(child);
  b->addSubview(child);  // moves: a view has one superview
  EXPECT_TRUE(a->subviews().empty());
  EXPECT_EQ(child->superview(), b);
  child->removeFromSuperview();
  EXPECT_TRUE(b->subviews().empty() && !child->superview());
  child->removeFromSuperview();  // again: nothing happens
  a->addSubview(a);              // a view is never its own subview
  EXPECT_TRUE(a->subviews().empty());
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
  EXPECT_EQ(resourceFolderForModule("/x/Ovra.bundle/Contents/lib/ovra.so"),
            "/x/Ovra.bundle/Contents/Resources");
  EXPECT_EQ(resourceFolderForModule("/x/bin/tool"), "/x/bin/Resources");
  EXPECT_EQ(fileURL("/a b/é%.html"), "file:///a%20b/%C3%A9%25.html");
  EXPECT_EQ(lastPathComponentOfURL("file:///a%20b/x%2Fy.html?q#f"), "x/y.html");
  EXPECT_EQ(lastPathComponentOfURL("/a%2x%41.html"), "a%2xA.html");  // bad escapes stay
  const std::optional<std::string> self =
      modulePathContaining(reinterpret_cast<const void*>(&resourceFolderForModule));
  ASSERT_TRUE(self);
  EXPECT_NE(self->find("libovra_platform_files.so"), std::string::npos) << *self;
  EXPECT_FALSE(modulePathContaining(nullptr));
}

}  // namespace
}  // namespace ovra::platform

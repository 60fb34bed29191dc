// Views: frames, autoresizing masks and subviews; the headless engine runs under every
// controller test.
#include "platform/ui/view.h"

#include <gtest/gtest.h>

#include "platform/ui/headless_engine.h"

namespace ovra::platform {
namespace {

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override { setWebEngine(engine_); }
  void TearDown() override { setWebEngine(nullptr); }
  std::shared_ptr<HeadlessEngine> engine_ = std::make_shared<HeadlessEngine>();
};

// Each mask against a superview that grows from 100x100 (or shrinks), for a subview with
// margins 20 and 60 across and none down: the change is shared among the flexible parts
// in proportion to their sizes, evenly when they are all zero; a length never goes below
// zero. Unless the superview autoresizes, frames stay.
TEST_F(ViewTest, AutoresizingFollowsTheMasks) {
  const Rect start{20, 0, 20, 100};
  const struct {
    unsigned mask;
    Rect resized, expected;
  } cases[] = {
      {0, {0, 0, 180, 140}, {20, 0, 20, 100}},
      {kViewWidthSizable | kViewHeightSizable, {0, 0, 180, 140}, {20, 0, 100, 140}},
      {kViewMinXMargin, {0, 0, 180, 140}, {100, 0, 20, 100}},
      {kViewMaxXMargin, {0, 0, 180, 140}, {20, 0, 20, 100}},
      {kViewMinXMargin | kViewWidthSizable, {0, 0, 180, 140}, {60, 0, 60, 100}},
      {kViewMinXMargin | kViewMaxXMargin, {0, 0, 180, 140}, {40, 0, 20, 100}},
      {kViewWidthSizable | kViewMaxXMargin, {0, 0, 180, 140}, {20, 0, 40, 100}},
      {kViewMinXMargin | kViewWidthSizable | kViewMaxXMargin, {0, 0, 180, 140}, {36, 0, 36, 100}},
      {kViewMinYMargin | kViewMaxYMargin, {0, 0, 180, 140}, {20, 20, 20, 100}},  // both zero
      {kViewMinYMargin | kViewHeightSizable, {0, 0, 180, 140}, {20, 0, 20, 140}},
      {kViewWidthSizable, {0, 0, 10, 100}, {20, 0, 0, 100}},  // shrunk past its width
      {kViewMinXMargin | kViewMaxYMargin, {0, 0, 10, 50}, {-70, 0, 20, 100}},
  };
  for (const bool autoresizes : {true, false}) {
    for (const auto& c : cases) {
      auto parent = View::create(Rect{0, 0, 100, 100});
      auto child = View::create(start);
      child->setAutoresizingMask(c.mask);
      parent->setAutoresizesSubviews(autoresizes);
      parent->addSubview(child);
      parent->setFrame(c.resized);
      EXPECT_EQ(child->frame(), autoresizes ? c.expected : start)
          << "mask " << c.mask << ", autoresizes " << autoresizes;
    }
  }
}

}  // namespace
}  // namespace ovra::platform

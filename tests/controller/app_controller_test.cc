#include "controller/app_controller.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/bundle.h"
#include "platform/headless_engine.h"
#include "platform/home.h"
#include "platform/log.h"
#include "platform/main_queue.h"
#include "test_home.h"

namespace ovra::controller {
namespace {

using platform::HeadlessEngine;
using platform::Rect;
using testing::TempHome;
using testing::TestContact;

constexpr Rect kArea{0, 0, 800, 600};

// Five messages make a contact shown; four do not.
const std::vector<TestContact> kFiveAndFour = {
    {"Ada", "Lovelace", "0612345678", 5},
    {"Bob", "Builder", "0698765432", 4},
};

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setWebEngine(engine_);
    platform::setHomeFolder(home_.path());
    window_->addSubview(view_);
  }

  void TearDown() override {
    if (controller_) controller_->finit();
    platform::waitForBackgroundWork();
    platform::setHomeFolder("");
    platform::setWebEngine(nullptr);
  }

  AppController& start(std::shared_ptr<platform::View> view) {
    controller_ = AppController::alloc();
    EXPECT_EQ(controller_->init(std::move(view), [this] { ++doneCalls_; }), controller_.get());
    return *controller_;
  }
  AppController& start() { return start(view_); }

  bool runUntil(const std::function<bool()>& done) {
    return testing::runFinishingLoads(*engine_, done);
  }
  bool runUntilFinalDecision() {
    return runUntil([&] { return controller_->notifiedReady(); });
  }
  std::vector<std::string> pages() const { return testing::bundlePagesLoaded(*engine_); }

  TempHome home_;
  std::shared_ptr<HeadlessEngine> engine_ = std::make_shared<HeadlessEngine>();
  std::shared_ptr<platform::View> window_ = platform::View::create(kArea);
  std::shared_ptr<platform::View> view_ = platform::View::create(kArea);
  std::shared_ptr<AppController> controller_;
  int doneCalls_ = 0;
};

TEST_F(ControllerTest, LoadingScreenIsTheLoadingPageBesideTheLoginPane) {
  AppController& c = start();
  ASSERT_EQ(view_->subviews().size(), 1u);
  auto split = std::dynamic_pointer_cast<platform::SplitView>(view_->subviews()[0]);
  ASSERT_TRUE(split);
  EXPECT_TRUE(split->isVertical());
  EXPECT_EQ(split->dividerStyle(), 2);
  ASSERT_EQ(split->subviews().size(), 2u);

  auto left = std::dynamic_pointer_cast<platform::WebView>(split->subviews()[0]);
  auto right = std::dynamic_pointer_cast<platform::WebView>(split->subviews()[1]);
  ASSERT_TRUE(left && right);
  EXPECT_EQ(left->frame(), (Rect{0, 0, 400, 600}));
  EXPECT_EQ(right->frame(), (Rect{400, 0, 400, 600}));
  EXPECT_EQ(platform::lastPathComponentOfURL(left->mainFrameURL()), "loading.html");
  EXPECT_EQ(left->windowScriptValue("appController"), controller_);
  EXPECT_FALSE(right->mainFrameURL().starts_with("file:"));
  EXPECT_EQ(right->windowScriptValue("appController"), nullptr);
  // The login runs in the right pane.
  EXPECT_EQ(c._facebook()->webView(), right);
  // A second initialisation is refused.
  EXPECT_EQ(c.init(view_, [] {}), nullptr);
}

TEST_F(ControllerTest, SkipPathShowsTheLoadingPageAfterTheLoginThenCallsDoneOnce) {
  ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", kFiveAndFour), "");
  platform::LogCapture log;
  AppController& c = start();
  c.ignoreFacebook();
  EXPECT_TRUE(log.contains("Ignore facebook"));
  EXPECT_EQ(pages(), (std::vector<std::string>{"loading.html", "loading_afterFacebook.html"}));
  // The page after the login fills the view alone and has no bridge.
  ASSERT_EQ(view_->subviews().size(), 1u);
  auto after = std::dynamic_pointer_cast<platform::WebView>(view_->subviews()[0]);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->frame(), kArea);
  EXPECT_EQ(after->windowScriptValue("appController"), nullptr);

  ASSERT_TRUE(runUntilFinalDecision());
  EXPECT_EQ(doneCalls_, 1);
  // Skipping again, after the final decision, changes nothing.
  c.ignoreFacebook();
  c.ignoreFacebook();
  platform::waitForBackgroundWork();
  EXPECT_EQ(doneCalls_, 1);
  EXPECT_EQ(pages().size(), 2u);
}

// Whichever source finishes second runs the build, once.
TEST_F(ControllerTest, BuildRunsOnceWhicheverSourceFinishesLast) {
  for (const bool extractionFirst : {true, false}) {
    SCOPED_TRACE(extractionFirst ? "extraction first" : "login step first");
    TempHome home;
    platform::setHomeFolder(home.path());
    ASSERT_EQ(testing::writeTestBackup(home.path(), "phone", kFiveAndFour), "");
    testing::GatedBackup gate(home.path(), "slow-phone");
    ASSERT_TRUE(gate.ok());
    doneCalls_ = 0;
    AppController& c = start();
    if (extractionFirst) {
      gate.open();
      // The page may read while the extraction writes; each answer is a whole state.
      ASSERT_TRUE(runUntil([&] {
        EXPECT_FALSE(c.getTimeLine().empty());
        EXPECT_EQ(c.getContacts(), "[]");
        return c.deviceReady();
      }));
      EXPECT_FALSE(c.hasDrawn());
      c.ignoreFacebook();
    } else {
      c.ignoreFacebook();
      // The draw thread finds the backups still being read and returns without work.
      ASSERT_TRUE(runUntil([] { return platform::runningBackgroundThreads() == 1; }));
      EXPECT_FALSE(c.deviceReady());
      EXPECT_FALSE(c.hasDrawn());
      gate.open();
    }
    ASSERT_TRUE(runUntilFinalDecision());
    EXPECT_TRUE(c.hasDrawn());
    EXPECT_EQ(doneCalls_, 1);
    const std::string contacts = c.getContacts().value_or("");
    EXPECT_EQ(contacts.rfind("[[\"1\",\"Ada\",\"\",\"Lovelace\",", 0), 0u) << contacts;
    EXPECT_EQ(contacts.find("Bob"), std::string::npos) << contacts;
    c.finit();
    platform::waitForBackgroundWork();
  }
}

// No person with five events: the no-data page with the bridge, and no done call. The
// detailed log says what was read, or that nothing was.
TEST_F(ControllerTest, NoQualifyingPersonShowsNoDataAndNeverCallsDone) {
  for (const bool withBackup : {true, false}) {
    SCOPED_TRACE(withBackup ? "a backup with a four-message contact" : "no backup");
    TempHome home;
    platform::setHomeFolder(home.path());
    if (withBackup) {
      ASSERT_EQ(testing::writeTestBackup(home.path(), "phone", {kFiveAndFour[1]}), "");
    }
    auto view = platform::View::create(kArea);
    window_->addSubview(view);
    platform::LogCapture log;
    AppController& c = start(view);
    EXPECT_EQ(c.getContacts(), "[]");
    c.ignoreFacebook();
    ASSERT_TRUE(runUntilFinalDecision());
    EXPECT_TRUE(log.contains("No data..."));
    EXPECT_EQ(doneCalls_, 0);
    EXPECT_EQ(engine_->lastLoadedResource(), "noData.html");
    ASSERT_EQ(view->subviews().size(), 1u);
    auto page = std::dynamic_pointer_cast<platform::WebView>(view->subviews()[0]);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->windowScriptValue("appController"), controller_);
    EXPECT_EQ(page->frame(), kArea);
    EXPECT_EQ(c.getContacts(), "[]");
    if (withBackup) {
      EXPECT_EQ(c.getDetailedLog().rfind("Read backup of Test Phone", 0), 0u);
      EXPECT_TRUE(c.getDetailedLog().ends_with("<br/>"));
    } else {
      EXPECT_EQ(c.getDetailedLog(), "No valid backup folders found");
      EXPECT_EQ(c.getTimeLine(), "[]");
    }
    c.finit();
    platform::waitForBackgroundWork();
  }
}

TEST_F(ControllerTest, OnlyFourMethodsAreCallableFromAPage) {
  AppController& c = start();
  auto page = engine_->webViewShowing("loading.html");
  ASSERT_TRUE(page);
  for (const char* method : {"getTimeLine", "getContacts", "getDetailedLog", "ignoreFacebook"}) {
    EXPECT_FALSE(c.isSelectorExcludedFromWebScript(method)) << method;
  }
  for (const char* method : {"drawComponents", "notifyReady", "markFacebookReady", "finit",
                             "setUpLocal", "showLoadingInfo", "getResourceURL:", "s",
                             "detailedLog", "getContacts:", "GetContacts", ""}) {
    EXPECT_TRUE(c.isSelectorExcludedFromWebScript(method)) << method;
    EXPECT_FALSE(engine_->callScript(*page, "appController", method).ok()) << method;
  }
  EXPECT_EQ(engine_->callScript(*page, "appController", "getContacts").value, "[]");
  EXPECT_FALSE(c.hasDrawn());
}

TEST_F(ControllerTest, NewWindowsOpenInTheBrowserOnlyForHttp) {
  start();
  auto page = engine_->webViewShowing("loading.html");
  ASSERT_TRUE(page);
  struct Case {
    const char* url;
    platform::PolicyDecision decision;
  };
  for (const Case& k : {Case{"http://example.org/a", platform::PolicyDecision::kIgnore},
                        Case{"https://example.org/a", platform::PolicyDecision::kUse},
                        Case{"HTTP://example.org/a", platform::PolicyDecision::kUse},
                        Case{"file:///tmp/x.html", platform::PolicyDecision::kUse},
                        Case{"mailto:a@example.org", platform::PolicyDecision::kUse},
                        Case{"httpx://example.org", platform::PolicyDecision::kUse}}) {
    EXPECT_EQ(engine_->requestNewWindow(*page, k.url, "_blank"), k.decision) << k.url;
  }
  EXPECT_EQ(engine_->openedURLs(), std::vector<std::string>{"http://example.org/a"});
}

TEST_F(ControllerTest, AbsentViewGivesZeroRectanglesAndNoFailure) {
  ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", kFiveAndFour), "");
  // Nothing holds the pages of an absent view for long: note their frames as they load.
  std::vector<Rect> frames;
  engine_->setLoadObserver([&](const HeadlessEngine::Load& load) {
    if (auto view = load.webView.lock()) frames.push_back(view->frame());
  });
  AppController& c = start(nullptr);
  EXPECT_EQ(c._facebook()->webView()->frame(), Rect{});
  c.ignoreFacebook();
  ASSERT_TRUE(runUntilFinalDecision());
  EXPECT_EQ(doneCalls_, 1);
  EXPECT_EQ(pages(), (std::vector<std::string>{"loading.html", "loading_afterFacebook.html"}));
  ASSERT_FALSE(frames.empty());
  for (const Rect& frame : frames) EXPECT_EQ(frame, Rect{});
}

// After finit, or once its view has left the screen, a controller finishes its work
// without showing anything.
TEST_F(ControllerTest, LateWorkOfARemovedControllerShowsNothing) {
  for (const bool viaFinit : {true, false}) {
    SCOPED_TRACE(viaFinit ? "finit" : "view removed");
    ASSERT_EQ(testing::writeTestBackup(home_.path(), viaFinit ? "a" : "b", kFiveAndFour), "");
    auto view = platform::View::create(kArea);
    window_->addSubview(view);
    doneCalls_ = 0;
    AppController& c = start(view);
    const size_t pagesBefore = pages().size();
    if (viaFinit) {
      c.finit();
      EXPECT_EQ(c.destView(), nullptr);
    } else {
      view->removeFromSuperview();
    }
    c.ignoreFacebook();
    ASSERT_TRUE(runUntilFinalDecision());
    platform::waitForBackgroundWork();
    EXPECT_EQ(doneCalls_, 0);
    EXPECT_EQ(pages().size(), pagesBefore);
    c.finit();
  }
}

}  // namespace
}  // namespace ovra::controller

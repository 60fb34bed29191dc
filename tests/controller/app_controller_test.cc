#include "controller/app_controller.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controller_stage.h"
#include "platform/files/bundle.h"
#include "platform/ui/headless_engine.h"
#include "platform/files/home.h"
#include "platform/base/log.h"
#include "platform/base/main_queue.h"
#include "test_home.h"

namespace ovra::controller {
namespace {

using platform::HeadlessEngine;
using platform::PolicyDecision;
using platform::Rect;
using platform::WebView;
using testing::TempHome;
using Pages = std::vector<std::string>;

// Five messages make a contact shown; four do not.
const std::vector<testing::TestContact> kFiveAndFour = {{"Ada", "Lovelace", "0612345678", 5},
                                                        {"Bob", "Builder", "0698765432", 4}};

class ControllerTest : public testing::ControllerStage {
 protected:
  // Starts a controller on `view`, after finishing the previous one of a looped test.
  AppController& start(std::shared_ptr<platform::View> view) {
    if (controller_) controller_->finit();
    platform::waitForBackgroundWork();
    controller_ = AppController::alloc();
    EXPECT_EQ(controller_->init(std::move(view), [this] { ++doneCalls_; }), controller_.get());
    return *controller_;
  }
  AppController& start() { return start(view_); }
  // A view of its own on the window, for one round of a looped test.
  std::shared_ptr<platform::View> newView() {
    auto view = platform::View::create(kArea);
    window_->addSubview(view);
    doneCalls_ = 0;
    return view;
  }
  bool runUntil(const std::function<bool()>& done) {
    return testing::runFinishingLoads(*engine_, done);
  }
  static std::shared_ptr<WebView> onlyPageIn(const platform::View& view) {
    EXPECT_EQ(view.subviews().size(), 1u);
    return view.subviews().empty() ? nullptr
                                   : std::dynamic_pointer_cast<WebView>(view.subviews()[0]);
  }
};

// The loading page sits beside the login pane; from it a page reaches only the four
// bridge methods, and only plain http windows open in the browser.
TEST_F(ControllerTest, LoadingScreenIsTheLoadingPageBesideTheLoginPane) {
  AppController& c = start();
  ASSERT_EQ(view_->subviews().size(), 1u);
  const auto& panes = view_->subviews()[0]->subviews();
  ASSERT_EQ(panes.size(), 2u);
  auto page = std::dynamic_pointer_cast<WebView>(panes[0]);
  auto login = std::dynamic_pointer_cast<WebView>(panes[1]);
  ASSERT_TRUE(page && login);
  EXPECT_EQ(page->frame(), (Rect{0, 0, 400, 600}));
  EXPECT_EQ(login->frame(), (Rect{400, 0, 400, 600}));
  EXPECT_EQ(engine_->webViewShowing("loading.html"), page);
  EXPECT_EQ(c._facebook()->webView(), login);
  EXPECT_EQ(login->windowScriptValue("appController"), nullptr);
  EXPECT_EQ(c.init(view_, [] {}), nullptr);  // a second initialisation is refused

  EXPECT_EQ(engine_->callScript(*page, "appController", "getContacts").value, "[]");
  for (const char* method : {"drawComponents", "notifyReady", "markFacebookReady", "finit",
                             "getResourceURL:", "s", "getContacts:", "GetContacts", ""}) {
    EXPECT_FALSE(engine_->callScript(*page, "appController", method).ok()) << method;
  }
  EXPECT_FALSE(c.hasDrawn());

  EXPECT_EQ(engine_->requestNewWindow(*page, "http://example.org/a", "_blank"),
            PolicyDecision::kIgnore);
  for (const char* url : {"https://example.org/a", "HTTP://example.org/a", "file:///tmp/x.html",
                          "mailto:a@example.org", "httpx://example.org"}) {
    EXPECT_EQ(engine_->requestNewWindow(*page, url, "_blank"), PolicyDecision::kUse) << url;
  }
  EXPECT_EQ(engine_->openedURLs(), Pages{"http://example.org/a"});
}

TEST_F(ControllerTest, SkipPathShowsTheLoadingPageAfterTheLoginThenCallsDoneOnce) {
  ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", kFiveAndFour), "");
  platform::LogCapture log;
  AppController& c = start();
  c.ignoreFacebook();
  EXPECT_TRUE(log.contains("Ignore facebook"));
  EXPECT_EQ(pages(), (Pages{"loading.html", "loading_afterFacebook.html"}));
  // The page after the login fills the view alone and has no bridge.
  auto after = onlyPageIn(*view_);
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
    AppController& c = start(newView());
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
    auto view = newView();
    platform::LogCapture log;
    AppController& c = start(view);
    EXPECT_EQ(c.getContacts(), "[]");
    c.ignoreFacebook();
    ASSERT_TRUE(runUntilFinalDecision());
    EXPECT_TRUE(log.contains("No data..."));
    EXPECT_EQ(doneCalls_, 0);
    EXPECT_EQ(engine_->lastLoadedResource(), "noData.html");
    auto page = onlyPageIn(*view);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->windowScriptValue("appController"), controller_);
    EXPECT_EQ(c.getContacts(), "[]");
    EXPECT_EQ(c.getDetailedLog(), withBackup ? "Read backup of Test Phone. In total so far: 1 "
                                               "contacts and 4 communication events<br/>"
                                             : "No valid backup folders found");
  }
}

// Without a view the work runs to the end on zero rectangles; after finit, or once its
// view has left the screen, a controller finishes its work without showing anything.
TEST_F(ControllerTest, AbsentViewGivesZeroRectanglesAndARemovedOneShowsNothing) {
  // Nothing holds the pages of an absent view for long: note their frames as they load.
  std::vector<Rect> frames;
  engine_->setLoadObserver([&](const HeadlessEngine::Load& load) {
    if (auto view = load.webView.lock()) frames.push_back(view->frame());
  });
  for (const char* how : {"absent", "finit", "removed"}) {
    SCOPED_TRACE(how);
    const bool absent = how[0] == 'a';
    ASSERT_EQ(testing::writeTestBackup(home_.path(), how, kFiveAndFour), "");
    auto view = newView();
    AppController& c = start(absent ? nullptr : view);
    const size_t pagesBefore = pages().size();
    if (absent) {
      EXPECT_EQ(c._facebook()->webView()->frame(), Rect{});
    } else if (how[0] == 'f') {
      c.finit();
      EXPECT_EQ(c.destView(), nullptr);
    } else if (how[0] == 'r') {
      view->removeFromSuperview();
    }
    c.ignoreFacebook();
    ASSERT_TRUE(runUntilFinalDecision());
    platform::waitForBackgroundWork();
    EXPECT_EQ(doneCalls_, absent ? 1 : 0);
    EXPECT_EQ(pages().size(), pagesBefore + (absent ? 1 : 0));
    if (absent) {
      EXPECT_EQ(pages(), (Pages{"loading.html", "loading_afterFacebook.html"}));
      ASSERT_FALSE(frames.empty());
      for (const Rect& frame : frames) EXPECT_EQ(frame, Rect{});
    }
  }
}

}  // namespace
}  // namespace ovra::controller

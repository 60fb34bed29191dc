// The controller staged as the plug-in stages it, from the loading screen to its last page.
#include "controller/app_controller.h"

#include "controller_stage.h"

namespace ovra::controller {
namespace {

using platform::HeadlessEngine;
using platform::PolicyDecision;
using platform::Rect;
using Pages = std::vector<std::string>;

// Five messages make a contact shown; four do not.
const std::vector<testing::TestContact> kFiveAndFour = {{"Ada", "Lovelace", "0612345678", 5},
                                                        {"Bob", "Builder", "0698765432", 4}};

class ControllerTest : public testing::ControllerStage {
 protected:
  // Starts a controller on a new view of the window (or none), after finishing the last one.
  AppController& start(bool withView = true) {
    if (controller_) controller_->finit();
    platform::waitForBackgroundWork();
    view_ = platform::View::create(kArea);
    window_->addSubview(view_);
    doneCalls_ = 0;
    controller_ = AppController::alloc();
    EXPECT_EQ(controller_->init(withView ? view_ : nullptr, [this] { ++doneCalls_; }),
              controller_.get());
    return *controller_;
  }
};

// The loading page sits beside the login pane; from it a page reaches only the bridge
// methods, and only plain http windows open in the browser.
TEST_F(ControllerTest, LoadingScreenIsTheLoadingPageBesideTheLoginPane) {
  AppController& c = start();
  const auto panes = HeadlessEngine::webViewsIn(*view_);
  ASSERT_EQ(panes.size(), 2u);
  EXPECT_EQ(panes[0], engine_->webViewShowing("loading.html"));
  EXPECT_EQ(panes[1], c._facebook()->webView());
  EXPECT_EQ(panes[1]->windowScriptValue("appController"), nullptr);
  // The sign-in asks with Ovra's own client ID and permission list.
  const std::string signIn = panes[1]->mainFrameURL();
  EXPECT_NE(signIn.find("/oauth/authorize?client_id=584213907361492&"), std::string::npos);
  EXPECT_NE(signIn.find("&scope=read_mailbox,offline_access&"), std::string::npos) << signIn;
  EXPECT_EQ(c.init(view_, [] {}), nullptr);  // a second initialisation is refused

  EXPECT_EQ(engine_->callScript(*panes[0], "appController", "getContacts").value, "[]");
  EXPECT_FALSE(engine_->callScript(*panes[0], "appController", "drawComponents").ok());
  EXPECT_EQ(engine_->requestNewWindow(*panes[0], "http://example.org/a", "_blank"),
            PolicyDecision::kIgnore);
  for (const char* url : {"HTTP://example.org/a", "file:///tmp/x"})
    EXPECT_EQ(engine_->requestNewWindow(*panes[0], url, "_blank"), PolicyDecision::kUse) << url;
  EXPECT_EQ(engine_->openedURLs(), Pages{"http://example.org/a"});
}

// Whichever source finishes second runs the build, once; a skip shows the page after the
// login, which fills the view alone and has no bridge.
TEST_F(ControllerTest, BuildRunsOnceWhicheverSourceFinishesLast) {
  for (const bool extractionFirst : {true, false}) {
    SCOPED_TRACE(extractionFirst ? "extraction first" : "login step first");
    testing::TempHome home;
    platform::setHomeFolder(home.path());
    ASSERT_EQ(testing::writeTestBackup(home.path(), "phone", kFiveAndFour), "");
    testing::GatedBackup gate(home.path(), "slow-phone");
    ASSERT_TRUE(gate.ok());
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
      EXPECT_TRUE(c.getReadingSummary().ends_with(
          "\"backups\":2,\"contacts\":2,\"events\":9,\"matched\":false}"));
      c.ignoreFacebook();
    } else {
      c.ignoreFacebook();
      // The draw thread finds the backups still being read and returns without work.
      ASSERT_TRUE(runUntil([] { return platform::runningBackgroundThreads() == 1; }));
      EXPECT_FALSE(c.deviceReady() || c.hasDrawn());
      gate.open();
    }
    ASSERT_TRUE(runUntilFinalDecision());
    EXPECT_TRUE(c.hasDrawn());
    const auto shown = HeadlessEngine::webViewsIn(*view_);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->frame(), kArea);
    EXPECT_EQ(shown[0]->windowScriptValue("appController"), nullptr);
    c.ignoreFacebook();  // skipping again, after the final decision, changes nothing
    platform::waitForBackgroundWork();
    EXPECT_EQ(doneCalls_, 1);
    const std::string contacts = c.getContacts().value_or("");
    EXPECT_TRUE(contacts.starts_with("[[\"1\",\"Ada\",\"\",\"Lovelace\",")) << contacts;
  }
  EXPECT_EQ(pages(), (Pages{"loading.html", "loading_afterFacebook.html", "loading.html",
                            "loading_afterFacebook.html"}));
}

// Deactivated while the backups are read, the controller's last reference is the extraction
// thread's, which hands it back so that its views end on the main thread.
TEST_F(ControllerTest, ReleasedWhileReadingEndsOnTheMainThread) {
  testing::GatedBackup gate(home_.path(), "slow-phone");
  ASSERT_TRUE(gate.ok());
  start().finit();
  const std::weak_ptr<AppController> weak = controller_;
  controller_.reset();
  view_->removeFromSuperview();
  view_.reset();
  const size_t before = platform::viewsReleasedOffMainThread();
  gate.open();
  platform::waitForBackgroundWork();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(platform::viewsReleasedOffMainThread(), before);
}

// No person with five events: the no-data page with the bridge, and no done call.
TEST_F(ControllerTest, NoQualifyingPersonShowsNoDataAndNeverCallsDone) {
  ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", {kFiveAndFour[1]}), "");
  AppController& c = start();
  c.ignoreFacebook();
  ASSERT_TRUE(runUntilFinalDecision());
  EXPECT_EQ(doneCalls_, 0);
  EXPECT_EQ(engine_->lastLoadedResource(), "noData.html");
  const auto shown = HeadlessEngine::webViewsIn(*view_);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0]->windowScriptValue("appController"), controller_);
  EXPECT_TRUE(c.getDetailedLog().starts_with("Read backup of Test Phone.")) << c.getDetailedLog();
  EXPECT_EQ(c.getReadingSummary(),
            R"({"finished":true,"folder":")" + home_.path() +
                R"(/Library/Application Support/MobileSync/Backup","backups":1,"contacts":1,)"
                R"("events":4,"matched":true,"shown":0,"people":0,"fewer":4,"fewerPeople":1,)"
                R"("unknown":0,"noNumber":0})");
}

// Backups without a single contact, or none at all: once read, the summary says so (and where
// it looked) while the login step is still open, so that the loading page can say it at once.
TEST_F(ControllerTest, AHomeWithoutContactsIsSummedUpBeforeTheLoginStep) {
  for (const bool withBackup : {false, true}) {
    SCOPED_TRACE(withBackup);
    testing::TempHome home;
    platform::setHomeFolder(home.path());
    ASSERT_EQ(withBackup ? testing::writeTestBackup(home.path(), "phone", {}) : "", "");
    AppController& c = start();
    ASSERT_TRUE(runUntil([&] { return c.deviceReady(); }));
    EXPECT_FALSE(c.hasDrawn());
    EXPECT_TRUE(c.getReadingSummary().starts_with(
        R"({"finished":true,"folder":")" + home.path() + "/Library/Application Support/" +
        "MobileSync/Backup\",\"backups\":" + (withBackup ? "1" : "0") + ",\"contacts\":0,"))
        << c.getReadingSummary();
    c.ignoreFacebook();
    ASSERT_TRUE(runUntilFinalDecision());
    EXPECT_EQ(engine_->lastLoadedResource(), "noData.html");
  }
}

// Without a view the work runs to the end on zero rectangles; after finit, or once its
// view has left the screen, a controller finishes its work without showing anything.
TEST_F(ControllerTest, AbsentViewGivesZeroRectanglesAndARemovedOneShowsNothing) {
  for (const char how : {'a', 'f', 'r'}) {  // absent, finit, removed
    SCOPED_TRACE(how);
    ASSERT_EQ(testing::writeTestBackup(home_.path(), std::string(1, how), kFiveAndFour), "");
    AppController& c = start(how != 'a');
    const size_t pagesBefore = pages().size();
    EXPECT_EQ(c._facebook()->webView()->frame(), (how == 'a' ? Rect{} : Rect{400, 0, 400, 600}));
    if (how == 'f') c.finit();
    if (how == 'r') view_->removeFromSuperview();
    c.ignoreFacebook();
    ASSERT_TRUE(runUntilFinalDecision());
    platform::waitForBackgroundWork();
    EXPECT_EQ(doneCalls_, how == 'a' ? 1 : 0);
    EXPECT_EQ(pages().size(), pagesBefore + (how == 'a' ? 1 : 0));
  }
}

}  // namespace
}  // namespace ovra::controller

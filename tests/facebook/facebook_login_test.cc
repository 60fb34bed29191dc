// The login end to end on the headless web engine: the login pane reaches the redirect address
// with a token, the inbox comes from a loopback server, its threads join the timelines.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controller/app_controller.h"
#include "controller_stage.h"
#include "loopback_server.h"
#include "platform/base/log.h"
#include "platform/ui/headless_engine.h"

namespace ovra::controller {
namespace {

using Pages = std::vector<std::string>;

// Ann has three messages and two threads of her own; nobody is called Zed Nobody.
const std::vector<testing::TestContact> kContacts = {{"Ann", "Lee", "0611111111", 3},
                                                     {"Bob", "Ray", "0622222222", 5}};
constexpr char kInbox[] = R"({"data":[
  {"to":{"data":[{"name":"Ann Lee"},{"name":"Me"}]},"from":{"name":"Me"},"created_time":1300000000},
  {"to":{"data":[{"name":"Me"}]},"from":{"name":"Ann Lee"},"updated_time":1300000500},
  {"to":{"data":[{"name":"Zed Nobody"}]},"from":{"name":"Me"},"created_time":1300000900}]})";

class FacebookLogin : public testing::ControllerStage {
 protected:
  void SetUp() override {
    ControllerStage::SetUp();
    ASSERT_TRUE(server_.ok());
    ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", kContacts), "");
  }

  // Starts a controller on the loopback server and sends its login pane there with `token`.
  AppController& loginWithToken(const std::string& token, bool skipFirst = false) {
    controller_ = AppController::alloc();
    controller_->setGraphAddresses(server_.baseURL(), redirect());
    EXPECT_EQ(controller_->init(view_, [this] { ++doneCalls_; }), controller_.get());
    for (const platform::HeadlessEngine::Load& load : engine_->loads()) {
      if (load.url.starts_with(server_.baseURL() + "/oauth/")) pane_ = load.webView.lock();
    }
    EXPECT_TRUE(pane_);
    if (skipFirst) controller_->ignoreFacebook();  // the pane leaves but can still finish a load
    if (!pane_) return *controller_;
    engine_->navigate(*pane_, redirect() + "#error=access_denied");  // no token: watched on
    engine_->navigate(*pane_, redirect() + "#access_token=" + token);
    return *controller_;
  }
  std::string redirect() const { return server_.baseURL() + "/connect/login_success.html"; }

  testing::LoopbackServer server_{[](httplib::Server& s) {
    s.Get("/me/inbox", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(kInbox, "text/javascript; charset=UTF-8");
    });
  }};
  platform::LogCapture log_;
  std::shared_ptr<platform::WebView> pane_;
};

TEST_F(FacebookLogin, ThreadsJoinTheMatchedContactsTimelines) {
  AppController& c = loginWithToken("TOK%2F1&expires_in=0");
  EXPECT_TRUE(log_.contains("token:  TOK/1"));
  EXPECT_EQ(pane_->superview(), nullptr);
  engine_->navigate(*pane_, redirect() + "#access_token=again");  // taken once only
  c._facebook()->webViewDidFinishLoadForFrame(*pane_);
  EXPECT_EQ(server_.targets(), Pages{"/me/inbox?date_format=U&access_token=TOK%2F1"});

  ASSERT_TRUE(runUntilFinalDecision());
  EXPECT_EQ(pages(), Pages{"loading.html"});
  EXPECT_EQ(doneCalls_, 1);
  // Ann's two threads join her timeline, each as its type then its time; Zed's joins none.
  const std::string timeline = c.getTimeLine();
  for (const std::string time : {"1300000000", "1300000500"})
    EXPECT_NE(timeline.find("\"facebook_message\"," + time + ","), std::string::npos) << timeline;
  EXPECT_EQ(timeline.find("1300000900"), std::string::npos) << timeline;
}

// A token after the skip sends no request; the step ends once (Bob's messages make the done
// call). An error reply takes the success path to an import of no events, the unit test's.
TEST_F(FacebookLogin, ALoginAfterTheSkipSendsNoRequest) {
  loginWithToken("late", /*skipFirst=*/true);
  ASSERT_TRUE(runUntilFinalDecision());
  EXPECT_TRUE(log_.contains("You're logged to Facebook. Your oAuth token is:late"));
  EXPECT_TRUE(server_.targets().empty());  // so no events either
  EXPECT_EQ(pages(), (Pages{"loading.html", "loading_afterFacebook.html"}));
  EXPECT_EQ(doneCalls_, 1);
}

}  // namespace
}  // namespace ovra::controller

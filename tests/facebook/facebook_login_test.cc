// The login path end to end with the headless web engine: the controller's login pane is
// sent to the redirect address with a token, the controller fetches the inbox from a
// loopback server, and the threads join the matched contacts' timelines.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controller/app_controller.h"
#include "controller_stage.h"
#include "json/parser.h"
#include "loopback_server.h"
#include "platform/base/log.h"
#include "platform/ui/headless_engine.h"
#include "test_home.h"

namespace ovra::controller {
namespace {

// Ann has three messages and two threads of her own; nobody is called Zed Nobody.
const std::vector<testing::TestContact> kContacts = {{"Ann", "Lee", "0611111111", 3},
                                                     {"Bob", "Ray", "0622222222", 5}};
constexpr char kInbox[] = R"js({"data":[
  {"id":"1","to":{"data":[{"name":"Ann Lee","id":"11"},{"name":"Me","id":"99"}]},
   "from":{"name":"Me","id":"99"},"message":"see you","created_time":1300000000,
   "updated_time":1300000050},
  {"id":"2","to":{"data":[{"name":"Me","id":"99"}]},"from":{"name":"Ann Lee","id":"11"},
   "message":"ok","updated_time":1300000500},
  {"id":"3","to":{"data":[{"name":"Zed Nobody","id":"12"}]},"from":{"name":"Me"},
   "message":"who?","created_time":1300000900}],
  "paging":{"next":"https://graph.example/next"}})js";

// The inbox, or an error object without "data" for the token "expired".
void serveInbox(httplib::Server& s) {
  s.Get("/me/inbox", [](const httplib::Request& req, httplib::Response& res) {
    const bool expired = req.get_param_value("access_token") == "expired";
    res.status = expired ? 400 : 200;
    res.set_content(
        expired ? R"({"error":{"message":"Invalid OAuth access token.","code":190}})" : kInbox,
        "text/javascript; charset=UTF-8");
  });
}

class FacebookLogin : public testing::ControllerStage {
 protected:
  void SetUp() override {
    ControllerStage::SetUp();
    ASSERT_TRUE(server_.ok());
    ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", kContacts), "");
  }

  // Starts a controller whose client talks to the loopback server and sends its login
  // pane to the redirect address; the done callback shows the main page as the glue does.
  AppController& loginWithToken(const std::string& token, bool skipFirst = false) {
    controller_ = AppController::alloc();
    controller_->setGraphAddresses(server_.baseURL(), redirect());
    auto done = [this, weak = std::weak_ptr<AppController>(controller_)] {
      ++doneCalls_;
      std::shared_ptr<AppController> c = weak.lock();
      std::shared_ptr<platform::WebView> main = platform::WebView::create(view_->frame());
      view_->addSubview(main);
      main->setWindowScriptValue("appController", c);
      main->loadURL(c->getResourceURL("main.html"));
    };
    EXPECT_EQ(controller_->init(view_, done), controller_.get());
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

  testing::LoopbackServer server_{serveInbox};
  platform::LogCapture log_;
  std::shared_ptr<platform::WebView> pane_;
};

TEST_F(FacebookLogin, ThreadsJoinTheMatchedContactsTimelinesAndTheMainPageFollows) {
  AppController& c = loginWithToken("TOK%2F1&expires_in=0");
  EXPECT_TRUE(c.facebookReady());
  EXPECT_TRUE(log_.contains("token:  TOK/1"));
  EXPECT_EQ(pane_->superview(), nullptr);
  engine_->navigate(*pane_, redirect() + "#access_token=again");  // taken once only
  c._facebook()->webViewDidFinishLoadForFrame(*pane_);
  EXPECT_EQ(server_.targets(),
            std::vector<std::string>{"/me/inbox?date_format=U&access_token=TOK%2F1"});

  ASSERT_TRUE(runUntilFinalDecision());
  EXPECT_EQ(pages(), (std::vector<std::string>{"loading.html", "main.html"}));
  EXPECT_EQ(doneCalls_, 1);
  EXPECT_EQ(c.s()->fb_events().size(), 3u);
  // Ann's two threads join her timeline, each as its type then its time; Zed's joins none.
  const std::string timeline = c.getTimeLine();
  EXPECT_TRUE(json::KtJsonParser().objectWithString(timeline)) << timeline;  // a page parses it
  for (const std::string time : {"1300000000", "1300000500"})
    EXPECT_NE(timeline.find("\"facebook_message\"," + time + ","), std::string::npos) << timeline;
  EXPECT_EQ(timeline.find("1300000900"), std::string::npos) << timeline;
}

TEST_F(FacebookLogin, AnErrorReplyGivesNoEventsAndStillEndsTheStep) {
  AppController& c = loginWithToken("expired");
  ASSERT_TRUE(runUntilFinalDecision());
  EXPECT_EQ(server_.targets().size(), 1u);
  EXPECT_TRUE(c.s()->fb_events().empty());
  EXPECT_EQ(pages(), (std::vector<std::string>{"loading.html", "main.html"}));  // Bob's SMS
  EXPECT_EQ(doneCalls_, 1);
}

TEST_F(FacebookLogin, ALoginAfterTheSkipSendsNoRequest) {
  AppController& c = loginWithToken("late", /*skipFirst=*/true);
  ASSERT_TRUE(runUntilFinalDecision());
  EXPECT_TRUE(log_.contains("You're logged to Facebook. Your oAuth token is:late"));
  EXPECT_TRUE(server_.targets().empty());
  EXPECT_TRUE(c.s()->fb_events().empty());
  EXPECT_EQ(pages(),
            (std::vector<std::string>{"loading.html", "loading_afterFacebook.html", "main.html"}));
  EXPECT_EQ(doneCalls_, 1);
}

}  // namespace
}  // namespace ovra::controller

#include "facebook/graph_client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/headless_engine.h"
#include "platform/log.h"
#include "platform/web_engine.h"

namespace ovra::facebook {
namespace {

constexpr char kBase[] = "http://127.0.0.1:9";
constexpr char kRedirect[] = "http://127.0.0.1:9/connect/login_success.html";

TEST(TokenCapture, TakesTheTextAfterTheFirstKeyUpToTheNextAmpersand) {
  const std::string r = kRedirect;
  const struct {
    std::string address;
    std::optional<std::string> token;
  } cases[] = {
      {r + "#access_token=a%2Fb%20c%C3%A9&expires_in=0", "a/b c\xC3\xA9"},
      {r + "#access_token=to-the-end", "to-the-end"},   // no "&" follows
      {r + "#access_token=a%26b&expires_in=0", "a&b"},  // an escaped "&" is data
      {r + "?x=1&access_token=first&access_token=second", "first"},
      {r + "#access_token=&expires_in=0", ""},
      {r + "#access_token=bad%zz&expires_in=0", std::nullopt},  // escapes cannot be undone
  };
  for (const auto& c : cases) {
    const TokenCapture capture = captureAccessToken(c.address);
    EXPECT_TRUE(capture.found) << c.address;
    EXPECT_EQ(capture.token, c.token) << c.address;
  }
  EXPECT_FALSE(captureAccessToken(r + "#error=access_denied&access_token").found);
}

// Counts the login-finished messages it receives.
class LoginTarget : public GraphLoginTarget {
 public:
  int calls = 0;
};

class GraphClientLogin : public ::testing::Test {
 protected:
  void SetUp() override { platform::setWebEngine(engine_); }
  void TearDown() override { platform::setWebEngine(nullptr); }

  // A new client whose login runs in a new view on the screen.
  void startLogin(std::weak_ptr<GraphLoginTarget> target, bool withSelector = true) {
    client_ = std::make_shared<GraphClient>(kBase, kRedirect);
    loginView_ = platform::WebView::create({400, 0, 400, 600});
    screen_->addSubview(loginView_);
    client_->initWithClientID("584213907361492");
    GraphLoginSelector selector;
    if (withSelector) selector = [](GraphLoginTarget& t) { ++static_cast<LoginTarget&>(t).calls; };
    client_->authenticateWithCallbackObject(std::move(target), selector,
                                            "read_mailbox,offline_access", loginView_);
  }
  void finishAt(const std::string& address) { engine_->navigate(*loginView_, address); }
  bool loginViewShown() const { return loginView_->superview() == screen_; }

  std::shared_ptr<platform::HeadlessEngine> engine_ = std::make_shared<platform::HeadlessEngine>();
  std::shared_ptr<platform::View> screen_ = platform::View::create({0, 0, 800, 600});
  std::shared_ptr<platform::WebView> loginView_;
  std::shared_ptr<GraphClient> client_;
  std::shared_ptr<LoginTarget> target_ = std::make_shared<LoginTarget>();
  platform::LogCapture log_;
};

TEST_F(GraphClientLogin, LoadsTheAuthorisationPageAndWatchesTheLoginView) {
  startLogin(target_);
  ASSERT_EQ(engine_->loads().size(), 1u);
  EXPECT_EQ(engine_->loads()[0].url,
            std::string(kBase) + "/oauth/authorize?client_id=584213907361492&redirect_uri=" +
                kRedirect + "&scope=read_mailbox,offline_access&type=user_agent&display=touch");
  EXPECT_EQ(loginView_->frameLoadDelegate(), client_);

  GraphClient real;  // the controller's client talks to the real service
  real.initWithClientID("1");
  EXPECT_EQ(real.graphBaseURL(), "https://graph.facebook.com");
  EXPECT_EQ(real.redirectUri(), "http://www.facebook.com/connect/login_success.html");
}

TEST_F(GraphClientLogin, TakesTheTokenOnceAndLetsTheLoginViewGo) {
  startLogin(target_);
  engine_->finishLoads();  // the login pages carry no token: nothing changes
  finishAt(std::string(kRedirect) + "#error=access_denied&error_reason=user_denied");
  EXPECT_TRUE(loginViewShown());
  EXPECT_EQ(target_->calls, 0);
  EXPECT_EQ(client_->accessToken(), std::nullopt);

  finishAt(std::string(kRedirect) + "#access_token=ab%2Bc%20d&expires_in=0");
  EXPECT_EQ(client_->accessToken(), "ab+c d");
  EXPECT_TRUE(log_.contains("token:  ab+c d"));
  EXPECT_FALSE(loginViewShown());
  EXPECT_EQ(client_->webView(), nullptr);
  EXPECT_EQ(target_->calls, 1);

  finishAt(std::string(kRedirect) + "#access_token=other");  // no longer watched
  client_->webViewDidFinishLoadForFrame(*loginView_);
  EXPECT_EQ(client_->accessToken(), "ab+c d");
  EXPECT_EQ(target_->calls, 1);
}

TEST_F(GraphClientLogin, StoresTheTokenWhenNoCallbackCanBeSent) {
  for (bool liveTarget : {false, true}) {
    auto target = std::make_shared<LoginTarget>();
    startLogin(liveTarget ? target : std::weak_ptr<GraphLoginTarget>(), /*withSelector=*/!liveTarget);
    finishAt(std::string(kRedirect) + "#access_token=T&expires_in=0");
    EXPECT_EQ(client_->accessToken(), "T");
    EXPECT_FALSE(loginViewShown());
    EXPECT_EQ(target->calls, 0);
  }
}

}  // namespace
}  // namespace ovra::facebook

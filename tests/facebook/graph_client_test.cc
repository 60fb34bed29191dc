// The Graph client's parts that need no network: address and query-value escaping, the
// JPEG size reader, the token capture, and the login in the headless web engine.
#include "facebook/graph_client.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "facebook/image.h"
#include "platform/ui/headless_engine.h"
#include "platform/base/log.h"
#include "platform/base/url_escape.h"
#include "platform/base/utf8.h"
#include "platform/ui/web_engine.h"

namespace ovra::facebook {
namespace {

struct Case {  // an input and the expected output, or nothing when it must be refused
  std::string in;
  std::optional<std::string> out;
};

TEST(PercentEscape, AnAddressKeepsItsStructureAQueryValueDoesNot) {
  const struct {
    std::string in;
    std::optional<std::string> address, value;
  } cases[] = {
      {"https://g.example/me?d=U&t=a.b-c_d~e;:@$,!*'()",
       "https://g.example/me?d=U&t=a.b-c_d~e;:@$,!*'()",
       "https%3A%2F%2Fg.example%2Fme%3Fd%3DU%26t%3Da.b-c_d~e%3B%3A%40%24%2C%21%2A%27%28%29"},
      {"a&b+c=d%e f", "a&b+c=d%25e%20f", "a%26b%2Bc%3Dd%25e%20f"},
      {"#\"<>[\\]^`{|}\t\x7f", "%23%22%3C%3E%5B%5C%5D%5E%60%7B%7C%7D%09%7F",
       "%23%22%3C%3E%5B%5C%5D%5E%60%7B%7C%7D%09%7F"},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf%C3%A9%20%F0%9F%98%80", "caf%C3%A9%20%F0%9F%98%80"},
      {"bad \xC3", std::nullopt, std::nullopt}};
  for (const auto& c : cases) {
    EXPECT_EQ(platform::addPercentEscapes(c.in), c.address) << c.in;
    EXPECT_EQ(platform::escapeQueryValue(c.in), c.value) << c.in;
    if (c.value) {
      EXPECT_EQ(platform::replacePercentEscapes(*c.value), c.in);  // read back intact
    }
  }
}

TEST(PercentUnescape, UndoesEscapesOnceIntoUTF8AndRefusesBrokenOnes) {
  for (const Case& c :
       std::initializer_list<Case>{{"a%20b+%c3%a9%C3%A9", "a b+\xC3\xA9\xC3\xA9"},
                                   {"a%26b%3Dc%2520", "a&b=c%20"},
                                   {"", ""},
                                   {"abc%", std::nullopt},
                                   {"%2", std::nullopt},
                                   {"%zz", std::nullopt},
                                   {"%C3", std::nullopt},           // the bytes are not UTF-8
                                   {"%ED%A0%80", std::nullopt}}) {  // a surrogate
    EXPECT_EQ(platform::replacePercentEscapes(c.in), c.out) << c.in;
  }
}

TEST(UTF8, AcceptsWellFormedTextOnly) {
  for (const std::string valid : {"", "ascii", "\xC2\x80", "\xE0\xA0\x80", "\xEF\xBF\xBF",
                                  "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_TRUE(platform::isValidUtf8(valid)) << ::testing::PrintToString(valid);
  }
  for (const std::string invalid :
       {"\x80", "\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80",
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xE2\x82", "\xE2\x28\xA1"}) {
    EXPECT_FALSE(platform::isValidUtf8(invalid)) << ::testing::PrintToString(invalid);
  }
}

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// A start-of-frame segment of kind `marker` for a width x height image.
std::string frame(int marker, int width, int height) {
  return bytes({0xFF, marker, 0x00, 0x0B, 0x08, height >> 8, height & 0xFF, width >> 8,
                width & 0xFF, 0x01, 1, 0x11, 0});
}

const std::string kSOI = bytes({0xFF, 0xD8}), kSOS = bytes({0xFF, 0xDA, 0x00, 0x02});

TEST(JPEGSize, ReadsTheFirstFrameHeaderPastOtherSegments) {
  const struct {
    std::string stream;
    int width, height;
  } cases[] = {
      {kSOI + bytes({0xFF, 0xE0, 0x00, 0x04, 'J', 'F'}) + frame(0xC0, 640, 480) + kSOS, 640, 480},
      {kSOI + bytes({0xFF, 0xC4, 0x00, 0x03, 0x00}) + frame(0xC2, 1, 65535), 1, 65535},  // DHT
      {kSOI + bytes({0xFF, 0xFF, 0xFF, 0xD0}) + frame(0xC1, 16, 9), 16, 9},  // fill, RST0
  };
  for (const auto& c : cases) {
    const std::optional<Image> image = decodeJPEG(c.stream);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bytes, c.stream);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
  }
}

TEST(JPEGSizeErrors, RefusesStreamsWithoutAReadableFrame) {
  const std::string sof = frame(0xC0, 640, 480);
  for (const std::string& stream :
       {std::string(), "GIF89a" + sof, kSOI, kSOI + kSOS + sof,
        kSOI + bytes({0xFF, 0xD9}) + sof,                       // end of image first
        kSOI + bytes({0xFF, 0xE0, 0x40, 0x00, 0x00}),           // segment past the end
        kSOI + bytes({0xFF, 0xE0, 0x00, 0x01}) + sof,           // length below two
        kSOI + bytes({0x00}) + sof,                             // garbage between segments
        kSOI + sof.substr(0, 7),                                // frame header cut short
        kSOI + bytes({0xFF, 0xC0, 0x00, 0x05, 8, 0, 1, 0, 1}),  // segment too short
        kSOI + frame(0xC0, 0, 480), kSOI + frame(0xC0, 640, 0)}) {
    EXPECT_FALSE(decodeJPEG(stream)) << ::testing::PrintToString(stream);
  }
}

constexpr char kBase[] = "http://127.0.0.1:9";
const std::string kRedirect = "http://127.0.0.1:9/connect/login_success.html";

TEST(TokenCapture, TakesTheTextAfterTheFirstKeyUpToTheNextAmpersand) {
  for (const Case& c : std::initializer_list<Case>{
           {kRedirect + "#access_token=a%2Fb%20c%C3%A9&expires_in=0", "a/b c\xC3\xA9"},
           {kRedirect + "#access_token=to-the-end", "to-the-end"},   // no "&" follows
           {kRedirect + "#access_token=a%26b&expires_in=0", "a&b"},  // an escaped "&" is data
           {kRedirect + "?x=1&access_token=first&access_token=second", "first"},
           {kRedirect + "#access_token=&expires_in=0", ""},
           {kRedirect + "#access_token=bad%zz&expires_in=0", std::nullopt}}) {  // undecodable
    const TokenCapture capture = captureAccessToken(c.in);
    EXPECT_TRUE(capture.found) << c.in;
    EXPECT_EQ(capture.token, c.out) << c.in;
  }
  EXPECT_FALSE(captureAccessToken(kRedirect + "#error=access_denied&access_token").found);
}

// Counts the login-finished messages it receives.
struct LoginTarget : GraphLoginTarget {
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

TEST_F(GraphClientLogin, WatchesTheLoginViewAndTakesTheTokenOnceThenLetsTheViewGo) {
  startLogin(target_);
  ASSERT_EQ(engine_->loads().size(), 1u);
  EXPECT_EQ(engine_->loads()[0].url,
            std::string(kBase) + "/oauth/authorize?client_id=584213907361492&redirect_uri=" +
                kRedirect + "&scope=read_mailbox,offline_access&type=user_agent&display=touch");

  engine_->finishLoads();  // loads without "access_token=" change nothing
  finishAt(kRedirect + "#error=access_denied&error_reason=user_denied");
  EXPECT_TRUE(loginViewShown());
  EXPECT_EQ(target_->calls, 0);
  EXPECT_EQ(client_->accessToken(), std::nullopt);

  finishAt(kRedirect + "#access_token=ab%2Bc%20d&expires_in=0");
  EXPECT_EQ(client_->accessToken(), "ab+c d");
  EXPECT_TRUE(log_.contains("token:  ab+c d"));
  EXPECT_FALSE(loginViewShown());
  EXPECT_EQ(client_->webView(), nullptr);
  EXPECT_EQ(target_->calls, 1);

  finishAt(kRedirect + "#access_token=other");  // no longer watched
  client_->webViewDidFinishLoadForFrame(*loginView_);
  EXPECT_EQ(client_->accessToken(), "ab+c d");
  EXPECT_EQ(target_->calls, 1);
}

TEST_F(GraphClientLogin, StoresTheTokenWhenNoCallbackCanBeSent) {
  for (bool liveTarget : {false, true}) {  // no callback object; no selector
    auto target = std::make_shared<LoginTarget>();
    startLogin(liveTarget ? target : std::weak_ptr<GraphLoginTarget>(), !liveTarget);
    finishAt(kRedirect + "#access_token=T&expires_in=0");
    EXPECT_EQ(client_->accessToken(), "T");
    EXPECT_FALSE(loginViewShown());
    EXPECT_EQ(target->calls, 0);
  }
}

}  // namespace
}  // namespace ovra::facebook

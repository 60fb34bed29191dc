#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "facebook/graph_client.h"
#include "facebook/inbox_import.h"
#include "loopback_server.h"

namespace ovra::facebook {
namespace {

using ovra::testing::LoopbackServer;
using ovra::testing::RawServer;
using namespace std::chrono_literals;

// A JPEG stream as far as its frame header: 3 x 2 pixels.
const std::string kJPEG("\xFF\xD8\xFF\xC0\x00\x11\x08\x00\x02\x00\x03\x03\x01\x22\x00\x02\x11"
                        "\x01\x03\x11\x01\xFF\xD9",
                        23);

void serveGraph(httplib::Server& s) {
  auto reply = [&s](const char* path, std::string body, const char* type) {
    s.Get(path, [body, type](const httplib::Request&, httplib::Response& res) {
      res.set_content(body, type);
    });
  };
  reply("/photo", kJPEG, "image/jpeg");
  reply("/not-a-photo", "<html>", "image/jpeg");
  reply("/jpeg-as-text", kJPEG, "text/plain");
  reply("/latin1", "caf\xE9", "text/html");
  reply("/empty", "", "text/javascript");
  reply("/png", "\x89PNG", "image/png");
  s.Get(".*", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("{\"data\":[]}", "text/javascript; charset=UTF-8");
  });
}

json::Object variables(std::initializer_list<std::pair<const char*, json::Value>> members) {
  json::Object o;
  for (const auto& [key, value] : members) o.set(key, value);
  return o;
}

TEST(GraphClientGet, BuildsTheAddressFromPathVariablesAndToken) {
  LoopbackServer server(serveGraph);
  ASSERT_TRUE(server.ok());
  const json::Object none;
  const json::Object inbox = inboxRequestVariables();
  const json::Object several = variables({{"a", 1}, {"b", "x y"}, {"c", "\xC3\xA9"}});
  const struct {
    const json::Object* variables;
    std::optional<std::string> token;
    std::string target;
  } cases[] = {
      {&inbox, "AAAB.c-d_e", "/me/inbox?date_format=U&access_token=AAAB.c-d_e"},
      {nullptr, std::nullopt, "/me/inbox?"},
      {&none, std::nullopt, "/me/inbox?"},
      {&several, std::nullopt, "/me/inbox?a=1&b=x%20y&c=%C3%A9&"},
      {&several, "t/1%", "/me/inbox?a=1&b=x%20y&c=%C3%A9&access_token=t/1%25"},
      {nullptr, "tok", "/me/inbox?access_token=tok"},
  };
  for (const auto& c : cases) {
    GraphClient client(server.baseURL(), "http://127.0.0.1/");
    client.setAccessToken(c.token);
    const GraphResponse response = client.graphGet(kInboxPath, c.variables);
    ASSERT_FALSE(response.error) << *response.error;
    EXPECT_EQ(response.htmlResponse, "{\"data\":[]}");
    ASSERT_FALSE(server.targets().empty());
    EXPECT_EQ(server.targets().back(), c.target);
  }
}

TEST(GraphClientGet, FillsTheImageOnlyForJPEGRepliesAndTheTextOnlyForUTF8) {
  LoopbackServer server(serveGraph);
  ASSERT_TRUE(server.ok());
  GraphClient client(server.baseURL(), "http://127.0.0.1/");
  const struct {
    std::string path;
    bool image;
    std::optional<std::string> text;
  } cases[] = {
      {"/photo", true, std::nullopt},
      {"/not-a-photo", false, std::nullopt},  // typed as JPEG but not one: no image, no text
      {"/jpeg-as-text", false, std::nullopt},  // not UTF-8 text
      {"/latin1", false, std::nullopt},
      {"/png", false, std::nullopt},           // not UTF-8 either
      {"/empty", false, ""},
      {"/inbox", false, "{\"data\":[]}"},
  };
  for (const auto& c : cases) {
    const GraphResponse response = client.graphGetWithURLString(server.baseURL() + c.path);
    EXPECT_FALSE(response.error) << c.path;
    EXPECT_EQ(response.imageResponse.has_value(), c.image) << c.path;
    EXPECT_EQ(response.htmlResponse, c.text) << c.path;
  }
  const GraphResponse photo = client.graphGetWithURLString(server.baseURL() + "/photo");
  ASSERT_TRUE(photo.imageResponse);
  EXPECT_EQ(photo.imageResponse->bytes, kJPEG);
  EXPECT_EQ(photo.imageResponse->width, 3);
  EXPECT_EQ(photo.imageResponse->height, 2);
}

TEST(GraphClientGetErrors, CarriesTheNetworkErrorAndNoText) {
  RawServer closing(RawServer::Mode::kCloseAtOnce);
  RawServer silent(RawServer::Mode::kNeverAnswer);
  ASSERT_TRUE(closing.ok() && silent.ok());
  for (const RawServer* server : {&closing, &silent}) {
    GraphClient client(server->baseURL(), "http://127.0.0.1/");
    client.setTimeout(300ms);
    client.setAccessToken("tok");
    const json::Object inbox = inboxRequestVariables();
    const GraphResponse response = client.graphGet(kInboxPath, &inbox);
    ASSERT_TRUE(response.error);
    EXPECT_FALSE(response.error->empty());
    EXPECT_FALSE(response.htmlResponse);
    EXPECT_FALSE(response.imageResponse);
  }
}

}  // namespace
}  // namespace ovra::facebook

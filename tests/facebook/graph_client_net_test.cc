// The Graph client's GET, through the HTTP stand-in, against a loopback server. The
// network's failures and their kinds are the HTTP stand-in's own test.
#include <gtest/gtest.h>

#include <string>

#include "facebook/graph_client.h"
#include "facebook/inbox_import.h"
#include "loopback_server.h"

namespace ovra::facebook {
namespace {

void serve(httplib::Server& s) {
  auto reply = [&s](const char* path, std::string body, const char* type, int status = 200) {
    s.Get(path, [=](const httplib::Request&, httplib::Response& res) {
      res.status = status;
      res.set_content(body, type);
    });
  };
  reply("/photo", "{}", "Image/JPEG; q=1");
  reply("/binary", "\xFF\xD8", "text/plain");
  reply("/missing", "{\"error\":{}}", "application/json", 404);
  s.Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/x"); });
  // Any other path: the token as the server decoded it, or without one an empty list.
  s.Get(".*", [](const httplib::Request& req, httplib::Response& res) {
    const bool token = req.has_param("access_token");
    res.set_content(token ? "token " + req.get_param_value("access_token") : "{\"data\":[]}",
                    "text/javascript; charset=UTF-8");
  });
}

class GraphClientGet : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.ok()); }
  testing::LoopbackServer server_{serve};
  GraphClient client_{server_.baseURL(), "http://127.0.0.1/"};
};

// The token is one query value: "&", "+", "=", "#", "?", "/" and "%" in it are data.
TEST_F(GraphClientGet, BuildsTheAddressFromPathAndToken) {
  for (const auto& [token, target] :
       std::initializer_list<std::pair<std::optional<std::string>, std::string>>{
           {std::nullopt, "/me/inbox?"},
           {"a&b+c=d%e f#?/\xC3\xA9",
            "/me/inbox?access_token=a%26b%2Bc%3Dd%25e%20f%23%3F%2F%C3%A9"}}) {
    client_.setAccessToken(token);
    const GraphResponse response = client_.graphGet(kInboxPath, nullptr);
    ASSERT_FALSE(response.error) << *response.error;
    EXPECT_EQ(response.htmlResponse, token ? "token " + *token : "{\"data\":[]}");
    EXPECT_EQ(server_.targets().back(), target);
  }
}

// Photos are not for the pages: the client never gives a reply typed as one as text.
TEST_F(GraphClientGet, GivesTheTextOnlyForUTF8RepliesNotTypedAsPhotos) {
  for (const auto& [path, text] :
       std::initializer_list<std::pair<std::string, std::optional<std::string>>>{
           {"/photo", std::nullopt},        // the type is read without case or parameters
           {"/binary", std::nullopt},       // not UTF-8 text
           {"/missing", "{\"error\":{}}"},  // any status is a reply
           {"/moved", "{\"data\":[]}"}}) {  // redirects are followed
    const GraphResponse response = client_.graphGetWithURLString(server_.baseURL() + path);
    EXPECT_FALSE(response.error) << path;
    EXPECT_EQ(response.htmlResponse, text) << path;
  }
}

TEST_F(GraphClientGet, CarriesTheErrorAndNoReply) {
  GraphClient nowhere("ftp://127.0.0.1", "http://127.0.0.1/");
  client_.setAccessToken("\xC3");  // not UTF-8: never sent
  for (GraphClient* client : {&nowhere, &client_}) {
    const GraphResponse r = client->graphGet(kInboxPath, nullptr);
    EXPECT_TRUE(r.error && !r.error->empty() && !r.htmlResponse && !r.imageResponse);
  }
  EXPECT_TRUE(server_.targets().empty());
}

}  // namespace
}  // namespace ovra::facebook

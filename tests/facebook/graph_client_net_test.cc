// The Graph client's GET, through the HTTP stand-in, against loopback servers.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <chrono>
#include <string>

#include "facebook/graph_client.h"
#include "facebook/inbox_import.h"
#include "loopback_server.h"

namespace ovra::facebook {
namespace {

using testing::LoopbackServer;
using testing::RawServer;
using namespace std::chrono_literals;

// A JPEG stream as far as its frame header: 3 x 2 pixels.
const std::string kJPEG(
    "\xFF\xD8\xFF\xC0\x00\x11\x08\x00\x02\x00\x03\x03\x01\x22\x00\x02\x11"
    "\x01\x03\x11\x01\xFF\xD9",
    23);

void serve(httplib::Server& s) {
  auto reply = [&s](const char* path, std::string body, const char* type, int status = 200) {
    s.Get(path, [=](const httplib::Request&, httplib::Response& res) {
      res.status = status;
      res.set_content(body, type);
    });
  };
  reply("/photo", kJPEG, "image/jpeg");
  reply("/loose-photo", kJPEG, "Image/JPEG; q=1");
  reply("/not-a-photo", "<html>", "image/jpeg");
  reply("/jpeg-as-text", kJPEG, "text/plain");
  reply("/empty", "", "text/javascript");
  reply("/missing", "{\"error\":{}}", "application/json", 404);
  s.Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/x"); });
  // Any other path: the token as the server decodes it, so tests see whether it arrived
  // intact and whole; a request without one gets an empty list.
  s.Get(".*", [](const httplib::Request& req, httplib::Response& res) {
    const bool token = req.has_param("access_token");
    res.set_content(token ? "token " + req.get_param_value("access_token") : "{\"data\":[]}",
                    "text/javascript; charset=UTF-8");
  });
}

TEST(GraphClientGet, BuildsTheAddressFromPathVariablesAndToken) {
  LoopbackServer server(serve);
  ASSERT_TRUE(server.ok());
  const json::Object none, inbox = inboxRequestVariables();
  const struct {
    const json::Object* variables;
    std::optional<std::string> token;
    std::string target;
  } cases[] = {
      {&inbox, "AAAB.c-d_e", "/me/inbox?date_format=U&access_token=AAAB.c-d_e"},
      {nullptr, std::nullopt, "/me/inbox?"},
      {&none, std::nullopt, "/me/inbox?"},
      {&none, "t/1%", "/me/inbox?access_token=t%2F1%25"},
      {nullptr, "tok", "/me/inbox?access_token=tok"},
      // The token is one query value: its "&", "+", "=", "?" and "%" are data.
      {&inbox, "a&b+c=d%e f", "/me/inbox?date_format=U&access_token=a%26b%2Bc%3Dd%25e%20f"},
      {nullptr, "x#y?z/%2F\xC3\xA9==", "/me/inbox?access_token=x%23y%3Fz%2F%252F%C3%A9%3D%3D"},
  };
  for (const auto& c : cases) {
    GraphClient client(server.baseURL(), "http://127.0.0.1/");
    client.setAccessToken(c.token);
    const GraphResponse response = client.graphGet(kInboxPath, c.variables);
    ASSERT_FALSE(response.error) << *response.error;
    EXPECT_EQ(response.htmlResponse, c.token ? "token " + *c.token : "{\"data\":[]}");
    ASSERT_FALSE(server.targets().empty());
    EXPECT_EQ(server.targets().back(), c.target);
  }
}

TEST(GraphClientGet, FillsTheImageOnlyForJPEGRepliesAndTheTextOnlyForUTF8) {
  LoopbackServer server(serve);
  ASSERT_TRUE(server.ok());
  GraphClient client(server.baseURL(), "http://127.0.0.1/");
  const struct {
    std::string path;
    bool image;
    std::optional<std::string> text;
  } cases[] = {
      {"/photo", true, std::nullopt},
      {"/loose-photo", true, std::nullopt},    // the type is read without case or parameters
      {"/not-a-photo", false, std::nullopt},   // typed as JPEG but not one: no image, no text
      {"/jpeg-as-text", false, std::nullopt},  // not UTF-8 text
      {"/empty", false, ""},
      {"/missing", false, "{\"error\":{}}"},  // any status is a reply
      {"/moved", false, "{\"data\":[]}"},     // redirects are followed
  };
  for (const auto& c : cases) {
    const GraphResponse response = client.graphGetWithURLString(server.baseURL() + c.path);
    EXPECT_FALSE(response.error) << c.path;
    EXPECT_EQ(response.imageResponse.has_value(), c.image) << c.path;
    EXPECT_EQ(response.htmlResponse, c.text) << c.path;
    if (!response.imageResponse) continue;
    EXPECT_EQ(response.imageResponse->bytes, kJPEG);
  }
}

// An HTTPS server whose certificate is self-signed for 127.0.0.1, so trusted by nobody.
std::unique_ptr<httplib::Server> untrustedTLSServer() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  X509_gmtime_adj(X509_getm_notBefore(cert), 0);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
  X509_set_pubkey(cert, key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert, X509_get_subject_name(cert));
  auto server = X509_sign(cert, key, EVP_sha256()) != 0
                    ? std::make_unique<httplib::SSLServer>(cert, key)  // takes references
                    : nullptr;
  X509_free(cert);
  EVP_PKEY_free(key);
  return server && server->is_valid() ? std::move(server) : nullptr;
}

TEST(GraphClientGetErrors, CarriesTheNetworkErrorAndNoReply) {
  RawServer closing(/*closeAtOnce=*/true), silent(/*closeAtOnce=*/false);
  std::unique_ptr<httplib::Server> tls = untrustedTLSServer();
  ASSERT_TRUE(closing.ok() && silent.ok() && tls);
  LoopbackServer untrusted(serve, std::move(tls), "https");
  ASSERT_TRUE(untrusted.ok());
  for (const std::string& base :
       {closing.baseURL(), silent.baseURL(), untrusted.baseURL(), std::string("ftp://127.0.0.1"),
        std::string("file://"), std::string()}) {  // other schemes, no host
    GraphClient client(base, "http://127.0.0.1/");
    client.setTimeout(300ms);  // the silent server is given up on through the time-out
    client.setAccessToken("tok");
    const json::Object inbox = inboxRequestVariables();
    const GraphResponse response = client.graphGet(kInboxPath, &inbox);
    ASSERT_TRUE(response.error) << base;
    EXPECT_FALSE(response.error->empty()) << base;
    EXPECT_FALSE(response.htmlResponse || response.imageResponse) << base;
  }
  EXPECT_TRUE(untrusted.targets().empty());  // no request got through the handshake
}

}  // namespace
}  // namespace ovra::facebook

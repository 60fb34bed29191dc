#include "platform/http.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "loopback_server.h"

namespace ovra::platform {
namespace {

using ovra::testing::LoopbackServer;
using namespace std::chrono_literals;

void serveFixedReplies(httplib::Server& s) {
  s.Get("/text", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("{\"data\":[]}", "Text/JavaScript; charset=UTF-8");
  });
  s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("{\"error\":{}}", "application/json");
  });
  s.Get("/moved", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/text");
  });
}

TEST(HttpGet, ReturnsEveryReplyWithItsStatusMimeTypeAndBody) {
  LoopbackServer server(serveFixedReplies);
  ASSERT_TRUE(server.ok());
  const struct {
    std::string path;
    long status;
    std::string mimeType;
    std::string body;
  } cases[] = {
      {"/text", 200, "text/javascript", "{\"data\":[]}"},  // parameters dropped
      {"/missing", 404, "application/json", "{\"error\":{}}"},  // a status is not an error
      {"/moved", 200, "text/javascript", "{\"data\":[]}"},      // redirects are followed
  };
  for (const auto& c : cases) {
    const HttpResult result = httpGet(server.baseURL() + c.path);
    ASSERT_TRUE(result.ok()) << c.path << ": " << result.error;
    EXPECT_EQ(result.reply->statusCode, c.status) << c.path;
    EXPECT_EQ(result.reply->mimeType, c.mimeType) << c.path;
    EXPECT_EQ(result.reply->body, c.body) << c.path;
  }
}

TEST(HttpGetErrors, RefusesOtherSchemesAndMalformedAddresses) {
  for (const char* url : {"ftp://127.0.0.1/", "file:///etc/passwd", "", "http://"}) {
    const HttpResult result = httpGet(url, 2s);
    EXPECT_FALSE(result.ok()) << url;
    EXPECT_FALSE(result.error.empty()) << url;
  }
}

// A self-signed certificate and key for 127.0.0.1, written as PEM files into `dir`.
bool writeSelfSignedCertificate(const std::filesystem::path& dir) {
  struct KeyFree {
    void operator()(EVP_PKEY* k) const noexcept { EVP_PKEY_free(k); }
  };
  struct CertFree {
    void operator()(X509* x) const noexcept { X509_free(x); }
  };
  struct FileClose {
    void operator()(FILE* f) const noexcept { std::fclose(f); }
  };
  std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
  std::unique_ptr<X509, CertFree> cert(X509_new());
  if (!key || !cert) return false;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) return false;
  std::unique_ptr<FILE, FileClose> certFile(std::fopen((dir / "cert.pem").c_str(), "w"));
  std::unique_ptr<FILE, FileClose> keyFile(std::fopen((dir / "key.pem").c_str(), "w"));
  return certFile && keyFile && PEM_write_X509(certFile.get(), cert.get()) == 1 &&
         PEM_write_PrivateKey(keyFile.get(), key.get(), nullptr, nullptr, 0, nullptr,
                              nullptr) == 1;
}

TEST(HttpGetErrors, RefusesAnHTTPSServerWhoseCertificateIsNotTrusted) {
  const std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) /
      ("ovra_http_tls_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  struct RemoveDir {
    std::filesystem::path dir;
    ~RemoveDir() {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  } cleanup{dir};
  ASSERT_TRUE(writeSelfSignedCertificate(dir));
  auto tls = std::make_unique<httplib::SSLServer>((dir / "cert.pem").c_str(),
                                                  (dir / "key.pem").c_str());
  ASSERT_TRUE(tls->is_valid());
  LoopbackServer server(std::move(tls), "https", serveFixedReplies);
  ASSERT_TRUE(server.ok());
  const HttpResult result = httpGet(server.baseURL() + "/text", 5s);
  EXPECT_FALSE(result.ok());
  EXPECT_FALSE(result.error.empty());
  EXPECT_TRUE(server.targets().empty());  // no request got through the handshake
}

}  // namespace
}  // namespace ovra::platform

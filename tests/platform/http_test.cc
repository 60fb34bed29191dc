// The HTTP stand-in's failures, each with its kind, against loopback servers.
#include "platform/net/http.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "../loopback_socket.h"

namespace ovra::platform {
namespace {

// An HTTPS server whose certificate is self-signed for 127.0.0.1, so trusted by nobody.
std::unique_ptr<httplib::SSLServer> untrustedTLSServer() {
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

TEST(HttpErrors, CarryTheirKind) {
  using testing::LoopbackSocket;
  const LoopbackSocket silent(LoopbackSocket::kListening);  // connects, then never answers
  const LoopbackSocket closed(LoopbackSocket::kBound);      // not listening: refused
  const std::unique_ptr<httplib::SSLServer> tls = untrustedTLSServer();  // any reply: a 404
  const int tlsPort = tls ? tls->bind_to_any_port("127.0.0.1") : -1;
  ASSERT_TRUE(silent.port > 0 && closed.port > 0 && tlsPort > 0);
  std::thread serving([&] { tls->listen_after_bind(); });
  while (!tls->is_running()) std::this_thread::yield();
  const auto url = [](const char* scheme, int port) {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + "/";
  };
  // Only the silent server is given up on through the time-out; the others fail long
  // before theirs, even on a slow (sanitized) build.
  using std::chrono::milliseconds;
  const struct {
    std::string url;
    milliseconds timeout;
    HttpErrorKind kind;
  } cases[] = {
      {"ftp://127.0.0.1/", milliseconds(10000), HttpErrorKind::kBadAddress},
      {url("http", closed.port), milliseconds(10000), HttpErrorKind::kRefused},
      {url("http", silent.port), milliseconds(300), HttpErrorKind::kTimeout},
      {url("https", tlsPort), milliseconds(10000), HttpErrorKind::kTls},
  };
  for (const auto& c : cases) {
    const HttpResult result = httpGet(c.url, c.timeout);
    EXPECT_FALSE(result.ok() || result.error.empty()) << c.url;
    EXPECT_EQ(result.errorKind, c.kind) << c.url << ": " << result.error;
  }
  tls->stop();
  serving.join();
}

}  // namespace
}  // namespace ovra::platform

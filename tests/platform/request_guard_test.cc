// Admission of a request, row by row: what a request carries, whether it is let through
// or refused, and why. The browser stage (browser_engine_test.cc) sends such requests over
// a real connection; the fuzz target checks the readers of cookies, queries and numbers.
#include "platform/browser/request_guard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace ovra::platform {
namespace {

using namespace std::chrono_literals;
using Headers = std::vector<std::pair<std::string, std::string>>;

const std::string kSecret(64, '7');
const std::string kHost = "127.0.0.1:8123";
const std::string kCookie = "ovra_key_8123=" + kSecret;

TEST(RequestGuard, AdmitsOnlyWhatCarriesTheSecretToThisServer) {
  RequestGuard guard(8123, kSecret);
  const RequestGuard::Clock::time_point now = RequestGuard::Clock::now();
  const std::optional<std::string> ticket = guard.newTicket(now);
  ASSERT_TRUE(ticket);
  const Headers own = {{"Host", kHost}, {"Cookie", kCookie}};
  Headers many = own, big = own;  // 64 headers, and one header too big
  for (int i = 0; i < 62; ++i) many.emplace_back("X-" + std::to_string(i), "1");
  big.emplace_back("X-Big", std::string(8192, 'b'));
  auto with = [&](Headers more) {
    more.insert(more.begin(), own.begin(), own.end());
    return more;
  };
  const struct {
    const char* method;
    std::string target;
    Headers headers;
    std::chrono::minutes later;  // after the ticket was made
    int status;
    std::string_view why;
  } rows[] = {
      {"GET", "/", own, 0min, 0, "admitted"},
      {"GET", "/call/1/getContacts", with({{"Origin", "http://127.0.0.1:8123"}}), 0min, 0,
       "admitted"},
      {"GET", "/", {{"Host", "localhost:8123"}, {"Cookie", kCookie}}, 0min, 0, "admitted"},
      {"GET", "/", {{"host", kHost}, {"cookie", "a=b; " + kCookie}}, 0min, 0, "admitted"},
      // The printed address, and the opener's ticket: once, and not after a minute.
      {"GET", "/x?key=" + kSecret, {{"Host", kHost}}, 0min, 303, "secret traded for a cookie"},
      {"HEAD", "/?key=" + kSecret, {{"Host", kHost}}, 0min, 303, "secret traded for a cookie"},
      {"POST", "/?key=" + kSecret, {{"Host", kHost}}, 0min, 403, "secret sent by other than GET"},
      {"GET", "/?key=" + std::string(64, '8'), {{"Host", kHost}}, 0min, 403, "wrong secret"},
      {"GET", "/?key=" + kSecret + "7", {{"Host", kHost}}, 0min, 403, "wrong secret"},
      {"GET",
       "/?ticket=" + *ticket,
       {{"Host", kHost}},
       2min,
       403,
       "ticket unknown, used or expired"},
      {"GET", "/?ticket=" + *ticket, {{"Host", kHost}}, 0min, 303, "secret traded for a cookie"},
      {"GET",
       "/?ticket=" + *ticket,
       {{"Host", kHost}},
       0min,
       403,
       "ticket unknown, used or expired"},
      // Another site, or a name that leads elsewhere (DNS rebinding).
      {"GET", "/?key=" + kSecret, {{"Host", "evil.example:8123"}}, 0min, 403, "foreign host"},
      {"GET", "/", {{"Host", "127.0.0.1:8124"}, {"Cookie", kCookie}}, 0min, 403, "foreign host"},
      {"GET",
       "/",
       {{"Host", kHost + ".evil.example"}, {"Cookie", kCookie}},
       0min,
       403,
       "foreign host"},
      {"GET", "/", {{"Cookie", kCookie}}, 0min, 403, "foreign host"},
      {"GET", "/", with({{"Origin", "null"}}), 0min, 403, "foreign origin"},
      {"GET", "/", with({{"Origin", "https://127.0.0.1:8123"}}), 0min, 403, "foreign origin"},
      {"GET", "/", with({{"Origin", "http://evil.example"}}), 0min, 403, "foreign origin"},
      {"GET", "/", {{"Host", kHost}}, 0min, 403, "no cookie with the secret"},
      {"GET",
       "/",
       {{"Host", kHost}, {"Cookie", "ovra_key_8124=" + kSecret}},
       0min,
       403,
       "no cookie with the secret"},
      {"GET",
       "/",
       {{"Host", kHost}, {"Cookie", "ovra_key_8123=" + kSecret + "7"}},
       0min,
       403,
       "no cookie with the secret"},
      // Sizes.
      {"GET", "/" + std::string(2047, 'a'), own, 0min, 0, "admitted"},
      {"GET", "/" + std::string(2048, 'a'), own, 0min, 414, "request target too long"},
      {"GET", "/", many, 0min, 0, "admitted"},
      {"GET", "/",
       [&] {
         Headers h = many;
         h.emplace_back("X-65", "1");
         return h;
       }(),
       0min, 431, "headers too large"},
      {"GET", "/", big, 0min, 431, "headers too large"},
      // One plain body length, within bounds.
      {"POST", "/resize", with({{"Content-Length", "65536"}}), 0min, 0, "admitted"},
      {"POST", "/resize", with({{"Content-Length", "65537"}}), 0min, 413, "body too large"},
      {"POST", "/resize", with({{"Content-Length", "-1"}}), 0min, 413, "body too large"},
      {"POST", "/resize", with({{"Content-Length", "0"}, {"content-length", "9"}}), 0min, 400,
       "ambiguous body length"},
      {"POST", "/resize", with({{"Transfer-Encoding", "chunked"}}), 0min, 400,
       "ambiguous body length"},
  };
  for (const auto& row : rows) {
    RequestHead head{row.method, row.target, {}};
    for (const auto& [name, value] : row.headers) head.headers.emplace_back(name, value);
    const Admission a = guard.admit(head, now + row.later);
    SCOPED_TRACE(std::string(row.method) + " " + row.target.substr(0, 80));
    EXPECT_EQ(a.status, row.status);
    EXPECT_EQ(a.why, row.why);
    if (a.status == 303) {
      EXPECT_EQ(a.setCookie, kCookie + "; HttpOnly; SameSite=Strict; Path=/");
      EXPECT_EQ(a.location, row.target.substr(0, row.target.find('?')));
    } else {
      EXPECT_EQ(a.setCookie + a.location, "");
    }
  }
}

}  // namespace
}  // namespace ovra::platform

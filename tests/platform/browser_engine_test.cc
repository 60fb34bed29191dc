// The browser engine against a loopback client: who gets in, what is served, and the page
// bridge end to end. The client runs on its own thread while this (main) thread runs the
// main queue, as the host does.
#include "platform/browser/browser_engine.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/time.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "../loopback_socket.h"
#include "../temp_dir.h"
#include "platform/base/log.h"
#include "platform/base/main_queue.h"
#include "platform/base/url_escape.h"

namespace ovra::platform {
namespace {

using namespace std::chrono_literals;
using Reply = std::optional<httplib::Response>;

Reply got(const httplib::Result& r) { return r ? Reply(*r) : std::nullopt; }
int statusOf(const httplib::Result& r) { return r ? r->status : 0; }

// Sends raw `request` bytes on a connection of its own; what comes back until the server
// closes the connection (or two seconds pass).
std::string exchange(int port, const std::string& request) {
  const testing::LoopbackSocket s(testing::LoopbackSocket::kConnected, port);
  timeval wait{2, 0};
  setsockopt(s.fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  std::string reply;
  if (::send(s.fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) return reply;
  char buffer[4096];
  for (ssize_t n; (n = ::recv(s.fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, n);
  return reply;
}

class FakeController : public ScriptObject, public FrameLoadDelegate, public PolicyDelegate {
 public:
  std::vector<std::string> webScriptMethods() const override {
    return {"getContacts", "ignoreFacebook", "hidden"};
  }
  bool isSelectorExcludedFromWebScript(std::string_view m) const override {
    return m != "getContacts" && m != "ignoreFacebook";
  }
  std::optional<std::string> invokeFromWebScript(std::string_view m) override {
    onMain = onMain && isMainThread();
    if (m == "getContacts") return "[\"Ann\",\"Bo\"]";
    ++ignored;
    return std::nullopt;
  }
  void webViewDidFinishLoadForFrame(WebView&) override {
    onMain = onMain && isMainThread();
    ++finished;
  }
  void decidePolicyForNewWindowAction(WebView&, const std::string& url, const std::string&,
                                      PolicyDecisionListener& listener) override {
    asked = url;
    listener.ignore();
  }
  bool onMain = true;
  int ignored = 0, finished = 0;
  std::string asked;
};

// A resource folder with a page, a script, and a link leading out of it; an engine that
// serves it with a web view showing the page.
class BrowserStage : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string res = dir_ / "Resources";
    std::filesystem::create_directories(res + "/js");
    std::ofstream(res + "/index.html")
        << "<!DOCTYPE html><html><head><title>t</title></head></html>";
    std::ofstream(res + "/js/app.js") << "run();";
    std::ofstream(dir_ / "secret.txt") << "secret";
    std::filesystem::create_symlink(dir_ / "secret.txt", res + "/out.html");
    BrowserEngine::Started started = BrowserEngine::start({res, 0});
    ASSERT_TRUE(started.engine) << started.error;
    engine_ = started.engine;
    setWebEngine(engine_);
    const std::string address = engine_->address();
    key_ = address.substr(address.find("key=") + 4);
    root_ = View::create(Rect{0, 0, 800, 600});
    engine_->setRootView(root_);
    web_ = WebView::create(Rect{0, 0, 400, 600});
    root_->addSubview(web_);
    web_->setFrameLoadDelegate(controller_);
    web_->setPolicyDelegate(controller_);
    web_->setWindowScriptValue("appController", controller_);
    web_->loadURL(fileURL(std::filesystem::canonical(res).string() + "/index.html"));
    id_ = std::to_string(web_->id());
  }
  void TearDown() override {
    if (engine_) engine_->stop();
    setWebEngine(nullptr);
  }

  // Runs `client` on a thread of its own while the main queue runs here.
  void offMain(const std::function<void(httplib::Client&)>& client) {
    std::atomic<bool> done{false};
    std::thread t([&] {
      httplib::Client http("127.0.0.1", engine_->port());
      http.set_url_encode(false);
      client(http);
      done = true;
      performOnMainThread([] {}, false);
    });
    runMainQueueUntil([&] { return done.load(); }, 30s);
    t.join();
  }
  httplib::Headers withCookie(httplib::Headers h = {}) const {
    h.emplace("Cookie", "ovra_key_" + std::to_string(engine_->port()) + "=" + key_);
    return h;
  }

  testing::TempDir dir_;
  std::shared_ptr<BrowserEngine> engine_;
  std::string key_, id_;
  std::shared_ptr<View> root_;
  std::shared_ptr<WebView> web_;
  std::shared_ptr<FakeController> controller_ = std::make_shared<FakeController>();
};

TEST_F(BrowserStage, RefusesEveryRequestThatBreaksARule) {
  const std::string once = engine_->oneTimeAddress();
  const std::string ticket = once.substr(once.find('?') + 1);
  const std::string port = std::to_string(engine_->port());
  const std::string page = "/page/" + id_ + "/";
  httplib::Headers manyHeaders = withCookie();
  for (int i = 0; i < 70; ++i) manyHeaders.emplace("X-" + std::to_string(i), "1");
  struct Case {
    const char* what;
    std::string method, path;
    httplib::Headers headers;
    int status;
  };
  const std::vector<Case> cases = {
      {"the printed address", "GET", "/?key=" + key_, {}, 303},  // first: checked below
      {"no secret", "GET", "/", {}, 403},
      {"the opener's ticket", "GET", "/?" + ticket, {}, 303},
      {"localhost", "GET", "/", withCookie({{"Host", "localhost:" + port}}), 200},
      {"foreign host", "GET", "/", withCookie({{"Host", "evil.example:" + port}}), 403},
      {"foreign origin", "POST", "/call/" + id_ + "/getContacts",
       withCookie({{"Origin", "http://evil.example"}}), 403},
      {"own origin", "POST", "/call/" + id_ + "/getContacts",
       withCookie({{"Origin", "http://127.0.0.1:" + port}}), 200},
      {"a script below", "GET", page + "js/app.js", withCookie(), 200},
      {"the top page's script", "GET", "/top.js", withCookie(), 200},
      {"the icon", "GET", "/favicon.ico", withCookie(), 200},
      {"the icon without the secret", "GET", "/favicon.ico", {}, 403},
      {"dot-dot", "GET", page + "../secret.txt", withCookie(), 404},
      {"escaped dot-dot", "GET", page + "%2e%2e/secret.txt", withCookie(), 404},
      {"escaped slash", "GET", page + "js%2f..%2f..%2fsecret.txt", withCookie(), 404},
      {"absolute path", "GET", page + "/etc/passwd", withCookie(), 404},
      {"symbolic link out", "GET", page + "out.html", withCookie(), 404},
      {"a folder", "GET", page + "js", withCookie(), 404},
      {"no such web view", "GET", "/page/999999/index.html", withCookie(), 404},
      {"post to a file", "POST", page + "index.html", withCookie(), 404},
      {"excluded method", "POST", "/call/" + id_ + "/hidden", withCookie(), 404},
      {"unlisted method", "POST", "/call/" + id_ + "/dealloc", withCookie(), 404},
      {"long request line", "GET", "/" + std::string(3000, 'a'), withCookie(), 414},
      {"many headers", "GET", "/", manyHeaders, 431},
      {"huge header", "GET", "/", withCookie({{"X-Big", std::string(9000, 'b')}}), 400},
      {"big body", "POST", "/resize", withCookie(), 413},
      {"a password by GET", "GET", "/password/1/skip", withCookie(), 404},
      {"a password no one asked for", "POST", "/password/1/skip", withCookie(), 409},
  };
  std::vector<Reply> results;
  offMain([&](httplib::Client& http) {
    for (const Case& c : cases) {
      const std::string body = std::string(c.what) == "big body" ? std::string(100000, ' ') : "";
      results.push_back(got(c.method == "GET"
                                ? http.Get(c.path.c_str(), c.headers)
                                : http.Post(c.path.c_str(), c.headers, body, "text/plain")));
    }
  });
  ASSERT_EQ(results.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    ASSERT_TRUE(results[i]);
    const httplib::Response& res = *results[i];
    EXPECT_EQ(res.status, cases[i].status);
    EXPECT_FALSE(res.has_header("Access-Control-Allow-Origin"));
    EXPECT_TRUE(res.status < 400 || res.body.empty()) << res.body;
    EXPECT_TRUE(res.status == 400 || res.get_header_value("Referrer-Policy") == "no-referrer");
  }
  EXPECT_EQ(results[0]->get_header_value("Location"), "/");
  EXPECT_EQ(results[0]->get_header_value("Set-Cookie"),
            "ovra_key_" + port + "=" + key_ + "; HttpOnly; SameSite=Strict; Path=/");
}

// 200 clients gone quiet mid-request keep nobody waiting, bridge calls included; smuggling,
// header injection and very long paths are refused on their own connection; no page served
// and no log line carries the secret.
TEST_F(BrowserStage, AttacksAreRefusedOrBounded) {
  const std::string port = std::to_string(engine_->port());
  const std::string host = "Host: 127.0.0.1:" + port + "\r\nConnection: close\r\n";
  const std::string cookie = "Cookie: ovra_key_" + port + "=" + key_ + "\r\n";
  const std::string call = "POST /call/" + id_ + "/getContacts HTTP/1.1\r\n" + host + cookie;
  const std::string smuggled = "GET / HTTP/1.1\r\n" + host + cookie + "\r\n";
  struct Case {
    const char* what;
    std::string request, statusLine;
  };
  const std::vector<Case> cases = {
      {"two lengths",
       call + "Content-Length: 0\r\nContent-Length: " + std::to_string(smuggled.size()) +
           "\r\n\r\n" + smuggled,
       "HTTP/1.1 400"},
      {"a coding beside a length",
       call + "Transfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n0\r\n\r\n" + smuggled,
       "HTTP/1.1 400"},
      {"a raw line break in the path", "GET /x\rSet-Cookie: a=b HTTP/1.1\r\n" + host + "\r\n",
       "HTTP/1.1 400"},
      {"an escaped line break in the printed address",
       "GET /%0d%0aX-Injected:%20yes?key=" + key_ + " HTTP/1.1\r\n" + host + "\r\n",
       "HTTP/1.1 303"},
      {"a very long path", "GET /" + std::string(100000, 'a') + " HTTP/1.1\r\n" + host + "\r\n",
       "HTTP/1.1 414"},
  };
  // Connections that began a request and went quiet: each holds a thread until it times out.
  LogCapture log;
  std::deque<testing::LoopbackSocket> idle;
  for (int i = 0; i < 200; ++i) {
    idle.emplace_back(testing::LoopbackSocket::kConnected, engine_->port());
    ::send(idle.back().fd, "GET / HT", 8, MSG_NOSIGNAL);
  }
  std::vector<std::string> replies;
  int served = 0;
  size_t stillOpen = 0;
  std::string top, page;
  offMain([&](httplib::Client& http) {
    const std::string bridge = "/call/" + id_ + "/getContacts";
    for (int i = 0; i < 10; ++i) {
      served += statusOf(http.Post(bridge.c_str(), withCookie(), "", "text/plain")) == 200;
    }
    for (const testing::LoopbackSocket& s : idle) {
      char c;
      stillOpen += ::recv(s.fd, &c, 1, MSG_DONTWAIT | MSG_PEEK) < 0 && errno == EAGAIN;
    }
    for (const Case& c : cases) replies.push_back(exchange(engine_->port(), c.request));
    for (const char* own : {"/", "/top.css", "/top.js"}) {
      top += got(http.Get(own, withCookie())).value_or(httplib::Response()).body;
    }
    const std::string index = "/page/" + id_ + "/index.html";
    page = got(http.Get(index.c_str(), withCookie())).value_or(httplib::Response()).body;
  });
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_TRUE(replies[i].starts_with(cases[i].statusLine)) << replies[i].substr(0, 200);
    EXPECT_EQ(replies[i].find("HTTP/1.1 ", 1), std::string::npos);  // nothing smuggled answered
    EXPECT_EQ(replies[i].find("\r\nX-Injected"), std::string::npos);
    EXPECT_EQ(replies[i].find("\r\nSet-Cookie: a=b"), std::string::npos);
  }
  EXPECT_NE(replies[3].find("\r\nLocation: /%0d%0aX-Injected:%20yes\r\n"), std::string::npos);
  // Served while every quiet connection was still waiting.
  EXPECT_EQ(served, 10);
  EXPECT_EQ(stillOpen, idle.size());
  EXPECT_NE(top.find("EventSource"), std::string::npos);
  EXPECT_NE(page.find("appController"), std::string::npos);
  EXPECT_EQ(top.find(key_), std::string::npos);
  EXPECT_EQ(page.find(key_), std::string::npos);
  for (const std::string& line : log.lines()) EXPECT_EQ(line.find(key_), std::string::npos);
}

TEST_F(BrowserStage, APageCallsItsControllerAndTheTopPageFollowsTheTree) {
  std::string events;
  Reply page, contacts, ignore, loaded, again, resize, popup;
  Rect resized;
  engine_->setResizeHandler([&](Rect r) { resized = isMainThread() ? r : Rect{}; });
  std::atomic<bool> firstTree{false};
  std::thread sse([&] {
    httplib::Client http("127.0.0.1", engine_->port());
    http.Get("/events", withCookie(), [&](const char* data, size_t n) {
      events.append(data, n);
      firstTree = true;
      // Ends once the frame change made below has arrived.
      return events.find("[0,0,300,600]") == std::string::npos;
    });
  });
  offMain([&](httplib::Client& http) {
    const std::string call = "/call/" + id_ + "/";
    page = got(http.Get(("/page/" + id_ + "/index.html").c_str(), withCookie()));
    contacts = got(http.Post((call + "getContacts").c_str(),
                             withCookie({{"Accept-Encoding", "br, gzip"}}), "", "text/plain"));
    ignore = got(http.Post((call + "ignoreFacebook").c_str(), withCookie(), "", "text/plain"));
    loaded = got(http.Post(("/loaded/" + id_ + "?load=1").c_str(), withCookie(), "", "text/plain"));
    again = got(http.Post(("/loaded/" + id_ + "?load=1").c_str(), withCookie(), "", "text/plain"));
    resize = got(http.Post("/resize", withCookie(), "1280 720", "text/plain"));
    popup = got(http.Post(("/newwindow/" + id_).c_str(), withCookie(), "https://x.example/\n_blank",
                          "text/plain"));
    while (!firstTree) std::this_thread::sleep_for(1ms);
  });
  web_->setFrame(Rect{0, 0, 300, 600});
  runMainQueueUntil([] { return false; }, 50ms);  // the queued load reports and resize
  sse.join();

  ASSERT_TRUE(page && contacts && ignore && loaded && again && resize && popup);
  // The bridge comes before the page's own head, with exactly the exposed methods.
  EXPECT_EQ(page->body.find("<!DOCTYPE html><html><head><script type=\"application/json\">{"
                            "\"view\":" +
                            id_ +
                            ",\"appController\":[\"getContacts\",\"ignoreFacebook\"]}"
                            "</script><script>"),
            0u)
      << page->body;
  EXPECT_NE(page->body.find("</script><title>t</title>"), std::string::npos);
  EXPECT_EQ(contacts->body, "[\"Ann\",\"Bo\"]");
  EXPECT_FALSE(contacts->has_header("Content-Encoding"));  // never compressed on loopback
  EXPECT_TRUE(contacts->get_header_value("Server-Timing").starts_with("build;dur="));
  EXPECT_EQ(ignore->status, 204);
  EXPECT_EQ(controller_->ignored, 1);
  EXPECT_EQ(controller_->finished, 1);  // the repeated report of the same load is dropped
  EXPECT_TRUE(controller_->onMain);
  EXPECT_EQ(resized, (Rect{0, 0, 1280, 720}));
  EXPECT_EQ(popup->body, "ignore");
  EXPECT_EQ(controller_->asked, "https://x.example/");
  // The whole tree on connecting, and again after the change.
  const std::string shown = "\"page\":\"/page/" + id_ + "/index.html\"";
  const size_t first = events.find(shown);
  ASSERT_NE(first, std::string::npos) << events;
  EXPECT_NE(events.find(shown, first + 1), std::string::npos) << events;
  EXPECT_EQ(events.rfind("data: {\"root\":{\"id\":" + std::to_string(root_->id()), 0), 0u);
}

}  // namespace
}  // namespace ovra::platform

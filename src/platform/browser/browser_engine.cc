// The browser engine's start-up and routes. The work is split by concern: request_guard
// admits every request before its route, static_files reads the resource folder's files,
// pages holds the engine's own page and the bridge (files in page/), event_stream is what
// the top page follows, view_tree the tree it draws, and browser_bridge.cc answers the
// pages' calls. A new route is one line in route() and, when it touches views, a member
// in browser_bridge.cc that does that work on the main thread.
#include "platform/browser/browser_engine.h"

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/base/main_queue.h"
#include "platform/browser/connection_pool.h"
#include "platform/browser/pages.h"
#include "platform/browser/static_files.h"

namespace ovra::platform {
namespace {

using namespace std::chrono_literals;

// Threads for connections, made as they are needed: each open top page holds one for its
// events, and an idle or slow client one until it times out.
constexpr size_t kMaxConnectionThreads = 256;
constexpr time_t kReadTimeoutSeconds = 5;
constexpr time_t kWriteTimeoutSeconds = 5;
constexpr time_t kKeepAliveSeconds = 1;
constexpr auto kEventKeepAlive = 15s;  // a comment line, so a gone client is noticed

// What admission sees of a request the server has read.
RequestHead headOf(const httplib::Request& req) {
  RequestHead head{req.method, req.target, {}};
  head.headers.reserve(req.headers.size());
  for (const auto& [name, value] : req.headers) head.headers.emplace_back(name, value);
  return head;
}

}  // namespace

BrowserEngine::BrowserEngine(BrowserEngineOptions options) : options_(std::move(options)) {}

BrowserEngine::~BrowserEngine() { stop(); }

BrowserEngine::Started BrowserEngine::start(BrowserEngineOptions options) {
  Started out;
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::canonical(options.resourceFolder, ec);
  if (ec || !std::filesystem::is_directory(folder, ec)) {
    out.error = "the resource folder '" + options.resourceFolder + "' cannot be read";
    return out;
  }
  std::optional<std::string> secret = newSecret();
  if (!secret) {
    out.error = "no random secret could be made for the browser";
    return out;
  }
  std::shared_ptr<BrowserEngine> engine(new BrowserEngine(std::move(options)));
  engine->folder_ = folder.string();
  engine->server_ = std::make_unique<httplib::Server>();
  httplib::Server& server = *engine->server_;
  server.new_task_queue = [] { return new ConnectionPool(kMaxConnectionThreads); };
  server.set_read_timeout(kReadTimeoutSeconds);
  server.set_write_timeout(kWriteTimeoutSeconds);
  server.set_keep_alive_timeout(kKeepAliveSeconds);
  server.set_payload_max_length(RequestGuard::kMaxBody);
  // Address reuse for a quick restart, but never port sharing: another program must not
  // listen on the same port beside us.
  socket_t listening = INVALID_SOCKET;
  server.set_socket_options([&listening](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    listening = sock;
  });
  server.set_default_headers({{"Referrer-Policy", "no-referrer"},
                              {"X-Content-Type-Options", "nosniff"},
                              {"Cache-Control", "no-store"},
                              {"Content-Security-Policy", "frame-ancestors 'self'"}});
  const int asked = engine->options_.port;
  errno = 0;
  if (asked == 0) {
    engine->port_ = server.bind_to_any_port("127.0.0.1");
  } else if (server.bind_to_port("127.0.0.1", asked)) {
    engine->port_ = asked;
  }
  // The library listens with a backlog of 5: a burst of connections beyond it has its
  // handshakes dropped and retried a second later. Listening again only raises the backlog.
  if (engine->port_ > 0 && listening != INVALID_SOCKET) ::listen(listening, SOMAXCONN);
  if (engine->port_ <= 0) {
    const int why = errno;
    out.portBusy = why == EADDRINUSE;
    out.error = out.portBusy ? "port " + std::to_string(asked) + " is busy"
                             : "cannot listen on 127.0.0.1:" + std::to_string(asked) + " (" +
                                   std::strerror(why) + ")";
    return out;
  }
  engine->guard_.emplace(engine->port_, std::move(*secret));
  engine->route();
  engine->publishTree();
  BrowserEngine* raw = engine.get();
  engine->listener_ = std::thread([raw] {
    raw->server_->listen_after_bind();
    raw->listenerDone_ = true;
    wakeMainQueue();  // for stop()
  });
  // stop() only reaches a server that runs.
  while (!server.is_running() && !engine->listenerDone_) std::this_thread::sleep_for(1ms);
  out.engine = std::move(engine);
  return out;
}

std::string BrowserEngine::address() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/?key=" + guard_->secret();
}

std::string BrowserEngine::oneTimeAddress() {
  const std::optional<std::string> ticket = guard_->newTicket();
  return ticket ? "http://127.0.0.1:" + std::to_string(port_) + "/?ticket=" + *ticket : "";
}

void BrowserEngine::stop() {
  if (stopped_ || !listener_.joinable()) return;
  stopped_ = true;
  desk_.close();
  events_.stop();
  server_->stop();
  // Handlers may wait for the main thread; keep answering them until all have ended.
  while (isMainThread() && !listenerDone_) {
    runMainQueueUntil([this] { return listenerDone_.load(); }, 100ms);
  }
  listener_.join();
}

// Every route below is reached only by a request that admission let through.
void BrowserEngine::route() {
  httplib::Server& s = *server_;
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    // Nothing is compressed: on loopback it only costs time (the library's default
    // brotli takes seconds over a timeline of a few megabytes). The server owns the
    // request it hands out as const, so dropping the header here is safe.
    const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
    const Admission admission = guard_->admit(headOf(req));
    if (admission.status == 0) return httplib::Server::HandlerResponse::Unhandled;
    res.status = admission.status;
    if (admission.status == 303) {
      res.set_header("Set-Cookie", admission.setCookie);
      res.set_header("Location", admission.location);
    }
    if (admission.status >= 400) res.set_header("Connection", "close");
    return httplib::Server::HandlerResponse::Handled;
  });
  // The top page and its own files (pages.h).
  s.Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string(topPage()), "text/html; charset=utf-8");
  });
  s.Get(R"(/(top\.css|top\.js|favicon\.svg))",
        [](const httplib::Request& req, httplib::Response& res) {
          const std::string name = req.matches[1].str();
          res.set_content(std::string(pageFile(name)), std::string(contentTypeOf(name)));
        });
  // Where a browser looks for the icon of a page that names none (a page of the resource
  // folder opened in a tab of its own).
  s.Get("/favicon.ico", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string(pageFile("favicon.svg")), "image/svg+xml");
  });
  s.Get("/events", [this](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, cursor = events_.connect()](size_t, httplib::DataSink& sink) mutable {
          const std::optional<std::string> message = events_.next(cursor, kEventKeepAlive);
          if (!message) {
            sink.done();
            return true;
          }
          return sink.write(message->data(), message->size());
        });
  });
  // The pages of the resource folder, and their calls (browser_bridge.cc).
  s.Get(R"(/page/(\d+)/.+)", [this](const httplib::Request& req, httplib::Response& res) {
    const std::optional<PageTarget> page = pageTarget(req.target);
    res.status = page ? serveResource(page->id, page->rawPath, res) : 404;
  });
  s.Post(R"(/call/(\d+)/(\w+))", [this](const httplib::Request& req, httplib::Response& res) {
    const std::optional<uint64_t> id = parseNumber(req.matches[1].str());
    res.status = id ? callMethod(*id, req.matches[2].str(), res) : 404;
  });
  s.Post(R"(/newwindow/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
    const std::optional<uint64_t> id = parseNumber(req.matches[1].str());
    res.status = id ? newWindow(*id, req.body, res) : 404;
  });
  s.Post(R"(/loaded/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
    const std::optional<uint64_t> id = parseNumber(req.matches[1].str());
    const size_t q = req.target.find('?');
    const std::string_view query =
        q == std::string::npos ? std::string_view() : std::string_view(req.target).substr(q + 1);
    res.status = id ? finishLoad(*id, query, req.body) : 404;
  });
  s.Post("/resize", [this](const httplib::Request& req, httplib::Response& res) {
    res.status = resize(req.body);
  });
  // The password travels in the body only, and the server's copy is wiped once taken.
  s.Post(R"(/password/(\d+)/(unlock|skip))",
         [this](const httplib::Request& req, httplib::Response& res) {
           std::string& body = const_cast<httplib::Request&>(req).body;
           const std::optional<uint64_t> id = parseNumber(req.matches[1].str());
           res.status = id ? answerPassword(*id, req.matches[2].str() == "unlock", body) : 404;
           wipeSecret(body);
         });
}

void BrowserEngine::setRootView(const std::shared_ptr<View>& root) {
  root_ = root;
  publishTree();
}

void BrowserEngine::publishTree() {
  const std::shared_ptr<View> root = root_.lock();
  if (std::optional<std::string> text = viewTreeText(root.get(), webViews_, folder_)) {
    events_.publishTree(std::move(*text));
  }
}

void BrowserEngine::viewDidAddSubview(View&, View&) { publishTree(); }

void BrowserEngine::viewDidRemoveFromSuperview(View&, View&) { publishTree(); }

void BrowserEngine::viewDidChangeFrame(View&) { publishTree(); }

void BrowserEngine::webViewWillLoad(WebView& webView, const std::string& url) {
  WebViewRecord& entry = webViews_[webView.id()];
  entry.view = std::static_pointer_cast<WebView>(webView.shared_from_this());
  ++entry.load;
  entry.finished = false;
  entry.requested = url;
  publishTree();
}

void BrowserEngine::openURL(const std::string& url) { events_.openInNewTab(url); }

}  // namespace ovra::platform

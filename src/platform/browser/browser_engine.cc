#include "platform/browser/browser_engine.h"

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "json/writer.h"
#include "platform/base/main_queue.h"
#include "platform/base/url_escape.h"
#include "platform/browser/connection_pool.h"
#include "platform/browser/pages.h"
#include "platform/browser/request_guard.h"

namespace ovra::platform {
namespace {

using namespace std::chrono_literals;

// Threads for connections, made as they are needed: each open top page holds one for its
// events, and an idle or slow client one until it times out.
constexpr size_t kMaxConnectionThreads = 256;
constexpr time_t kReadTimeoutSeconds = 5;
constexpr time_t kWriteTimeoutSeconds = 5;
constexpr time_t kKeepAliveSeconds = 1;
constexpr auto kTicketLife = std::chrono::minutes(1);
constexpr auto kEventKeepAlive = 15s;  // a comment line, so a gone client is noticed
constexpr uintmax_t kMaxFileBytes = 64u << 20;
constexpr size_t kMaxAddress = 4096;  // an address pasted by the person
constexpr int kMaxSide = 16384;       // of the browser window, in points
constexpr char kController[] = "appController";

double finite(double d) { return std::isfinite(d) ? d : 0; }

std::string_view typeOf(std::string_view path) {
  static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".htm", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".json", "application/json"},
      {".txt", "text/plain; charset=utf-8"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},
      {".ico", "image/x-icon"},
      {".woff2", "font/woff2"},
  };
  for (const auto& [ext, type] : kTypes) {
    if (path.ends_with(ext)) return type;
  }
  return "application/octet-stream";
}

std::string cookieName(int port) { return "ovra_key_" + std::to_string(port); }

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
  engine->secret_ = std::move(*secret);
  engine->server_ = std::make_unique<httplib::Server>();
  httplib::Server& server = *engine->server_;
  server.new_task_queue = [] { return new ConnectionPool(kMaxConnectionThreads); };
  server.set_read_timeout(kReadTimeoutSeconds);
  server.set_write_timeout(kWriteTimeoutSeconds);
  server.set_keep_alive_timeout(kKeepAliveSeconds);
  server.set_payload_max_length(kMaxBody);
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
  engine->route();
  engine->publishTree();
  BrowserEngine* raw = engine.get();
  engine->listener_ = std::thread([raw] {
    raw->server_->listen_after_bind();
    raw->listenerDone_ = true;
    performOnMainThread([] {}, false);  // wakes stop()
  });
  // stop() only reaches a server that runs.
  while (!server.is_running() && !engine->listenerDone_) std::this_thread::sleep_for(1ms);
  out.engine = std::move(engine);
  return out;
}

std::string BrowserEngine::address() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/?key=" + secret_;
}

std::string BrowserEngine::oneTimeAddress() {
  std::optional<std::string> ticket = newSecret();
  if (!ticket) return "";
  MutexLock lock(mu_);
  ticket_ = *ticket;
  ticketExpires_ = std::chrono::steady_clock::now() + kTicketLife;
  return "http://127.0.0.1:" + std::to_string(port_) + "/?ticket=" + ticket_;
}

bool BrowserEngine::takeTicket(std::string_view given) const {
  MutexLock lock(mu_);
  if (ticket_.empty() || !sameSecret(given, ticket_) ||
      std::chrono::steady_clock::now() > ticketExpires_) {
    return false;
  }
  ticket_.clear();
  return true;
}

void BrowserEngine::stop() {
  if (stopped_ || !listener_.joinable()) return;
  stopped_ = true;
  {
    MutexLock lock(mu_);
    stopping_ = true;
  }
  changed_.notify_all();
  server_->stop();
  // Handlers may wait for the main thread; keep answering them until all have ended.
  while (isMainThread() && !listenerDone_) {
    runMainQueueUntil([this] { return listenerDone_.load(); }, 100ms);
  }
  listener_.join();
}

void BrowserEngine::route() {
  httplib::Server& s = *server_;
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    // Nothing is compressed: on loopback it only costs time (the library's default
    // brotli takes seconds over a timeline of a few megabytes). The server owns the
    // request it hands out as const, so dropping the header here is safe.
    const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
    const int status = admit(req, res);
    if (status == 0) return httplib::Server::HandlerResponse::Unhandled;
    res.status = status;
    if (status >= 400) res.set_header("Connection", "close");
    return httplib::Server::HandlerResponse::Handled;
  });
  s.Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string(topPage()), "text/html; charset=utf-8");
  });
  s.Get("/events", [this](const httplib::Request&, httplib::Response& res) {
    size_t opened = 0;
    {
      MutexLock lock(mu_);
      opened = opened_.size();
    }
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, version = uint64_t{0}, opened](size_t, httplib::DataSink& sink) mutable {
          std::string message;
          if (!nextEvent(version, opened, message)) {
            sink.done();
            return true;
          }
          return sink.write(message.data(), message.size());
        });
  });
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
}

int BrowserEngine::admit(const httplib::Request& req, httplib::Response& res) const {
  if (req.target.size() > kMaxTarget) return 414;
  size_t headerBytes = 0;
  for (const auto& [name, value] : req.headers) headerBytes += name.size() + value.size();
  if (req.headers.size() > kMaxHeaders || headerBytes > kMaxHeaderBytes) return 431;
  if (!isOwnHost(req.get_header_value("Host"), port_)) return 403;
  if (req.has_header("Origin") && !isOwnOrigin(req.get_header_value("Origin"), port_)) return 403;
  const size_t q = req.target.find('?');
  const std::string_view path = std::string_view(req.target).substr(0, q);
  const std::string_view query =
      q == std::string::npos ? std::string_view() : std::string_view(req.target).substr(q + 1);
  const std::optional<std::string_view> key = queryValue(query, "key");
  const std::optional<std::string_view> ticket = queryValue(query, "ticket");
  if (key || ticket) {
    // The printed address, or the one handed to the opener: trade the secret (or the
    // ticket, once) for a cookie and drop it from the address.
    if (req.method != "GET" && req.method != "HEAD") return 403;
    if (key ? !sameSecret(*key, secret_) : !takeTicket(*ticket)) return 403;
    res.set_header("Set-Cookie",
                   cookieName(port_) + "=" + secret_ + "; HttpOnly; SameSite=Strict; Path=/");
    res.set_header("Location", std::string(path));
    return 303;
  }
  const std::string cookies = req.get_header_value("Cookie");
  const std::optional<std::string_view> cookie = cookieValue(cookies, cookieName(port_));
  if (!cookie || !sameSecret(*cookie, secret_)) return 403;
  // One plain body length or none: two lengths, or a transfer coding beside or instead of
  // one, are how a request is smuggled past something that reads lengths differently.
  if (req.get_header_value_count("Content-Length") > 1 || req.has_header("Transfer-Encoding")) {
    return 400;
  }
  if (req.get_header_value<uint64_t>("Content-Length") > kMaxBody) return 413;
  return 0;
}

int BrowserEngine::serveResource(uint64_t id, std::string_view rawPath, httplib::Response& res) {
  bool exists = false;
  bool hasController = false;
  std::vector<std::string> methods;
  performOnMainThread(
      [&] {
        std::shared_ptr<WebView> view = webView(id);
        if (!view) return;
        exists = true;
        std::shared_ptr<ScriptObject> controller = view->windowScriptValue(kController);
        if (!controller) return;
        hasController = true;
        methods = scriptMethodsOf(*controller);
      },
      true);
  if (!exists) return 404;
  const std::optional<std::string> file = resolveResource(folder_, rawPath);
  if (!file) return 404;
  std::error_code ec;
  if (std::filesystem::file_size(*file, ec) > kMaxFileBytes || ec) return 404;
  std::ifstream in(*file, std::ios::binary);
  std::ostringstream body;
  body << in.rdbuf();
  if (!in) return 404;
  const std::string_view type = typeOf(*file);
  if (type.starts_with("text/html")) {
    res.set_content(withScript(body.str(), bridgeScript(id, hasController, methods)),
                    std::string(type));
  } else {
    res.set_content(body.str(), std::string(type));
  }
  return 200;
}

int BrowserEngine::callMethod(uint64_t id, const std::string& method, httplib::Response& res) {
  int status = 404;
  std::string text;
  double buildMs = 0;
  performOnMainThread(
      [&] {
        std::shared_ptr<WebView> view = webView(id);
        if (!view) return;
        const auto start = std::chrono::steady_clock::now();
        ScriptCallResult result = callWindowScriptMethod(*view, kController, method);
        buildMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (!result.ok()) return;
        status = result.value ? 200 : 204;
        if (result.value) text = std::move(*result.value);
      },
      true);
  if (status == 200) res.set_content(text, "text/plain; charset=utf-8");
  // What the method took on the main thread, so that a page can tell it from the transfer.
  if (status != 404) res.set_header("Server-Timing", "build;dur=" + std::to_string(buildMs));
  return status;
}

int BrowserEngine::newWindow(uint64_t id, const std::string& body, httplib::Response& res) {
  const size_t newline = body.find('\n');
  const std::string url = body.substr(0, newline);
  const std::string name = newline == std::string::npos ? "" : body.substr(newline + 1);
  std::optional<PolicyDecision> decision;
  performOnMainThread(
      [&] {
        if (std::shared_ptr<WebView> view = webView(id)) {
          decision = decideNewWindow(*view, url, name);
        }
      },
      true);
  if (!decision) return 404;
  res.set_content(*decision == PolicyDecision::kUse ? "use" : "ignore", "text/plain");
  return 200;
}

int BrowserEngine::finishLoad(uint64_t id, std::string_view query, const std::string& body) {
  const std::optional<std::string_view> loadText = queryValue(query, "load");
  const std::optional<uint64_t> load = loadText ? parseNumber(*loadText) : std::nullopt;
  if (!load) return 404;
  // Only an outside page says where it ended; it must be a web address.
  if (!body.empty() && (body.size() > kMaxAddress ||
                        !(body.starts_with("https://") || body.starts_with("http://")))) {
    return 404;
  }
  performOnMainThread(
      [weak = weak_from_this(), id, load = *load, body] {
        std::shared_ptr<BrowserEngine> self = weak.lock();
        if (!self) return;
        auto it = self->webViews_.find(id);
        if (it == self->webViews_.end() || it->second.load != load || it->second.finished) return;
        std::shared_ptr<WebView> view = it->second.view.lock();
        if (!view) return;
        it->second.finished = true;
        if (!body.empty()) view->engineDidNavigate(body);
        view->engineDidFinishLoad();
      },
      false);
  return 204;
}

int BrowserEngine::resize(const std::string& body) {
  const size_t space = body.find(' ');
  if (space == std::string::npos) return 404;
  const std::optional<uint64_t> w = parseNumber(std::string_view(body).substr(0, space));
  const std::optional<uint64_t> h = parseNumber(std::string_view(body).substr(space + 1));
  if (!w || !h || *w == 0 || *h == 0 || *w > kMaxSide || *h > kMaxSide) return 404;
  const Rect size{0, 0, static_cast<double>(*w), static_cast<double>(*h)};
  performOnMainThread(
      [weak = weak_from_this(), size] {
        std::shared_ptr<BrowserEngine> self = weak.lock();
        if (self && self->resizeHandler_) self->resizeHandler_(size);
      },
      false);
  return 204;
}

bool BrowserEngine::nextEvent(uint64_t& sentVersion, size_t& sentOpened, std::string& message) {
  MutexLock lock(mu_);
  changed_.wait_for(mu_, kEventKeepAlive, [&]() OVRA_REQUIRES(mu_) {
    return stopping_ || treeVersion_ != sentVersion || opened_.size() > sentOpened;
  });
  if (stopping_) return false;
  message.clear();
  json::KtJsonWriter writer;
  for (; sentOpened < opened_.size(); ++sentOpened) {
    message += "event: newtab\ndata: ";
    writer.appendString(opened_[sentOpened], message);
    message += "\n\n";
  }
  if (treeVersion_ != sentVersion) {
    message += "data: " + tree_ + "\n\n";
    sentVersion = treeVersion_;
  }
  if (message.empty()) message = ":\n\n";
  return true;
}

std::string BrowserEngine::treeText() const {
  MutexLock lock(mu_);
  return tree_;
}

void BrowserEngine::setRootView(const std::shared_ptr<View>& root) {
  root_ = root;
  publishTree();
}

std::shared_ptr<WebView> BrowserEngine::webView(uint64_t id) {
  auto it = webViews_.find(id);
  if (it == webViews_.end()) return nullptr;
  std::shared_ptr<WebView> view = it->second.view.lock();
  if (!view) webViews_.erase(it);
  return view;
}

json::Value BrowserEngine::describe(const View& view) const {
  json::Object node;
  node.set("id", json::Value(static_cast<long long>(view.id())));
  node.set("class", json::Value(view.className()));
  const Rect f = view.frame();
  node.set("frame",
           json::Value(json::Array{json::Value(finite(f.x)), json::Value(finite(f.y)),
                                   json::Value(finite(f.width)), json::Value(finite(f.height))}));
  node.set("mask", json::Value(view.autoresizingMask()));
  if (const auto* split = dynamic_cast<const SplitView*>(&view)) {
    node.set("split", json::Value(true));
    node.set("vertical", json::Value(split->isVertical()));
  }
  if (const auto* web = dynamic_cast<const WebView*>(&view)) {
    auto it = webViews_.find(view.id());
    node.set("load",
             json::Value(static_cast<long long>(it == webViews_.end() ? 0 : it->second.load)));
    const std::string& url = it == webViews_.end() ? web->mainFrameURL() : it->second.requested;
    if (url.starts_with("http://") || url.starts_with("https://")) {
      node.set("outside", json::Value(url));
    } else if (url.starts_with("file://")) {
      std::string_view rest = std::string_view(url).substr(std::string_view("file://").size());
      rest = rest.substr(0, rest.find_first_of("?#"));
      const std::optional<std::string> path = replacePercentEscapes(rest);
      std::error_code ec;
      const std::string real =
          path ? std::filesystem::weakly_canonical(*path, ec).string() : std::string();
      if (!ec && real.size() > folder_.size() + 1 && real.starts_with(folder_) &&
          real[folder_.size()] == '/') {
        std::string page = "/page/" + std::to_string(view.id()) + "/";
        appendPercentEscaped(page, std::string_view(real).substr(folder_.size() + 1), "/");
        node.set("page", json::Value(page));
      }
    }
  }
  json::Array subviews;
  for (const std::shared_ptr<View>& sub : view.subviews()) subviews.push_back(describe(*sub));
  node.set("subviews", json::Value(std::move(subviews)));
  return json::Value(std::move(node));
}

void BrowserEngine::publishTree() {
  json::Object tree;
  std::shared_ptr<View> root = root_.lock();
  tree.set("root", root ? describe(*root) : json::Value(json::Null{}));
  json::KtJsonWriter writer;
  std::optional<std::string> text = writer.stringWithObject(json::Value(std::move(tree)));
  if (!text) return;
  {
    MutexLock lock(mu_);
    tree_ = std::move(*text);
    ++treeVersion_;
  }
  changed_.notify_all();
}

void BrowserEngine::viewDidAddSubview(View&, View&) { publishTree(); }

void BrowserEngine::viewDidRemoveFromSuperview(View&, View&) { publishTree(); }

void BrowserEngine::viewDidChangeFrame(View&) { publishTree(); }

void BrowserEngine::webViewWillLoad(WebView& webView, const std::string& url) {
  Loaded& entry = webViews_[webView.id()];
  entry.view = std::static_pointer_cast<WebView>(webView.shared_from_this());
  ++entry.load;
  entry.finished = false;
  entry.requested = url;
  publishTree();
}

void BrowserEngine::openURL(const std::string& url) {
  {
    MutexLock lock(mu_);
    opened_.push_back(url);
  }
  changed_.notify_all();
}

}  // namespace ovra::platform

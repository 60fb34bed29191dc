// The browser engine's answers to the pages' calls: a page of the resource folder with
// the bridge script, the script methods of its `appController`, new-window requests,
// finished loads, the size of the browser window and the password pane's answers. Each runs on a
// server thread and does its work with views on the main thread.
#include <httplib.h>

#include <chrono>

#include "platform/base/main_queue.h"
#include "platform/browser/browser_engine.h"
#include "platform/browser/pages.h"
#include "platform/browser/static_files.h"

namespace ovra::platform {
namespace {

constexpr size_t kMaxAddress = 4096;  // an address pasted by the person
constexpr int kMaxSide = 16384;       // of the browser window, in points
constexpr char kController[] = "appController";

}  // namespace

std::shared_ptr<WebView> BrowserEngine::webView(uint64_t id) {
  auto it = webViews_.find(id);
  if (it == webViews_.end()) return nullptr;
  std::shared_ptr<WebView> view = it->second.view.lock();
  if (!view) webViews_.erase(it);
  return view;
}

int BrowserEngine::serveResource(uint64_t id, std::string_view rawPath, httplib::Response& res) {
  bool exists = false;
  std::optional<std::vector<std::string>> methods;  // of the page's appController
  performOnMainThread(
      [&] {
        std::shared_ptr<WebView> view = webView(id);
        if (!view) return;
        exists = true;
        if (std::shared_ptr<ScriptObject> controller = view->windowScriptValue(kController)) {
          methods = scriptMethodsOf(*controller);
        }
      },
      true);
  if (!exists) return 404;
  std::optional<StaticFile> file = readStaticFile(folder_, rawPath);
  if (!file) return 404;
  if (file->isPage()) {
    res.set_content(withBridge(file->body, id, methods), std::string(file->type));
  } else {
    res.set_content(std::move(file->body), std::string(file->type));
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
  if (status == 200) {
    // The library's set_content copies: a timeline runs to tens of megabytes.
    res.body = std::move(text);
    res.set_header("Content-Type", "text/plain; charset=utf-8");
  }
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

int BrowserEngine::answerPassword(uint64_t id, bool unlock, std::string& body) {
  std::optional<std::string> password;
  if (unlock) password.emplace(std::move(body));
  // A question that no longer stands: answered in another tab, or the program ends.
  return desk_.answer(id, std::move(password)) ? 204 : 409;
}

}  // namespace ovra::platform

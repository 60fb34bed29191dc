// BrowserEngine: a web engine that shows the view tree in the user's own browser. It
// serves, on loopback only, a top page that draws the tree (each view a positioned box,
// each web view an iframe) and follows it over server-sent events, the pages of the
// resource folder with a small script that gives them the web view's `appController`,
// and the calls those pages make back (script methods, finished loads, new windows, the
// size of the browser window), and the password pane: a question for the password of an
// encrypted backup waits for the person's answer (password_desk.h). Every request carries
// the per-run secret of address().
//
// Ownership: the engine owns its server and the server's threads; it keeps web views
// weakly. Threads: the WebEngine calls, setRootView, setResizeHandler and stop are main
// thread only; the server's threads never touch a view but queue that work to the main
// thread, so the main queue must run for pages to be answered. address() and port() are
// safe from any thread, and so is askPassword, which blocks its caller.
#ifndef OVRA_PLATFORM_BROWSER_BROWSER_ENGINE_H_
#define OVRA_PLATFORM_BROWSER_BROWSER_ENGINE_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/browser/event_stream.h"
#include "platform/browser/password_desk.h"
#include "platform/browser/request_guard.h"
#include "platform/browser/view_tree.h"
#include "platform/ui/view.h"
#include "platform/ui/web_engine.h"

namespace httplib {
class Server;
struct Response;
}  // namespace httplib

namespace ovra::platform {

struct BrowserEngineOptions {
  // Pages are served from this folder and nothing outside it.
  std::string resourceFolder;
  // 0: the system picks a free port.
  int port = 0;
};

class BrowserEngine : public WebEngine, public std::enable_shared_from_this<BrowserEngine> {
 public:
  struct Started {
    std::shared_ptr<BrowserEngine> engine;  // null on failure
    std::string error;                      // one line, e.g. "port 8080 is busy"
    bool portBusy = false;
  };
  // Binds 127.0.0.1 and starts serving. Main thread only.
  static Started start(BrowserEngineOptions options);
  ~BrowserEngine() override;
  BrowserEngine(const BrowserEngine&) = delete;
  BrowserEngine& operator=(const BrowserEngine&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT/?key=SECRET": the address that lets a browser in.
  std::string address() const;
  // An address for handing to another program (which others on the machine may see on its
  // command line): "http://127.0.0.1:PORT/?ticket=T", good once and for a minute, each call
  // replacing the previous ticket. Empty when no random ticket can be made.
  std::string oneTimeAddress();

  // The view the top page draws (the host's visualizer area), kept weakly.
  void setRootView(const std::shared_ptr<View>& root);
  // Called on the main thread with the browser window's new size.
  void setResizeHandler(std::function<void(Rect)> handler) { resizeHandler_ = std::move(handler); }
  // Stops serving and waits for the server's threads, running the main queue meanwhile so
  // that calls they queued are answered. Called by the destructor. Main thread only, not
  // from inside a queued call.
  void stop();

  // Asks the person in the browser for a backup's password and waits for the answer:
  // nothing when they skip or once the engine stops. Any thread but the main thread.
  std::optional<std::string> askPassword(const PasswordRequest& request) {
    return desk_.ask(request);
  }

  // The tree as the top page receives it (JSON); for tests.
  std::string treeText() const { return events_.tree(); }

  // WebEngine.
  void viewDidAddSubview(View& superview, View& subview) override;
  void viewDidRemoveFromSuperview(View& view, View& oldSuperview) override;
  void viewDidChangeFrame(View& view) override;
  void webViewWillLoad(WebView& webView, const std::string& url) override;
  void openURL(const std::string& url) override;

 private:
  explicit BrowserEngine(BrowserEngineOptions options);
  void route();

  // Main thread.
  void publishTree();
  std::shared_ptr<WebView> webView(uint64_t id);

  // The server's threads (browser_bridge.cc). Each returns the HTTP status to answer with.
  int serveResource(uint64_t id, std::string_view rawPath, httplib::Response& res);
  int callMethod(uint64_t id, const std::string& method, httplib::Response& res);
  int newWindow(uint64_t id, const std::string& body, httplib::Response& res);
  int finishLoad(uint64_t id, std::string_view query, const std::string& body);
  int resize(const std::string& body);
  int answerPassword(uint64_t id, bool unlock, std::string& body);

  const BrowserEngineOptions options_;
  std::string folder_;  // canonical resource folder
  std::optional<RequestGuard> guard_;
  int port_ = 0;
  std::unique_ptr<httplib::Server> server_;
  std::thread listener_;
  std::atomic<bool> listenerDone_{false};
  EventStream events_;
  PasswordDesk desk_{
      [this](std::string question) { events_.publishQuestion(std::move(question)); }};

  // Main thread only.
  std::weak_ptr<View> root_;
  WebViewRecords webViews_;
  std::function<void(Rect)> resizeHandler_;
  bool stopped_ = false;
};

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BROWSER_BROWSER_ENGINE_H_

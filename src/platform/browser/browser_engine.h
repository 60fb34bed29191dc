// BrowserEngine: a web engine that shows the view tree in the user's own browser. It
// serves, on loopback only, a top page that draws the tree (each view a positioned box,
// each web view an iframe) and follows it over server-sent events, the pages of the
// resource folder with a small script that gives them the web view's `appController`,
// and the calls those pages make back (script methods, finished loads, new windows, the
// size of the browser window). Every request carries the per-run secret of address().
//
// Ownership: the engine owns its server and the server's threads; it keeps web views
// weakly. Threads: the WebEngine calls, setRootView, setResizeHandler and stop are main
// thread only; the server's threads never touch a view but queue that work to the main
// thread, so the main queue must run for pages to be answered. address() and port() are
// safe from any thread.
#ifndef OVRA_PLATFORM_BROWSER_BROWSER_ENGINE_H_
#define OVRA_PLATFORM_BROWSER_BROWSER_ENGINE_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "json/value.h"
#include "platform/base/thread_annotations.h"
#include "platform/ui/view.h"
#include "platform/ui/web_engine.h"

namespace httplib {
class Server;
struct Request;
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
  // Limits on what a client may send.
  static constexpr size_t kMaxTarget = 2048;       // bytes of the request target
  static constexpr size_t kMaxHeaderBytes = 8192;  // all header names and values
  static constexpr size_t kMaxHeaders = 64;
  static constexpr size_t kMaxBody = 64 * 1024;

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

  // The tree as the top page receives it (JSON); for tests.
  std::string treeText() const;

  // WebEngine.
  void viewDidAddSubview(View& superview, View& subview) override;
  void viewDidRemoveFromSuperview(View& view, View& oldSuperview) override;
  void viewDidChangeFrame(View& view) override;
  void webViewWillLoad(WebView& webView, const std::string& url) override;
  void openURL(const std::string& url) override;

 private:
  struct Loaded {
    std::weak_ptr<WebView> view;
    uint64_t load = 0;  // counts the main-frame loads of the view
    bool finished = false;
    // What the view was asked to load. The browser is shown this, never where an outside
    // page ended: that address may carry the sign-in's access token.
    std::string requested;
  };

  explicit BrowserEngine(BrowserEngineOptions options);
  void route();

  // Main thread.
  void publishTree();
  json::Value describe(const View& view) const;
  std::shared_ptr<WebView> webView(uint64_t id);

  // The server's threads. Each returns the HTTP status to answer with.
  int admit(const httplib::Request& req, httplib::Response& res) const;
  // Whether `given` is the live ticket; it is used up if so.
  bool takeTicket(std::string_view given) const;
  int serveResource(uint64_t id, std::string_view rawPath, httplib::Response& res);
  int callMethod(uint64_t id, const std::string& method, httplib::Response& res);
  int newWindow(uint64_t id, const std::string& body, httplib::Response& res);
  int finishLoad(uint64_t id, std::string_view query, const std::string& body);
  int resize(const std::string& body);
  // Waits for something to tell the top page; false when the engine stops.
  bool nextEvent(uint64_t& sentVersion, size_t& sentOpened, std::string& message);

  const BrowserEngineOptions options_;
  std::string folder_;  // canonical resource folder
  std::string secret_;
  int port_ = 0;
  std::unique_ptr<httplib::Server> server_;
  std::thread listener_;
  std::atomic<bool> listenerDone_{false};

  // Main thread only.
  std::weak_ptr<View> root_;
  std::map<uint64_t, Loaded> webViews_;
  std::function<void(Rect)> resizeHandler_;
  bool stopped_ = false;

  mutable Mutex mu_;
  std::condition_variable_any changed_;  // tree, opened addresses or stopping
  std::string tree_ OVRA_GUARDED_BY(mu_);
  uint64_t treeVersion_ OVRA_GUARDED_BY(mu_) = 0;
  std::vector<std::string> opened_ OVRA_GUARDED_BY(mu_);  // addresses for the top page
  bool stopping_ OVRA_GUARDED_BY(mu_) = false;
  mutable std::string ticket_ OVRA_GUARDED_BY(mu_);  // empty once used
  std::chrono::steady_clock::time_point ticketExpires_ OVRA_GUARDED_BY(mu_);
};

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BROWSER_BROWSER_ENGINE_H_

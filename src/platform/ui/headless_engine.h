// HeadlessEngine: a web engine that draws nothing. It records every main-frame load and
// every address given to the workspace, and lets its user do what a page or a person
// would: finish loads, follow a link, call a method of a window script object, ask for a
// new window. Tests and the host's --headless mode read what is shown through it.
//
// Ownership: it keeps loaded web views weakly, so a view that is gone is skipped. Threads:
// main thread only, like the views.
#ifndef OVRA_PLATFORM_UI_HEADLESS_ENGINE_H_
#define OVRA_PLATFORM_UI_HEADLESS_ENGINE_H_

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/view.h"
#include "platform/ui/web_engine.h"

namespace ovra::platform {

class HeadlessEngine : public WebEngine {
 public:
  struct Load {
    std::weak_ptr<WebView> webView;
    std::string url;
    std::string resource;  // the URL's last path component
    bool finished = false;
  };

  void webViewWillLoad(WebView& webView, const std::string& url) override;
  void openURL(const std::string& url) override;

  // Every main-frame load asked for, in order.
  const std::vector<Load>& loads() const { return loads_; }
  // The resource names of those loads, in order.
  std::vector<std::string> loadedResources() const;
  // The resource that the last load asked for, or "" before any load.
  std::string lastLoadedResource() const;
  // The web view of the latest load of `resource` that still exists.
  std::shared_ptr<WebView> webViewShowing(const std::string& resource) const;
  // Addresses given to the workspace, in order.
  const std::vector<std::string>& openedURLs() const { return openedURLs_; }

  // Finishes every load not yet finished whose web view still exists, telling each
  // view's frame-load delegate. Returns how many were finished.
  size_t finishLoads();
  // The page in `webView` follows a link to `url` in its own frame: the main frame moves
  // there and the load finishes.
  void navigate(WebView& webView, const std::string& url);
  // The page's script calls `object.method()` with no arguments, where `object` is a
  // property of the window script object.
  ScriptCallResult callScript(WebView& webView, const std::string& object,
                              const std::string& method);
  // The page asks for a new window showing `url`: the policy delegate decides; without
  // one the request is used.
  PolicyDecision requestNewWindow(WebView& webView, const std::string& url,
                                  const std::string& frameName);

  // Told of every load as it is asked for (the host prints them).
  void setLoadObserver(std::function<void(const Load&)> observer) {
    loadObserver_ = std::move(observer);
  }

  // The web views in the tree under `root`, back to front (depth first).
  static std::vector<std::shared_ptr<WebView>> webViewsIn(const View& root);

 private:
  std::vector<Load> loads_;
  std::vector<std::string> openedURLs_;
  std::function<void(const Load&)> loadObserver_;
};

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_UI_HEADLESS_ENGINE_H_

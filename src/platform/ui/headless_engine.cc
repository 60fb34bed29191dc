#include "platform/ui/headless_engine.h"

#include "platform/base/url_escape.h"

namespace ovra::platform {
namespace {

void collectWebViews(const View& view, std::vector<std::shared_ptr<WebView>>& out) {
  for (const std::shared_ptr<View>& sub : view.subviews()) {
    if (auto web = std::dynamic_pointer_cast<WebView>(sub)) out.push_back(web);
    collectWebViews(*sub, out);
  }
}

}  // namespace

void HeadlessEngine::webViewWillLoad(WebView& webView, const std::string& url) {
  std::weak_ptr<WebView> weak = std::static_pointer_cast<WebView>(webView.shared_from_this());
  loads_.push_back(Load{std::move(weak), url, lastPathComponentOfURL(url), false});
  if (loadObserver_) loadObserver_(loads_.back());
}

void HeadlessEngine::openURL(const std::string& url) { openedURLs_.push_back(url); }

std::vector<std::string> HeadlessEngine::loadedResources() const {
  std::vector<std::string> names;
  for (const Load& load : loads_) names.push_back(load.resource);
  return names;
}

std::string HeadlessEngine::lastLoadedResource() const {
  return loads_.empty() ? std::string() : loads_.back().resource;
}

std::shared_ptr<WebView> HeadlessEngine::webViewShowing(const std::string& resource) const {
  for (auto it = loads_.rbegin(); it != loads_.rend(); ++it) {
    if (it->resource != resource) continue;
    if (auto view = it->webView.lock()) return view;
  }
  return nullptr;
}

size_t HeadlessEngine::finishLoads() {
  size_t finished = 0;
  // A delegate may start new loads while we go; index rather than iterate.
  for (size_t i = 0; i < loads_.size(); ++i) {
    if (loads_[i].finished) continue;
    loads_[i].finished = true;
    std::shared_ptr<WebView> view = loads_[i].webView.lock();
    if (!view) continue;
    ++finished;
    view->engineDidFinishLoad();
  }
  return finished;
}

void HeadlessEngine::navigate(WebView& webView, const std::string& url) {
  std::weak_ptr<WebView> weak = std::static_pointer_cast<WebView>(webView.shared_from_this());
  loads_.push_back(Load{weak, url, lastPathComponentOfURL(url), true});
  if (loadObserver_) loadObserver_(loads_.back());
  webView.engineDidNavigate(url);
  webView.engineDidFinishLoad();
}

ScriptCallResult HeadlessEngine::callScript(WebView& webView, const std::string& object,
                                            const std::string& method) {
  return callWindowScriptMethod(webView, object, method);
}

PolicyDecision HeadlessEngine::requestNewWindow(WebView& webView, const std::string& url,
                                                const std::string& frameName) {
  return decideNewWindow(webView, url, frameName);
}

std::vector<std::shared_ptr<WebView>> HeadlessEngine::webViewsIn(const View& root) {
  std::vector<std::shared_ptr<WebView>> out;
  collectWebViews(root, out);
  return out;
}

}  // namespace ovra::platform

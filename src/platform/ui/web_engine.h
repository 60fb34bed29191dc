// The web engine seam: views record what they are asked and report every change here, so
// that one engine draws them. The headless engine (headless_engine.h) keeps the record in
// memory for tests and --headless; a browser engine can follow the same calls and draw
// the view tree live.
//
// Ownership: the process holds one current engine (shared). Threads: the views report on
// the main thread only, and the engine calls views back on the main thread only.
#ifndef OVRA_PLATFORM_UI_WEB_ENGINE_H_
#define OVRA_PLATFORM_UI_WEB_ENGINE_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/view.h"

namespace ovra::platform {

class WebEngine {
 public:
  virtual ~WebEngine() = default;

  // The view tree changed: a subview was added on top, a view left its superview, or a
  // frame or autoresizing mask changed.
  virtual void viewDidAddSubview(View& /*superview*/, View& /*subview*/) {}
  virtual void viewDidRemoveFromSuperview(View& /*view*/, View& /*oldSuperview*/) {}
  virtual void viewDidChangeFrame(View& /*view*/) {}

  // A web view starts loading `url` into its main frame. The engine later tells the view
  // (WebView::engineDidNavigate / engineDidFinishLoad) what happened.
  virtual void webViewWillLoad(WebView& webView, const std::string& url) = 0;
  // A named property of the web view's window script object was set.
  virtual void webViewDidSetScriptValue(WebView& /*webView*/, const std::string& /*name*/) {}

  // The workspace asks to open `url` in the user's default browser.
  virtual void openURL(const std::string& url) = 0;
};

// The outcome of a page script's call: the text it returned (nothing for a method
// without a result), or why the script could not make the call.
struct ScriptCallResult {
  std::optional<std::string> value;
  std::optional<std::string> error;
  bool ok() const { return !error.has_value(); }
};

// The methods a page finds on `object`: those it lists and does not exclude, in its order.
std::vector<std::string> scriptMethodsOf(const ScriptObject& object);

// What every engine does when a page of `webView` calls `object.method()` with no
// arguments, `object` being a property of the window script object: a method the object
// does not list, or excludes, is not a function. Main thread only.
ScriptCallResult callWindowScriptMethod(WebView& webView, const std::string& object,
                                        const std::string& method);

// What every engine does when a page of `webView` asks for a new window showing `url`:
// the policy delegate decides; without one the request is used. Main thread only.
PolicyDecision decideNewWindow(WebView& webView, const std::string& url,
                               const std::string& frameName);

// The engine every view reports to. Until one is set, a headless engine is used.
std::shared_ptr<WebEngine> webEngine();
void setWebEngine(std::shared_ptr<WebEngine> engine);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_UI_WEB_ENGINE_H_

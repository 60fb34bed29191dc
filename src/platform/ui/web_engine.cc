#include "platform/ui/web_engine.h"

#include <algorithm>

#include "platform/base/thread_annotations.h"
#include "platform/ui/headless_engine.h"

namespace ovra::platform {
namespace {

Guarded<std::shared_ptr<WebEngine>>& current() {
  static Guarded<std::shared_ptr<WebEngine>> engine;
  return engine;
}

}  // namespace

std::shared_ptr<WebEngine> webEngine() {
  auto& c = current();
  MutexLock lock(c.mu);
  if (!c.value) c.value = std::make_shared<HeadlessEngine>();
  return c.value;
}

void setWebEngine(std::shared_ptr<WebEngine> engine) {
  auto& c = current();
  MutexLock lock(c.mu);
  c.value = std::move(engine);
}

std::vector<std::string> scriptMethodsOf(const ScriptObject& object) {
  std::vector<std::string> methods = object.webScriptMethods();
  std::erase_if(methods,
                [&](const std::string& m) { return object.isSelectorExcludedFromWebScript(m); });
  return methods;
}

ScriptCallResult callWindowScriptMethod(WebView& webView, const std::string& object,
                                        const std::string& method) {
  std::shared_ptr<ScriptObject> target = webView.windowScriptValue(object);
  if (!target) return ScriptCallResult{std::nullopt, "window." + object + " is undefined"};
  const std::vector<std::string> listed = target->webScriptMethods();
  if (std::find(listed.begin(), listed.end(), method) == listed.end() ||
      target->isSelectorExcludedFromWebScript(method)) {
    return ScriptCallResult{std::nullopt, object + "." + method + " is not a function"};
  }
  return ScriptCallResult{target->invokeFromWebScript(method), std::nullopt};
}

PolicyDecision decideNewWindow(WebView& webView, const std::string& url,
                               const std::string& frameName) {
  std::shared_ptr<PolicyDelegate> delegate = webView.policyDelegate();
  if (!delegate) return PolicyDecision::kUse;
  PolicyDecisionListener listener;
  delegate->decidePolicyForNewWindowAction(webView, url, frameName, listener);
  return listener.decision();
}

}  // namespace ovra::platform

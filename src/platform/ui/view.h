// The view stand-ins: View (frame, autoresizing mask, subviews), SplitView and WebView
// (main-frame loads, frame-load and policy delegates, the window script object). Views
// only record what they are asked; the current web engine (web_engine.h) is told of every
// change and draws them, in a browser or in memory for tests and --headless.
//
// Ownership: a superview owns its subviews (shared_ptr); a view knows its superview
// weakly. Delegates are not owned (weak_ptr), as desktop delegates are not retained; the
// window script object owns the objects set on it. Threads: main thread only.
#ifndef OVRA_PLATFORM_UI_VIEW_H_
#define OVRA_PLATFORM_UI_VIEW_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ui/geometry.h"

namespace ovra::platform {

class WebView;

// A key press as the view tree receives it.
struct KeyEvent {
  std::string characters;
  unsigned keyCode = 0;
};

class View : public std::enable_shared_from_this<View> {
 public:
  static std::shared_ptr<View> create(Rect frame);
  // Views live and die on the main thread; see viewsReleasedOffMainThread().
  virtual ~View();

  Rect frame() const { return frame_; }
  void setFrame(Rect frame);
  Rect bounds() const { return Rect{0, 0, frame_.width, frame_.height}; }
  unsigned autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(unsigned mask);
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool on) { autoresizesSubviews_ = on; }

  void addSubview(std::shared_ptr<View> view);  // on top of the others
  void removeFromSuperview();
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  std::shared_ptr<View> superview() const { return superview_.lock(); }
  void setNeedsDisplay(bool needs) { needsDisplay_ = needs; }
  bool needsDisplay() const { return needsDisplay_; }

  // Drawing and keyboard handling. A plain view is transparent, draws nothing, refuses
  // the keyboard focus and hands a key press on to its superview (the next responder).
  virtual bool isOpaque() const { return false; }
  virtual void drawRect(Rect /*dirty*/) {}
  virtual bool acceptsFirstResponder() const { return false; }
  virtual bool becomeFirstResponder() { return true; }
  virtual bool resignFirstResponder() { return true; }
  virtual void keyDown(const KeyEvent& event);

  // "View", "SplitView", "WebView" or a subclass's own name.
  virtual std::string className() const { return "View"; }
  // A number unique among the views of this process, for the web engine.
  uint64_t id() const { return id_; }

 protected:
  explicit View(Rect frame);
  // Called by setFrame when this view resizes its subviews automatically: moves and sizes
  // each subview by its autoresizing mask, sharing the change among its flexible parts.
  virtual void resizeSubviewsWithOldSize(Rect oldFrame);

 private:
  Rect frame_;
  unsigned autoresizingMask_ = 0;
  bool autoresizesSubviews_ = false;
  bool needsDisplay_ = false;
  std::vector<std::shared_ptr<View>> subviews_;
  std::weak_ptr<View> superview_;
  uint64_t id_;
};

class SplitView : public View {
 public:
  static std::shared_ptr<SplitView> create(Rect frame);
  bool isVertical() const { return vertical_; }
  void setVertical(bool vertical) { vertical_ = vertical; }
  int dividerStyle() const { return dividerStyle_; }
  void setDividerStyle(int style) { dividerStyle_ = style; }
  std::string className() const override { return "SplitView"; }

 protected:
  // Panes keep their share of the length along the divider and fill the other way.
  void resizeSubviewsWithOldSize(Rect oldFrame) override;

 private:
  using View::View;
  bool vertical_ = false;
  int dividerStyle_ = 0;
};

// Told when a frame of a web view has finished loading.
class FrameLoadDelegate {
 public:
  virtual ~FrameLoadDelegate() = default;
  virtual void webViewDidFinishLoadForFrame(WebView& webView) = 0;
};

// The answer to a new-window request.
enum class PolicyDecision { kUndecided, kUse, kIgnore };

class PolicyDecisionListener {
 public:
  void use() { decision_ = PolicyDecision::kUse; }
  void ignore() { decision_ = PolicyDecision::kIgnore; }
  PolicyDecision decision() const { return decision_; }

 private:
  PolicyDecision decision_ = PolicyDecision::kUndecided;
};

// Asked when a page of a web view wants a new window (a link with a target,
// window.open).
class PolicyDelegate {
 public:
  virtual ~PolicyDelegate() = default;
  virtual void decidePolicyForNewWindowAction(WebView& webView, const std::string& requestURL,
                                              const std::string& newFrameName,
                                              PolicyDecisionListener& listener) = 0;
};

// An object a page's script may call: a method is callable when the object lists it and
// does not exclude it; results are texts (script strings) or nothing.
class ScriptObject {
 public:
  virtual ~ScriptObject() = default;
  // Every method the object has for scripts, as the runtime would list them; the engines
  // offer a page those that are not excluded (scriptMethodsOf in web_engine.h).
  virtual std::vector<std::string> webScriptMethods() const = 0;
  virtual bool isSelectorExcludedFromWebScript(std::string_view method) const = 0;
  // Runs an exposed method with no arguments; called on the main thread only.
  virtual std::optional<std::string> invokeFromWebScript(std::string_view method) = 0;
};

class WebView : public View {
 public:
  static std::shared_ptr<WebView> create(Rect frame);
  ~WebView() override;

  // Starts loading `url` into the main frame.
  void loadURL(const std::string& url);
  // The main frame's current address ("" before the first load).
  const std::string& mainFrameURL() const { return mainFrameURL_; }

  void setFrameLoadDelegate(std::weak_ptr<FrameLoadDelegate> d) { frameLoadDelegate_ = d; }
  std::shared_ptr<FrameLoadDelegate> frameLoadDelegate() const { return frameLoadDelegate_.lock(); }
  void setPolicyDelegate(std::weak_ptr<PolicyDelegate> d) { policyDelegate_ = d; }
  std::shared_ptr<PolicyDelegate> policyDelegate() const { return policyDelegate_.lock(); }

  // The window script object's named properties.
  void setWindowScriptValue(const std::string& name, std::shared_ptr<ScriptObject> value);
  std::shared_ptr<ScriptObject> windowScriptValue(const std::string& name) const;

  std::string className() const override { return "WebView"; }

  // Called by the web engine: the main frame is now at `url` (navigation), or a frame
  // finished loading (tells the frame-load delegate).
  void engineDidNavigate(const std::string& url);
  void engineDidFinishLoad();

 private:
  using View::View;
  std::string mainFrameURL_;
  std::weak_ptr<FrameLoadDelegate> frameLoadDelegate_;
  std::weak_ptr<PolicyDelegate> policyDelegate_;
  std::vector<std::pair<std::string, std::shared_ptr<ScriptObject>>> scriptValues_;
};

// How many views have been destroyed on a thread other than the main thread since the
// process started; for tests, which expect none.
size_t viewsReleasedOffMainThread();

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_UI_VIEW_H_

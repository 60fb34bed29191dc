#include "platform/ui/view.h"

#include <algorithm>
#include <atomic>

#include "platform/base/main_queue.h"
#include "platform/ui/web_engine.h"

namespace ovra::platform {
namespace {

std::atomic<uint64_t> nextViewId{1};
std::atomic<size_t> releasedOffMainThread{0};

// Shares `delta` among the flexible parts of one axis (leading margin, length, trailing
// margin) in proportion to their current sizes, or evenly when they are all zero.
// Returns the new origin and length.
std::pair<double, double> autoresizeAxis(double origin, double length, double superLength,
                                         double delta, bool leadingFlexible, bool lengthFlexible,
                                         bool trailingFlexible) {
  const double trailing = superLength - origin - length;
  double parts[3] = {leadingFlexible ? std::max(origin, 0.0) : 0,
                     lengthFlexible ? std::max(length, 0.0) : 0,
                     trailingFlexible ? std::max(trailing, 0.0) : 0};
  const bool flexible[3] = {leadingFlexible, lengthFlexible, trailingFlexible};
  const int count = int(leadingFlexible) + int(lengthFlexible) + int(trailingFlexible);
  if (count == 0) return {origin, length};
  const double total = parts[0] + parts[1] + parts[2];
  double share[3];
  for (int i = 0; i < 3; ++i) {
    if (!flexible[i]) {
      share[i] = 0;
    } else {
      share[i] = total > 0 ? delta * parts[i] / total : delta / count;
    }
  }
  return {origin + share[0], std::max(0.0, length + share[1])};
}

}  // namespace

View::View(Rect frame) : frame_(frame), id_(nextViewId.fetch_add(1)) {}

View::~View() {
  if (!isMainThread()) releasedOffMainThread.fetch_add(1, std::memory_order_relaxed);
}

std::shared_ptr<View> View::create(Rect frame) { return std::shared_ptr<View>(new View(frame)); }

void View::setFrame(Rect frame) {
  const Rect old = frame_;
  frame_ = frame;
  if (autoresizesSubviews_ && (old.width != frame.width || old.height != frame.height)) {
    resizeSubviewsWithOldSize(old);
  }
  webEngine()->viewDidChangeFrame(*this);
}

void View::setAutoresizingMask(unsigned mask) {
  autoresizingMask_ = mask;
  webEngine()->viewDidChangeFrame(*this);
}

void View::resizeSubviewsWithOldSize(Rect oldFrame) {
  const double dw = frame_.width - oldFrame.width;
  const double dh = frame_.height - oldFrame.height;
  for (const std::shared_ptr<View>& sub : subviews_) {
    const unsigned m = sub->autoresizingMask();
    Rect f = sub->frame();
    auto [x, w] = autoresizeAxis(f.x, f.width, oldFrame.width, dw, m & kViewMinXMargin,
                                 m & kViewWidthSizable, m & kViewMaxXMargin);
    auto [y, h] = autoresizeAxis(f.y, f.height, oldFrame.height, dh, m & kViewMinYMargin,
                                 m & kViewHeightSizable, m & kViewMaxYMargin);
    sub->setFrame(Rect{x, y, w, h});
  }
}

void View::addSubview(std::shared_ptr<View> view) {
  if (!view || view.get() == this) return;
  view->removeFromSuperview();
  view->superview_ = weak_from_this();
  subviews_.push_back(view);
  webEngine()->viewDidAddSubview(*this, *view);
}

void View::removeFromSuperview() {
  std::shared_ptr<View> parent = superview_.lock();
  superview_.reset();
  if (!parent) return;
  // Keep this view alive until the engine has heard of the removal.
  std::shared_ptr<View> self = shared_from_this();
  std::erase_if(parent->subviews_,
                [this](const std::shared_ptr<View>& v) { return v.get() == this; });
  webEngine()->viewDidRemoveFromSuperview(*this, *parent);
}

void View::keyDown(const KeyEvent& event) {
  if (std::shared_ptr<View> next = superview()) next->keyDown(event);
}

std::shared_ptr<SplitView> SplitView::create(Rect frame) {
  return std::shared_ptr<SplitView>(new SplitView(frame));
}

void SplitView::resizeSubviewsWithOldSize(Rect oldFrame) {
  const double oldLength = vertical_ ? oldFrame.width : oldFrame.height;
  const double newLength = vertical_ ? frame().width : frame().height;
  const size_t n = subviews().size();
  if (n == 0) return;
  double position = 0;
  for (const std::shared_ptr<View>& pane : subviews()) {
    const Rect f = pane->frame();
    const double paneLength = vertical_ ? f.width : f.height;
    const double length =
        oldLength > 0 ? paneLength * newLength / oldLength : newLength / static_cast<double>(n);
    if (vertical_) {
      pane->setFrame(Rect{position, 0, length, frame().height});
    } else {
      pane->setFrame(Rect{0, position, frame().width, length});
    }
    position += length;
  }
}

std::shared_ptr<WebView> WebView::create(Rect frame) {
  return std::shared_ptr<WebView>(new WebView(frame));
}

WebView::~WebView() = default;

void WebView::loadURL(const std::string& url) {
  mainFrameURL_ = url;
  webEngine()->webViewWillLoad(*this, url);
}

void WebView::setWindowScriptValue(const std::string& name, std::shared_ptr<ScriptObject> value) {
  auto it = std::find_if(scriptValues_.begin(), scriptValues_.end(),
                         [&](const auto& entry) { return entry.first == name; });
  if (it != scriptValues_.end()) {
    it->second = std::move(value);
  } else {
    scriptValues_.emplace_back(name, std::move(value));
  }
  webEngine()->webViewDidSetScriptValue(*this, name);
}

std::shared_ptr<ScriptObject> WebView::windowScriptValue(const std::string& name) const {
  for (const auto& [key, value] : scriptValues_) {
    if (key == name) return value;
  }
  return nullptr;
}

void WebView::engineDidNavigate(const std::string& url) { mainFrameURL_ = url; }

void WebView::engineDidFinishLoad() {
  if (std::shared_ptr<FrameLoadDelegate> delegate = frameLoadDelegate()) {
    delegate->webViewDidFinishLoadForFrame(*this);
  }
}

size_t viewsReleasedOffMainThread() { return releasedOffMainThread.load(); }

}  // namespace ovra::platform

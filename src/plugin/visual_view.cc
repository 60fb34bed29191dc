#include "plugin/visual_view.h"

#include <new>

#include "platform/base/log.h"

namespace ovra::plugin {
namespace {

constexpr unsigned kFillMask = platform::kViewWidthSizable | platform::kViewHeightSizable;

std::shared_ptr<controller::AppController>& app() {  // main thread only
  static std::shared_ptr<controller::AppController> controller;
  return controller;
}

platform::Rect boundsOrZero(const std::shared_ptr<platform::View>& view) {
  return view ? view->bounds() : platform::Rect{};
}

}  // namespace

std::shared_ptr<OvraVisualView> OvraVisualView::create(platform::Rect frame) {
  return std::shared_ptr<OvraVisualView>(new (std::nothrow) OvraVisualView(frame));
}

OSStatus ActivateVisual(VisualPluginData* data, platform::View* view, OptionBits options) {
  if (!data) return kUnimpErr;
  // The host's view is shared with the host; one it does not share counts as absent.
  data->hostView = view ? view->weak_from_this().lock() : nullptr;
  data->hostRect = boundsOrZero(data->hostView);
  data->hostOptions = options;
  std::shared_ptr<OvraVisualView> visual = OvraVisualView::create(data->hostRect);
  if (!visual) {
    data->visualView = nullptr;
    return kMemFullErr;
  }
  data->visualView = visual;
  visual->setAutoresizingMask(kFillMask);
  visual->setVisualPluginData(data);
  if (data->hostView) data->hostView->addSubview(visual);
  InitOvra(visual);
  return kNoErr;
}

OSStatus DeactivateVisual(VisualPluginData* data) {
  if (data) {
    if (data->visualView) {
      data->visualView->removeFromSuperview();
      data->visualView->setVisualPluginData(nullptr);
    }
    data->visualView = nullptr;
    data->hostView = nullptr;
    data->hostRect = platform::Rect::null();
  }
  FinitOvra();
  return kNoErr;
}

OSStatus MoveVisual(VisualPluginData* data, OptionBits newOptions) {
  if (!data) return kNoErr;
  data->hostRect = boundsOrZero(data->hostView);
  data->hostOptions = newOptions;
  return kNoErr;
}

OSStatus ResizeVisual(VisualPluginData* data) {
  if (data) data->hostRect = boundsOrZero(data->hostView);
  return kNoErr;
}

void InvalidateVisual(VisualPluginData* data) {
  if (data && data->visualView) data->visualView->setNeedsDisplay(true);
}

OSStatus ConfigureVisual(VisualPluginData* /*data*/) { return kNoErr; }

void GetVisualName(UnicodeStr255 name) {
  constexpr size_t kLength = sizeof(kOvraVisualName) / sizeof(char16_t) - 1;
  name[0] = kLength;
  for (size_t i = 0; i < kLength; ++i) name[i + 1] = kOvraVisualName[i];
}

OptionBits GetVisualOptions() { return kOvraVisualOptions; }

controller::AppController* InitOvra(std::shared_ptr<platform::View> view) {
  app() = controller::AppController::alloc();
  std::function<void()> done = [view] { showFlashOvra(view); };
  return app()->init(view, std::move(done));
}

void FinitOvra() {
  if (app()) app()->finit();
  app() = nullptr;
}

std::shared_ptr<platform::WebView> createWebView(platform::Rect frame) {
  std::shared_ptr<platform::WebView> webView = platform::WebView::create(frame);
  webView->setAutoresizingMask(kFillMask);
  return webView;
}

void showFlashOvra(const std::shared_ptr<platform::View>& view) {
  // Without a controller there is no page to show and nothing to answer it.
  const std::shared_ptr<controller::AppController> controller = app();
  if (!controller) return;
  std::shared_ptr<platform::WebView> webView =
      createWebView(view ? view->frame() : platform::Rect{});
  if (view) view->addSubview(webView);
  webView->setFrameLoadDelegate(controller);
  webView->setWindowScriptValue("appController", controller);
  const std::string url = controller->getResourceURL("main.html");
  platform::log("load request " + url);
  webView->loadURL(url);
}

const std::shared_ptr<controller::AppController>& currentApp() { return app(); }

}  // namespace ovra::plugin

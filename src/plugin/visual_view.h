// The visualizer's view: OvraVisualView sits inside the host's view and holds the pages;
// the view functions keep the instance record in step with the host's messages, and the
// glue brings up one AppController per activation.
//
// Ownership: the record owns the visual view while active; `app` holds the controller of
// the latest activation until deactivation. Threads: the host's main thread only.
#ifndef OVRA_PLUGIN_VISUAL_VIEW_H_
#define OVRA_PLUGIN_VISUAL_VIEW_H_

#include <memory>

#include "controller/app_controller.h"
#include "platform/ui/view.h"
#include "plugin/visual_plugin.h"

namespace ovra::plugin {

inline constexpr OptionBits kOvraVisualOptions = 0x2E;
inline constexpr char16_t kOvraVisualName[] = u"Ovra";

class OvraVisualView : public platform::View {
 public:
  // Null when the view cannot be made.
  static std::shared_ptr<OvraVisualView> create(platform::Rect frame);

  bool isOpaque() const override { return true; }
  void drawRect(platform::Rect /*dirty*/) override {}
  bool acceptsFirstResponder() const override { return true; }
  bool becomeFirstResponder() override { return true; }
  bool resignFirstResponder() override { return true; }
  void keyDown(const platform::KeyEvent& event) override { View::keyDown(event); }
  std::string className() const override { return "OvraVisualView"; }

  VisualPluginData* visualPluginData() const { return visualPluginData_; }
  void setVisualPluginData(VisualPluginData* data) { visualPluginData_ = data; }

 private:
  using View::View;
  VisualPluginData* visualPluginData_ = nullptr;  // not owned
};

OSStatus ActivateVisual(VisualPluginData* data, platform::View* view, OptionBits options);
OSStatus DeactivateVisual(VisualPluginData* data);
OSStatus MoveVisual(VisualPluginData* data, OptionBits newOptions);
OSStatus ResizeVisual(VisualPluginData* data);
void InvalidateVisual(VisualPluginData* data);
OSStatus ConfigureVisual(VisualPluginData* data);
void GetVisualName(UnicodeStr255 name);
OptionBits GetVisualOptions();

// The glue between the view and the controller.
controller::AppController* InitOvra(std::shared_ptr<platform::View> view);
void FinitOvra();
void showFlashOvra(const std::shared_ptr<platform::View>& view);
std::shared_ptr<platform::WebView> createWebView(platform::Rect frame);
// The controller of the latest activation, or null.
const std::shared_ptr<controller::AppController>& currentApp();

}  // namespace ovra::plugin

#endif  // OVRA_PLUGIN_VISUAL_VIEW_H_

// PluginHost: the media-player side of the plug-in conversation. It loads a bundle's
// module, calls its entry with 'init', takes the registration that arrives through its
// callback procedure, and drives the registered handler for one instance ('init',
// 'Vact', 'Vpls', 'Vfrm', 'Vdct', 'clr '). Pulses follow the rate the handler answers to
// 'Vpls'. Cover-art requests are answered by a later 'Vart' without art.
//
// Ownership: owns the loaded module (closed on destruction, after 'clr ' to the entry)
// and the instance's reference value until 'clr '. Threads: main thread only.
#ifndef OVRA_HOST_PLUGIN_HOST_H_
#define OVRA_HOST_PLUGIN_HOST_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"
#include "platform/base/main_queue.h"
#include "platform/ui/view.h"
#include "plugin/host_interface.h"

namespace ovra::host {

class PluginHost {
 public:
  // Loads `bundlePath`/Contents/lib/ovra.so and registers its visual plug-in; fails when
  // the module cannot be loaded or registers nothing.
  static base::Result<std::unique_ptr<PluginHost>> load(const std::string& bundlePath);
  // The plug-in module inside a bundle: `bundlePath`/Contents/lib/ovra.so.
  static std::string modulePath(const std::string& bundlePath) {
    return bundlePath + "/Contents/lib/ovra.so";
  }
  // As load(), for an entry that is already in this process (tests).
  static base::Result<std::unique_ptr<PluginHost>> attach(plugin::PluginProcPtr entry);
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  const plugin::PlayerRegisterVisualPluginMessage& registration() const { return registration_; }

  // Messages to the handler; each returns the handler's status.
  plugin::OSStatus initInstance();
  plugin::OSStatus activate(platform::View* view);
  // Sends 'Vpls' with the rate last answered (0 before any answer) and keeps the answer.
  plugin::OSStatus pulse();
  // 'Vfrm': the visualizer area has a new frame.
  plugin::OSStatus frameChanged();
  plugin::OSStatus deactivate();
  plugin::OSStatus cleanupInstance();

  // The time between pulses: one second divided by the rate (pulses per second) that the
  // handler last answered, rounded to whole milliseconds. Before any answer, and for an
  // answer of 0 or above 1000 (faster than a millisecond timer can keep), the registered
  // time between data, or 10 ms when that is 0.
  std::chrono::milliseconds pulseInterval() const;
  // Main thread only. Pulses from the main queue until stopPulses(), re-timed whenever
  // the answered rate changes the interval.
  void startPulses();
  void stopPulses();

 private:
  PluginHost() = default;
  // Calls `entry` with 'init' and takes the registration; fails if none arrives.
  base::Result<> registerWith(plugin::PluginProcPtr entry);
  static plugin::OSStatus hostProc(void* cookie, plugin::OSType message,
                                   plugin::PlayerMessageInfo* info);
  plugin::OSStatus send(plugin::OSType message, plugin::VisualPluginMessageInfo* info);

  void* module_ = nullptr;
  plugin::PluginProcPtr entry_ = nullptr;
  bool registered_ = false;
  plugin::PlayerRegisterVisualPluginMessage registration_{};
  void* refCon_ = nullptr;
  bool instanceLive_ = false;
  uint32_t answeredPulseRate_ = 0;  // pulses per second; 0 until the handler answers
  std::unique_ptr<platform::Timer> pulses_;
  std::chrono::milliseconds pulsesInterval_{0};  // the interval pulses_ runs at
  // Queued 'Vart' answers check this before they run.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ovra::host

#endif  // OVRA_HOST_PLUGIN_HOST_H_

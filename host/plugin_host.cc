#include "plugin_host.h"

#include <dlfcn.h>

#include <cstring>

#include "platform/base/main_queue.h"

namespace ovra::host {

using plugin::OSStatus;

base::Result<std::unique_ptr<PluginHost>> PluginHost::load(const std::string& bundlePath) {
  const std::string module = modulePath(bundlePath);
  std::unique_ptr<PluginHost> host(new PluginHost());
  host->module_ = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!host->module_) {
    const char* why = dlerror();
    return base::fail("cannot load the plug-in " + module + ": " + (why ? why : "unknown error"));
  }
  const auto entry =
      reinterpret_cast<plugin::PluginProcPtr>(dlsym(host->module_, "iTunesPluginMainMachO"));
  if (!entry) return base::fail("the plug-in " + module + " has no entry iTunesPluginMainMachO");
  if (base::Result<> registered = host->registerWith(entry); !registered) {
    return base::fail(registered.error());
  }
  return host;
}

base::Result<std::unique_ptr<PluginHost>> PluginHost::attach(plugin::PluginProcPtr entry) {
  std::unique_ptr<PluginHost> host(new PluginHost());
  if (base::Result<> registered = host->registerWith(entry); !registered) {
    return base::fail(registered.error());
  }
  return host;
}

base::Result<> PluginHost::registerWith(plugin::PluginProcPtr entry) {
  entry_ = entry;
  plugin::PluginMessageInfo info{};
  info.u.initMessage.appCookie = this;
  info.u.initMessage.appProc = &PluginHost::hostProc;
  const OSStatus status = entry_(plugin::kPluginInitMessage, &info, nullptr);
  if (status != plugin::kNoErr || !registered_ || !registration_.handler) {
    return base::fail("the plug-in did not register (status " + std::to_string(status) + ")");
  }
  return {};
}

PluginHost::~PluginHost() {
  stopPulses();
  *alive_ = false;
  if (instanceLive_) cleanupInstance();
  if (entry_) entry_(plugin::kPluginCleanupMessage, nullptr, nullptr);
  if (module_) dlclose(module_);
}

OSStatus PluginHost::hostProc(void* cookie, plugin::OSType message,
                              plugin::PlayerMessageInfo* info) {
  auto* host = static_cast<PluginHost*>(cookie);
  if (!host || !info || info->header.messageInfoSize != plugin::kPlayerMessageInfoSize) {
    return plugin::kUnimpErr;
  }
  if (message == plugin::kPlayerRegisterVisualPluginMessage) {
    std::memcpy(&host->registration_, &info->u.registerVisualPluginMessage,
                sizeof host->registration_);
    host->registered_ = true;
    return plugin::kNoErr;
  }
  if (message == plugin::kPlayerRequestCurrentTrackCoverArtMessage) {
    // Nothing is playing: the answer is a cover-art message without art, sent later.
    platform::performOnMainThread(
        [host, alive = host->alive_] {
          if (!*alive || !host->instanceLive_) return;
          plugin::VisualPluginMessageInfo art{};
          host->send(plugin::kVisualPluginCoverArtMessage, &art);
        },
        false);
    return plugin::kNoErr;
  }
  return plugin::kUnimpErr;
}

OSStatus PluginHost::send(plugin::OSType message, plugin::VisualPluginMessageInfo* info) {
  return registration_.handler(message, info, refCon_);
}

OSStatus PluginHost::initInstance() {
  plugin::VisualPluginMessageInfo info{};
  info.u.initMessage.messageMajorVersion = plugin::kPlayerMessageMajorVersion;
  info.u.initMessage.messageMinorVersion = plugin::kPlayerMessageMinorVersion;
  info.u.initMessage.appCookie = this;
  info.u.initMessage.appProc = &PluginHost::hostProc;
  const OSStatus status = send(plugin::kVisualPluginInitMessage, &info);
  if (status == plugin::kNoErr) {
    refCon_ = info.u.initMessage.refCon;
    instanceLive_ = true;
  }
  return status;
}

OSStatus PluginHost::activate(platform::View* view) {
  plugin::VisualPluginMessageInfo info{};
  info.u.activateMessage.view = view;
  return send(plugin::kVisualPluginActivateMessage, &info);
}

OSStatus PluginHost::pulse() {
  plugin::VisualPluginMessageInfo info{};
  info.u.pulseMessage.newPulseRateInHz = answeredPulseRate_;
  const OSStatus status = send(plugin::kVisualPluginPulseMessage, &info);
  if (status == plugin::kNoErr) answeredPulseRate_ = info.u.pulseMessage.newPulseRateInHz;
  return status;
}

std::chrono::milliseconds PluginHost::pulseInterval() const {
  constexpr uint32_t kMaxPulseRate = 1000;  // one pulse a millisecond
  const uint32_t rate = answeredPulseRate_;
  if (rate > 0 && rate <= kMaxPulseRate) {
    return std::chrono::milliseconds((1000 + rate / 2) / rate);
  }
  const uint32_t registered = registration_.timeBetweenDataInMS;
  return std::chrono::milliseconds(registered ? registered : 10);
}

void PluginHost::startPulses() {
  pulsesInterval_ = pulseInterval();
  // Replacing the timer from inside its own call is safe: the queue holds the call.
  pulses_ = std::make_unique<platform::Timer>(pulsesInterval_, [this] {
    pulse();
    if (pulses_ && pulseInterval() != pulsesInterval_) startPulses();
  });
}

void PluginHost::stopPulses() { pulses_.reset(); }

OSStatus PluginHost::frameChanged() {
  plugin::VisualPluginMessageInfo info{};
  return send(plugin::kVisualPluginFrameChangedMessage, &info);
}

OSStatus PluginHost::deactivate() {
  plugin::VisualPluginMessageInfo info{};
  return send(plugin::kVisualPluginDeactivateMessage, &info);
}

OSStatus PluginHost::cleanupInstance() {
  const OSStatus status = send(plugin::kVisualPluginCleanupMessage, nullptr);
  refCon_ = nullptr;
  instanceLive_ = false;
  return status;
}

}  // namespace ovra::host

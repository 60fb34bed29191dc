// The plug-in's side of the host conversation: the bundle's entry registers one visual
// plug-in ("Ovra"), whose handler keeps one VisualPluginData per instance and turns the
// host's messages into the view work of visual_view.h. The two calls back into the host
// go through its callback procedure with the cookie it gave.
//
// Ownership: the handler allocates the record at 'init' and frees it at 'clr '; the host
// only carries the pointer. Threads: the host's main thread, one message at a time.
#ifndef OVRA_PLUGIN_VISUAL_PLUGIN_H_
#define OVRA_PLUGIN_VISUAL_PLUGIN_H_

#include <cstdint>
#include <memory>

#include "platform/ui/geometry.h"
#include "platform/ui/view.h"
#include "plugin/host_interface.h"

namespace ovra::plugin {

class OvraVisualView;

// Registration values.
inline constexpr OSType kOvraCreator = fourCharCode("hook");
inline constexpr uint32_t kTimeBetweenDataInMS = 10;
inline constexpr uint32_t kWaveformChannels = 2;
inline constexpr uint32_t kSpectrumChannels = 2;
inline constexpr uint32_t kMinimumSize = 64;
inline constexpr uint32_t kPulseRateInHz = 10;
inline constexpr uint32_t kRegisterMinorVersion = 7;

struct VisualPluginData {
  void* hostCookie = nullptr;
  PlayerProcPtr hostProc = nullptr;
  std::shared_ptr<platform::View> hostView;    // the host's view while active
  platform::Rect hostRect;                     // its bounds; null rectangle when inactive
  std::shared_ptr<OvraVisualView> visualView;  // ours, inside hostView
  OptionBits hostOptions = 0;
};

OSStatus RegisterVisualPlugin(PluginMessageInfo* messageInfo);
OSStatus VisualPluginHandler(OSType message, VisualPluginMessageInfo* messageInfo, void* refCon);
void SetNumVersion(NumVersion* version, uint8_t major, uint8_t minorAndBug, uint8_t stage,
                   uint8_t nonRelRev);
OSStatus PlayerRegisterVisualPlugin(void* appCookie, PlayerProcPtr appProc,
                                    PlayerMessageInfo* messageInfo);
OSStatus PlayerRequestCurrentTrackCoverArt(void* appCookie, PlayerProcPtr appProc);

}  // namespace ovra::plugin

#endif  // OVRA_PLUGIN_VISUAL_PLUGIN_H_

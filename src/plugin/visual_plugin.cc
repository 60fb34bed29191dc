#include "plugin/visual_plugin.h"

#include <cstring>
#include <new>

#include "plugin/visual_view.h"

namespace ovra::plugin {
namespace {

void fillHeader(PlayerMessageInfo* info, uint32_t minorVersion) {
  info->header.messageMajorVersion = kPlayerMessageMajorVersion;
  info->header.messageMinorVersion = minorVersion;
  info->header.messageInfoSize = kPlayerMessageInfoSize;
}

void requestCoverArtIfShown(VisualPluginData* data) {
  if (data && data->hostView) PlayerRequestCurrentTrackCoverArt(data->hostCookie, data->hostProc);
}

}  // namespace

void SetNumVersion(NumVersion* version, uint8_t major, uint8_t minorAndBug, uint8_t stage,
                   uint8_t nonRelRev) {
  version->majorRev = major;
  version->minorAndBugRev = minorAndBug;
  version->stage = stage;
  version->nonRelRev = nonRelRev;
}

OSStatus PlayerRegisterVisualPlugin(void* appCookie, PlayerProcPtr appProc,
                                    PlayerMessageInfo* messageInfo) {
  if (!appProc) return kUnimpErr;
  fillHeader(messageInfo, kRegisterMinorVersion);
  return appProc(appCookie, kPlayerRegisterVisualPluginMessage, messageInfo);
}

OSStatus PlayerRequestCurrentTrackCoverArt(void* appCookie, PlayerProcPtr appProc) {
  if (!appProc) return kUnimpErr;
  PlayerMessageInfo info;
  std::memset(&info, 0, sizeof info);
  fillHeader(&info, kPlayerMessageMinorVersion);
  return appProc(appCookie, kPlayerRequestCurrentTrackCoverArtMessage, &info);
}

OSStatus RegisterVisualPlugin(PluginMessageInfo* messageInfo) {
  if (!messageInfo) return kUnimpErr;
  PlayerMessageInfo info;
  std::memset(&info, 0, sizeof info);
  PlayerRegisterVisualPluginMessage& reg = info.u.registerVisualPluginMessage;
  GetVisualName(reg.name);
  reg.options = GetVisualOptions();
  reg.creator = kOvraCreator;
  SetNumVersion(&reg.pluginVersion, 2, 0, kDevelopmentStage, 0);
  reg.handler = VisualPluginHandler;
  reg.registerRefCon = nullptr;
  reg.timeBetweenDataInMS = kTimeBetweenDataInMS;
  reg.numWaveformChannels = kWaveformChannels;
  reg.numSpectrumChannels = kSpectrumChannels;
  reg.minWidth = kMinimumSize;
  reg.minHeight = kMinimumSize;
  reg.maxWidth = 0;
  reg.maxHeight = 0;
  return PlayerRegisterVisualPlugin(messageInfo->u.initMessage.appCookie,
                                    messageInfo->u.initMessage.appProc, &info);
}

OSStatus VisualPluginHandler(OSType message, VisualPluginMessageInfo* messageInfo, void* refCon) {
  auto* data = static_cast<VisualPluginData*>(refCon);
  switch (message) {
    case kVisualPluginInitMessage: {
      if (!messageInfo) return kUnimpErr;
      auto* record = new (std::nothrow) VisualPluginData();
      if (!record) return kMemFullErr;
      record->hostCookie = messageInfo->u.initMessage.appCookie;
      record->hostProc = messageInfo->u.initMessage.appProc;
      messageInfo->u.initMessage.refCon = record;
      return kNoErr;
    }
    case kVisualPluginCleanupMessage:
      delete data;
      return kNoErr;
    case kVisualPluginConfigureMessage:
      return ConfigureVisual(data);
    case kVisualPluginActivateMessage: {
      platform::View* view = messageInfo ? messageInfo->u.activateMessage.view : nullptr;
      const OptionBits options = messageInfo ? messageInfo->u.activateMessage.options : 0;
      const OSStatus status = ActivateVisual(data, view, options);
      if (status != kNoErr) return status;
      requestCoverArtIfShown(data);
      return kNoErr;
    }
    case kVisualPluginDeactivateMessage:
      return DeactivateVisual(data);
    case kVisualPluginWindowChangedMessage:
      return MoveVisual(data, messageInfo ? messageInfo->u.windowChangedMessage.options : 0);
    case kVisualPluginFrameChangedMessage:
      return ResizeVisual(data);
    case kVisualPluginDrawMessage:
      return kNoErr;
    case kVisualPluginPulseMessage:
      if (messageInfo) messageInfo->u.pulseMessage.newPulseRateInHz = kPulseRateInHz;
      InvalidateVisual(data);
      return kNoErr;
    case kVisualPluginPlayMessage:
    case kVisualPluginChangeTrackMessage:
      requestCoverArtIfShown(data);
      InvalidateVisual(data);
      return kNoErr;
    case kVisualPluginStopMessage:
    case kVisualPluginCoverArtMessage:
      InvalidateVisual(data);
      return kNoErr;
    case kVisualPluginIdleMessage:
    case kVisualPluginSetPositionMessage:
    case kVisualPluginDisableMessage:
    case kVisualPluginEnableMessage:
      return kNoErr;
    default:
      return kUnimpErr;
  }
}

}  // namespace ovra::plugin

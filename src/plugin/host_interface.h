// The visual plug-in host interface: what a media-player host and its visual plug-ins
// exchange. The host calls the bundle's entry and then the registered handler with a
// four-character message code and a message record; the plug-in calls back into the
// host through the callback procedure and cookie it was given at 'init', with a player
// message record of 580 bytes (a three-field header and the message's payload).
//
// Records are plain data; pointers in them are not owned by the record. Threads: the
// host sends every message on its main thread, one at a time.
#ifndef OVRA_PLUGIN_HOST_INTERFACE_H_
#define OVRA_PLUGIN_HOST_INTERFACE_H_

#include <cstdint>

namespace ovra::platform {
class View;
}

namespace ovra::plugin {

using OSType = uint32_t;
using OSStatus = int32_t;
using OptionBits = uint32_t;

constexpr OSType fourCharCode(const char (&code)[5]) {
  return (static_cast<OSType>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<OSType>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<OSType>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<OSType>(static_cast<unsigned char>(code[3]));
}

// Statuses.
inline constexpr OSStatus kNoErr = 0;
inline constexpr OSStatus kUnimpErr = -4;      // message not handled
inline constexpr OSStatus kMemFullErr = -108;  // out of memory

// Messages to the bundle's entry.
inline constexpr OSType kPluginInitMessage = fourCharCode("init");
inline constexpr OSType kPluginCleanupMessage = fourCharCode("clr ");

// Messages to a visual plug-in's handler.
inline constexpr OSType kVisualPluginInitMessage = fourCharCode("init");
inline constexpr OSType kVisualPluginCleanupMessage = fourCharCode("clr ");
inline constexpr OSType kVisualPluginConfigureMessage = fourCharCode("cnfg");
inline constexpr OSType kVisualPluginActivateMessage = fourCharCode("Vact");
inline constexpr OSType kVisualPluginDeactivateMessage = fourCharCode("Vdct");
inline constexpr OSType kVisualPluginWindowChangedMessage = fourCharCode("Vmov");
inline constexpr OSType kVisualPluginFrameChangedMessage = fourCharCode("Vfrm");
inline constexpr OSType kVisualPluginDrawMessage = fourCharCode("Vdrw");
inline constexpr OSType kVisualPluginPulseMessage = fourCharCode("Vpls");
inline constexpr OSType kVisualPluginPlayMessage = fourCharCode("Vply");
inline constexpr OSType kVisualPluginChangeTrackMessage = fourCharCode("Ctrk");
inline constexpr OSType kVisualPluginStopMessage = fourCharCode("vstp");
inline constexpr OSType kVisualPluginCoverArtMessage = fourCharCode("Vart");
inline constexpr OSType kVisualPluginIdleMessage = fourCharCode("null");
inline constexpr OSType kVisualPluginSetPositionMessage = fourCharCode("setp");
inline constexpr OSType kVisualPluginDisableMessage = fourCharCode("voff");
inline constexpr OSType kVisualPluginEnableMessage = fourCharCode("von ");

// Calls into the host.
inline constexpr OSType kPlayerRegisterVisualPluginMessage = fourCharCode("regv");
inline constexpr OSType kPlayerRequestCurrentTrackCoverArtMessage = fourCharCode("rart");

// Player message versions and the record size.
inline constexpr uint32_t kPlayerMessageMajorVersion = 10;
inline constexpr uint32_t kPlayerMessageMinorVersion = 9;
inline constexpr uint32_t kPlayerMessageInfoSize = 580;

// A four-byte version; read as a little-endian 32-bit value the major number is the
// highest byte.
struct NumVersion {
  uint8_t nonRelRev;
  uint8_t stage;
  uint8_t minorAndBugRev;
  uint8_t majorRev;
};
inline constexpr uint8_t kDevelopmentStage = 0x20;

struct PlayerMessageInfo;
struct VisualPluginMessageInfo;
struct PluginMessageInfo;

// The host's callback procedure, called with the cookie it gave at 'init'.
using PlayerProcPtr = OSStatus (*)(void* appCookie, OSType message, PlayerMessageInfo* info);
// A visual plug-in's handler; `refCon` is the value it stored at 'init'.
using VisualPluginProcPtr = OSStatus (*)(OSType message, VisualPluginMessageInfo* info,
                                         void* refCon);
// The bundle's entry.
using PluginProcPtr = OSStatus (*)(OSType message, PluginMessageInfo* info, void* refCon);

// A length-prefixed string of 16-bit units: unit 0 holds the length (at most 255).
using UnicodeStr255 = uint16_t[256];

#pragma pack(push, 4)

struct PlayerMessageHeader {
  uint32_t messageMajorVersion;
  uint32_t messageMinorVersion;
  uint32_t messageInfoSize;
};

struct PlayerRegisterVisualPluginMessage {
  UnicodeStr255 name;
  OptionBits options;
  OSType creator;
  NumVersion pluginVersion;
  VisualPluginProcPtr handler;
  void* registerRefCon;
  uint32_t timeBetweenDataInMS;
  uint32_t numWaveformChannels;
  uint32_t numSpectrumChannels;
  uint32_t minWidth;
  uint32_t minHeight;
  uint32_t maxWidth;
  uint32_t maxHeight;
};

inline constexpr uint32_t kPlayerMessagePayloadSize =
    kPlayerMessageInfoSize - sizeof(PlayerMessageHeader);

struct PlayerMessageInfo {
  PlayerMessageHeader header;
  union {
    PlayerRegisterVisualPluginMessage registerVisualPluginMessage;
    uint8_t payload[kPlayerMessagePayloadSize];
  } u;
};

#pragma pack(pop)

static_assert(sizeof(PlayerRegisterVisualPluginMessage) <= kPlayerMessagePayloadSize);
static_assert(sizeof(PlayerMessageInfo) == kPlayerMessageInfoSize);

// The entry's 'init' record.
struct PluginInitMessage {
  uint32_t majorVersion;
  uint32_t minorVersion;
  NumVersion appVersion;
  void* appCookie;
  PlayerProcPtr appProc;
  OptionBits options;
  void* refCon;
};

struct PluginMessageInfo {
  union {
    PluginInitMessage initMessage;
  } u;
};

// Records of the handler's messages.
struct VisualPluginInitMessage {
  uint32_t messageMajorVersion;
  uint32_t messageMinorVersion;
  NumVersion appVersion;
  void* appCookie;
  PlayerProcPtr appProc;
  OptionBits options;
  void* refCon;  // out: the plug-in's reference value for this instance
};

struct VisualPluginActivateMessage {
  platform::View* view;  // the visualizer area, or null; owned by the host
  OptionBits options;
};

struct VisualPluginWindowChangedMessage {
  OptionBits options;
};

struct RenderVisualData;  // the music's waveform and spectrum; not read by Ovra

struct VisualPluginPulseMessage {
  const RenderVisualData* renderData;
  uint32_t timeStampID;
  uint32_t currentPositionInMS;
  uint32_t newPulseRateInHz;  // in/out: the rate the plug-in wants
};

struct VisualPluginPlayMessage {
  const void* trackInfo;
  const void* streamInfo;
  uint32_t audioFormat;
  uint32_t bitRate;
  uint32_t volume;
};

struct VisualPluginChangeTrackMessage {
  const void* trackInfo;
  const void* streamInfo;
};

struct VisualPluginCoverArtMessage {
  const void* coverArt;
  uint32_t coverArtSize;
  uint32_t coverArtFormat;
};

struct VisualPluginMessageInfo {
  union {
    VisualPluginInitMessage initMessage;
    VisualPluginActivateMessage activateMessage;
    VisualPluginWindowChangedMessage windowChangedMessage;
    VisualPluginPulseMessage pulseMessage;
    VisualPluginPlayMessage playMessage;
    VisualPluginChangeTrackMessage changeTrackMessage;
    VisualPluginCoverArtMessage coverArtMessage;
  } u;
};

}  // namespace ovra::plugin

// The bundle's one exported symbol.
extern "C" ovra::plugin::OSStatus iTunesPluginMainMachO(ovra::plugin::OSType message,
                                                        ovra::plugin::PluginMessageInfo* info,
                                                        void* refCon);

#endif  // OVRA_PLUGIN_HOST_INTERFACE_H_

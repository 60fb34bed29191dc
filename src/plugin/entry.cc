// The bundle's entry, the one symbol a host looks up after loading the module.
#include "plugin/host_interface.h"
#include "plugin/visual_plugin.h"

extern "C" __attribute__((visibility("default"))) ovra::plugin::OSStatus iTunesPluginMainMachO(
    ovra::plugin::OSType message, ovra::plugin::PluginMessageInfo* info, void* /*refCon*/) {
  using namespace ovra::plugin;
  switch (message) {
    case kPluginInitMessage:
      return RegisterVisualPlugin(info);
    case kPluginCleanupMessage:
      return kNoErr;
    default:
      return kUnimpErr;
  }
}

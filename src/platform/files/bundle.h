// Bundle resources: a loadable module finds the files shipped with it from its own path,
// never from the working directory. A module at B/Contents/lib/m.so belongs to bundle B
// and reads B/Contents/Resources; a program outside a bundle reads a "Resources" folder
// beside itself. Safe from any thread.
#ifndef OVRA_PLATFORM_FILES_BUNDLE_H_
#define OVRA_PLATFORM_FILES_BUNDLE_H_

#include <optional>
#include <string>
#include <string_view>

namespace ovra::platform {

// The absolute path of the module (shared object or program) that holds `address`, or
// nothing when the address belongs to no loaded module.
std::optional<std::string> modulePathContaining(const void* address);

// The resource folder for a module path, by the rule above.
std::string resourceFolderForModule(std::string_view modulePath);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_FILES_BUNDLE_H_

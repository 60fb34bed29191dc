// The workspace: opens an address outside Ovra, in the user's default browser. The
// current web engine decides how (a new browser tab, or a record for tests).
// Main thread only.
#ifndef OVRA_PLATFORM_UI_WORKSPACE_H_
#define OVRA_PLATFORM_UI_WORKSPACE_H_

#include <string>

namespace ovra::platform {

void openURL(const std::string& url);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_UI_WORKSPACE_H_

#include "platform/ui/workspace.h"

#include "platform/ui/web_engine.h"

namespace ovra::platform {

void openURL(const std::string& url) { webEngine()->openURL(url); }

}  // namespace ovra::platform

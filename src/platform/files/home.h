// The user's home folder as the platform reports it: $HOME unless the host has set
// another folder (its --home option). Safe from any thread.
#ifndef OVRA_PLATFORM_FILES_HOME_H_
#define OVRA_PLATFORM_FILES_HOME_H_

#include <string>

namespace ovra::platform {

// An empty text restores the default.
void setHomeFolder(std::string folder);
// The folder set, or $HOME, or "" when neither is known.
std::string homeFolder();

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_FILES_HOME_H_

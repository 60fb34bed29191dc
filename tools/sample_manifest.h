// The Manifest.mbdb of a generated backup: directory, link and file records in the
// phone's order, each file with the size and digest of what the folder stores for it,
// written with the backup format's manifest writer. Also the files a backup holds besides
// the five databases.
#ifndef OVRA_TOOLS_SAMPLE_MANIFEST_H_
#define OVRA_TOOLS_SAMPLE_MANIFEST_H_

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/result.h"
#include "sample_random.h"

namespace ovra::sample {

// (domain, path) of a preference list, a photo, and a cache file whose long path needs
// more than one byte for its length.
std::vector<std::pair<std::string, std::string>> otherFiles();

// Encrypts the stored file at the path given in place and gives its wrapped key (class and
// key) for the manifest; empty for a backup stored plain.
using FileSealer = std::function<base::Result<std::string>(const std::string& storedPath)>;

// The phone-side path of the message database's write-ahead log, listed when the folder
// holds it.
inline constexpr const char* kSmsLogPath = "Library/SMS/sms.db-wal";

// The manifest bytes for `folder`, which must already hold the databases and
// otherFiles(). With `seal`, every stored file is encrypted as its record is written and
// the record carries its key.
base::Result<std::string> sampleManifest(const std::string& folder, Random& rng,
                                         const FileSealer& seal = {});

}  // namespace ovra::sample

#endif  // OVRA_TOOLS_SAMPLE_MANIFEST_H_

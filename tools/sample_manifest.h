// The Manifest.mbdb of a generated backup: directory, link and file records in the
// phone's order, each file with the size and digest of what the folder stores for it,
// written with the backup format's manifest writer. Also the files a backup holds besides
// the five databases.
#ifndef OVRA_TOOLS_SAMPLE_MANIFEST_H_
#define OVRA_TOOLS_SAMPLE_MANIFEST_H_

#include <string>
#include <utility>
#include <vector>

#include "sample_random.h"

namespace ovra::sample {

// (domain, path) of a preference list, a photo, and a cache file whose long path needs
// more than one byte for its length.
std::vector<std::pair<std::string, std::string>> otherFiles();

// The manifest bytes for `folder`, which must already hold the databases and
// otherFiles().
std::string sampleManifest(const std::string& folder, Random& rng);

}  // namespace ovra::sample

#endif  // OVRA_TOOLS_SAMPLE_MANIFEST_H_

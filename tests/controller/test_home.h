// Small exact phone backups for the controller and plug-in tests, a "gated" backup whose
// manifest is a pipe (the extraction waits until the test opens it), and a main-queue run
// that finishes page loads as a browser would.
#ifndef OVRA_TESTS_CONTROLLER_TEST_HOME_H_
#define OVRA_TESTS_CONTROLLER_TEST_HOME_H_

#include <functional>
#include <string>
#include <vector>

#include "../temp_dir.h"
#include "platform/ui/headless_engine.h"

namespace ovra::testing {

struct TestContact {
  std::string first, last, phone;
  int sms = 0;  // messages from this number
};

// A fresh temporary folder standing for a home folder.
using TempHome = TempDir;

// Writes backup `name` under `home`; returns "" or what went wrong.
std::string writeTestBackup(const std::string& home, const std::string& name,
                            const std::vector<TestContact>& contacts);

// Readers of this backup block on its manifest until open(); destruction opens it too.
class GatedBackup {
 public:
  GatedBackup(const std::string& home, const std::string& name);
  ~GatedBackup();
  GatedBackup(const GatedBackup&) = delete;
  bool ok() const { return ok_; }
  void open();

 private:
  std::string pipe_;
  bool ok_ = false;
  int fd_ = -1;
};

// Runs the main queue, finishing page loads, until `done` holds (at most 20 s).
bool runFinishingLoads(platform::HeadlessEngine& engine, const std::function<bool()>& done);

// The bundle pages the engine was asked to load, in order (outside addresses left out).
std::vector<std::string> bundlePagesLoaded(const platform::HeadlessEngine& engine);

}  // namespace ovra::testing

#endif  // OVRA_TESTS_CONTROLLER_TEST_HOME_H_

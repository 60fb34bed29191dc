// Support for the controller and plug-in tests: small, exact phone backups (chosen
// contacts with a chosen number of SMS each), a "gated" backup whose manifest is a pipe so
// that the extraction waits until the test opens the gate, and a run of the main queue
// that finishes page loads as a browser would.
#ifndef OVRA_TESTS_CONTROLLER_TEST_HOME_H_
#define OVRA_TESTS_CONTROLLER_TEST_HOME_H_

#include <functional>
#include <string>
#include <vector>

#include "platform/headless_engine.h"

namespace ovra::testing {

struct TestContact {
  std::string first;
  std::string last;
  std::string phone;
  int sms = 0;  // messages from this number
};

// A fresh temporary folder, removed with everything in it on destruction.
class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Writes backup `name` under `home` with an address book and a message database. Returns
// an empty text, or what went wrong.
std::string writeTestBackup(const std::string& home, const std::string& name,
                            const std::vector<TestContact>& contacts);

// A backup whose Manifest.mbdb is a named pipe: reading the backups blocks on it until
// open() is called; from then on every reader passes (it reads no manifest). Destruction
// opens it too, so no reader stays blocked.
class GatedBackup {
 public:
  GatedBackup(const std::string& home, const std::string& name);
  ~GatedBackup();
  GatedBackup(const GatedBackup&) = delete;
  GatedBackup& operator=(const GatedBackup&) = delete;
  bool ok() const { return ok_; }
  void open();

 private:
  std::string pipe_;
  bool ok_ = false;
  int fd_ = -1;  // our end of the pipe once open
};

// Runs the main queue until `done` holds (at most 20 seconds), finishing page loads on
// the way. Returns whether `done` held.
bool runFinishingLoads(platform::HeadlessEngine& engine, const std::function<bool()>& done);

// The bundle pages the engine was asked to load, in order; outside addresses (the
// login's) are left out.
std::vector<std::string> bundlePagesLoaded(const platform::HeadlessEngine& engine);

}  // namespace ovra::testing

#endif  // OVRA_TESTS_CONTROLLER_TEST_HOME_H_

// A controller whose pages the browser engine serves from the bundle's resources, copied
// beside the test program, in a home folder of its own. TearDown finishes the controller,
// stops the engine and waits for their threads.
#ifndef OVRA_TESTS_BROWSER_BROWSER_STAGE_H_
#define OVRA_TESTS_BROWSER_BROWSER_STAGE_H_

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <vector>

#include "controller/app_controller.h"
#include "platform/base/log.h"
#include "platform/base/main_queue.h"
#include "platform/browser/browser_engine.h"
#include "platform/files/bundle.h"
#include "test_home.h"

extern char** environ;

namespace ovra::testing {

class PagesInBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setHomeFolder(home_.path());
    auto started =
        platform::BrowserEngine::start({platform::resourceFolderForModule(OVRA_TEST_PROGRAM), 0});
    ASSERT_TRUE(started.engine) << started.error;
    engine_ = started.engine;
    platform::setWebEngine(engine_);
    area_->setAutoresizesSubviews(true);
    engine_->setRootView(area_);
  }
  void TearDown() override {
    controller_->finit();
    if (engine_) engine_->stop();
    platform::waitForBackgroundWork();
    platform::setWebEngine(nullptr);
    platform::setHomeFolder("");
  }

  // The cookie that the printed address trades its secret for.
  std::string cookie() const {
    const std::string address = engine_->address();
    return "ovra_key_" + std::to_string(engine_->port()) + "=" +
           address.substr(address.find("key=") + 4);
  }

  // Runs tests/browser/`script` in node (a person in Chromium) with `args` while the main
  // queue answers its pages, for two minutes at most; its wait status, or -1 when it does
  // not start.
  int runPageScript(const std::string& script, std::vector<std::string> args) {
    std::string path = std::string(OVRA_SOURCE_DIR) + "/tests/browser/" + script;
    std::string node = "node";
    std::vector<char*> argv = {node.data(), path.data()};
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, "node", nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = -1;
    platform::Timer wake(std::chrono::milliseconds(20), [] {});  // to look at the child
    platform::runMainQueueUntil([&] { return waitpid(child, &status, WNOHANG) == child; },
                                std::chrono::seconds(120));
    return status;
  }

  TempHome home_;
  std::shared_ptr<platform::BrowserEngine> engine_;
  std::shared_ptr<platform::View> area_ = platform::View::create({0, 0, 1000, 700});
  platform::LogCapture log_;
  std::shared_ptr<controller::AppController> controller_ = controller::AppController::alloc();
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_BROWSER_BROWSER_STAGE_H_

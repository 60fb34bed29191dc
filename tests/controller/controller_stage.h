// A test fixture that stages a controller the way the plug-in does: a headless web
// engine, a home folder of its own, and the visualizer view inside a window. TearDown
// finishes the controller and waits for its threads before the stage is taken down.
#ifndef OVRA_TESTS_CONTROLLER_CONTROLLER_STAGE_H_
#define OVRA_TESTS_CONTROLLER_CONTROLLER_STAGE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controller/app_controller.h"
#include "platform/base/main_queue.h"
#include "platform/files/home.h"
#include "platform/ui/headless_engine.h"
#include "test_home.h"

namespace ovra::testing {

class ControllerStage : public ::testing::Test {
 protected:
  static constexpr platform::Rect kArea{0, 0, 800, 600};

  void SetUp() override {
    platform::setWebEngine(engine_);
    platform::setHomeFolder(home_.path());
    window_->addSubview(view_);
  }
  void TearDown() override {
    if (controller_) controller_->finit();
    platform::waitForBackgroundWork();
    platform::setHomeFolder("");
    platform::setWebEngine(nullptr);
  }

  bool runUntil(const std::function<bool()>& done) { return runFinishingLoads(*engine_, done); }
  bool runUntilFinalDecision() {
    return runUntil([&] { return controller_->notifiedReady(); });
  }
  // The bundle pages the engine was asked to load, in order (outside addresses left out).
  std::vector<std::string> pages() const {
    std::vector<std::string> names;
    for (const auto& load : engine_->loads()) {
      if (load.url.starts_with("file:")) names.push_back(load.resource);
    }
    return names;
  }

  TempHome home_;
  std::shared_ptr<platform::HeadlessEngine> engine_ = std::make_shared<platform::HeadlessEngine>();
  std::shared_ptr<platform::View> window_ = platform::View::create(kArea);
  std::shared_ptr<platform::View> view_ = platform::View::create(kArea);
  std::shared_ptr<controller::AppController> controller_;
  int doneCalls_ = 0;
};

}  // namespace ovra::testing

#endif  // OVRA_TESTS_CONTROLLER_CONTROLLER_STAGE_H_

// The password pane in Chromium (password.mjs plays the person): a stand-in of the backup
// reader asks the keychain from its own thread, as the reader does, and gets what was
// typed; the passwords show up in no view tree and no log line. The pane's wait ends with
// nothing when the engine stops.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "browser_stage.h"
#include "platform/files/keychain.h"

namespace ovra::controller {
namespace {

using ovra::testing::PagesInBrowser;

TEST_F(PagesInBrowser, ThePasswordPaneAsksAgainAfterAWrongPasswordAndSkips) {
  const std::string device = "Ann's <b>phone</b> & co", wrong = "pässwort-1", right = "Ωmega 2";
  platform::setPasswordProvider(
      [engine = engine_](const platform::PasswordRequest& r) { return engine->askPassword(r); });
  std::shared_ptr<platform::WebView> loading = platform::WebView::create(area_->bounds());
  area_->addSubview(loading);
  loading->loadURL(controller_->getResourceURL("loading.html"));
  std::vector<std::optional<std::string>> answers;
  std::thread reader([&] {
    for (int attempt = 1; attempt <= 3; ++attempt) {
      answers.push_back(platform::backupPassword({"0a1b", device, attempt}));
      if (answers.back() != wrong) break;
    }
    answers.push_back(platform::backupPassword({"2c3d", "Second phone", 1}));
  });

  std::vector<std::string> args = {engine_->address(), device, wrong, right};
  if (const char* shots = std::getenv("OVRA_SCREENSHOTS")) args.push_back(shots);
  const int status = runPageScript("password.mjs", std::move(args));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "password.mjs status " << status;
  engine_->stop();  // ends a question still standing, should the script have failed
  reader.join();
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{wrong, right, std::nullopt}));
  for (const std::string& secret : {wrong, right}) {
    EXPECT_EQ(engine_->treeText().find(secret), std::string::npos);
    for (const std::string& line : log_.lines()) EXPECT_EQ(line.find(secret), std::string::npos);
  }
  // Once stopped, a question is answered with nothing at once.
  EXPECT_EQ(platform::backupPassword({"0a1b", device, 1}), std::nullopt);
  platform::setPasswordProvider(nullptr);
}

TEST(PasswordDesk, AWaitingQuestionEndsWithNothingWhenTheDeskCloses) {
  std::atomic<bool> shown{false};
  platform::PasswordDesk desk([&](const std::string& q) { shown = shown || q != "null"; });
  std::optional<std::string> got = "unset";
  std::thread asker([&] { got = desk.ask({"f", "d", 1}); });
  while (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(desk.answer(2, "x"));  // not the question that stands
  desk.close();
  asker.join();
  EXPECT_EQ(got, std::nullopt);
}

}  // namespace
}  // namespace ovra::controller

// The page bridge under load: 20 clients make 1,000 calls at once through the browser
// engine while the controller is still reading the backups, and every answer is a whole,
// well-formed text.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <thread>

#include "browser_stage.h"
#include "json/parser.h"

namespace ovra::controller {
namespace {

using ovra::testing::PagesInBrowser;

std::shared_ptr<platform::WebView> webViewShowing(const platform::View& view,
                                                  std::string_view page) {
  for (const auto& sub : view.subviews()) {
    auto web = std::dynamic_pointer_cast<platform::WebView>(sub);
    if (web && web->mainFrameURL().ends_with(page)) return web;
    if (auto found = webViewShowing(*sub, page)) return found;
  }
  return nullptr;
}

// Whether `text` is what the method gives: the contact rows, or the timeline (pairs of an
// id and a flat list of four values per event), or the detailed log, or the reading summary.
bool wellFormed(const std::string& method, const std::string& text) {
  if (method == "getDetailedLog") {
    return text == "No valid backup folders found" || text.ends_with("<br/>");
  }
  std::optional<json::Value> value = json::KtJsonParser().objectWithString(text);
  if (method == "getReadingSummary") {
    const json::Value* finished = value && value->isObject() ? value->get("finished") : nullptr;
    return finished && finished->isBool();
  }
  if (!value || !value->isArray()) return false;
  const json::Array& items = value->asArray();
  if (method == "getContacts") {
    return std::all_of(items.begin(), items.end(), [](const json::Value& row) {
      return row.isArray() && row.asArray().size() == 12;
    });
  }
  if (items.size() % 2) return false;
  for (size_t i = 0; i < items.size(); i += 2) {
    if (!items[i].isArray() || items[i].asArray().size() != 1 || !items[i + 1].isArray() ||
        items[i + 1].asArray().size() % 4 != 0) {
      return false;
    }
  }
  return true;
}

TEST_F(PagesInBrowser, TwentyClientsCallAThousandTimesWhileTheBackupsAreRead) {
  sample::Options size;
  size.contacts = 300;
  size.sms = 20000;
  size.calls = 5000;
  ASSERT_TRUE(sample::writeSampleHome(home_.path(), size).ok());
  testing::GatedBackup gate(home_.path(), "slow");  // holds the reading until half the calls
  ASSERT_TRUE(gate.ok());
  controller_->init(area_, [] {});
  std::shared_ptr<platform::WebView> loading = webViewShowing(*area_, "/loading.html");
  ASSERT_TRUE(loading);

  // Every method the controller offers the page, but the one that moves it on.
  std::vector<std::string> methods = controller_->webScriptMethods();
  std::erase(methods, "ignoreFacebook");
  ASSERT_EQ(methods.size(), 4u);
  std::atomic<int> calls{0}, whole{0};
  std::vector<std::string> broken;
  platform::Mutex mu;
  std::vector<std::thread> clients;
  for (int c = 0; c < 20; ++c) {
    clients.emplace_back([&, c] {
      httplib::Client http("127.0.0.1", engine_->port());
      for (int i = 0; i < 50; ++i) {
        const std::string& method = methods[(c + i) % 4];
        auto r = http.Post("/call/" + std::to_string(loading->id()) + "/" + method,
                           {{"Cookie", cookie()}}, "", "text/plain");
        const int made = ++calls;
        if (made == 500) gate.open();
        if (made == 1000) platform::wakeMainQueue();  // to look at the count again
        if (r && r->status == 200 && wellFormed(method, r->body)) {
          ++whole;
        } else {
          platform::MutexLock lock(mu);
          broken.push_back(
              method + ": " +
              (r ? std::to_string(r->status) + " " + r->body.substr(0, 80) : "no answer"));
        }
      }
    });
  }
  platform::runMainQueueUntil([&] { return calls == 1000; }, std::chrono::seconds(120));
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(whole, 1000);
  for (const std::string& b : broken) ADD_FAILURE() << b;
  // The reading went on meanwhile and comes to its end (on a busy machine after the last
  // call): the loading page's log lists the backups read.
  platform::Timer wake(std::chrono::milliseconds(20), [] {});
  platform::runMainQueueUntil(
      [&] { return controller_->getDetailedLog().find("Read backup of") != std::string::npos; },
      std::chrono::seconds(60));
  EXPECT_NE(controller_->getDetailedLog().find("Read backup of"), std::string::npos);
}

}  // namespace
}  // namespace ovra::controller

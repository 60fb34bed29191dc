// The social-network login through the browser's sign-in pane: headless Chromium (the
// script login.mjs) pastes the address the sign-in ended on, and the controller, talking
// to a loopback stand-in of the social network, fetches the inbox and shows the main page
// with the threads in the timeline.
#include <gtest/gtest.h>

#include "../facebook/loopback_server.h"
#include "browser_stage.h"

namespace ovra::controller {
namespace {

using ovra::testing::PagesInBrowser;

constexpr char kInbox[] = R"({"data":[{"id":"1","to":{"data":[{"name":"Ann Lee"}]},
  "from":{"name":"Me"},"message":"see you","updated_time":1300000000}]})";

TEST_F(PagesInBrowser, ThePastedAddressEndsTheSignInAndTheThreadsReachTheMainPage) {
  ASSERT_EQ(testing::writeTestBackup(home_.path(), "phone", {{"Ann", "Lee", "0611111111", 5}}), "");
  testing::LoopbackServer social([](httplib::Server& s) {
    s.Get("/me/inbox", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(kInbox, "text/javascript");
    });
  });
  const std::string redirect = social.baseURL() + "/connect/login_success.html";
  controller_->setGraphAddresses(social.baseURL(), redirect);
  controller_->init(area_, [this] {
    std::shared_ptr<platform::WebView> main = platform::WebView::create(area_->bounds());
    area_->addSubview(main);
    main->setWindowScriptValue("appController", controller_);
    main->loadURL(controller_->getResourceURL("main.html"));
  });

  // The browser plays the person; the main queue answers its pages meanwhile.
  const std::string endedOn = redirect + "#access_token=TOK-5e1f&expires_in=0";
  const int status = runPageScript("login.mjs", {engine_->address(), endedOn});
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "login.mjs status " << status;
  // The pane asks nothing of the sign-in page the person never opened: only the inbox is asked.
  EXPECT_EQ(social.targets(),
            std::vector<std::string>{"/me/inbox?date_format=U&access_token=TOK-5e1f"});
  // Besides the social network, only the console has the token: not the detailed log, and
  // no page or address the browser got (login.mjs looked at that side).
  EXPECT_EQ(controller_->getDetailedLog().find("TOK-5e1f"), std::string::npos);
}

}  // namespace
}  // namespace ovra::controller

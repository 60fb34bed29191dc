// AppController::facebookLoginCallback, the login's end. Once the Graph client holds the
// access token it tells the controller, which fetches the inbox once (blocking the main
// thread for at most the client's time-out), has facebook/inbox_import.h turn its threads
// into "facebook_message" events in the session, and ends the social-network step. A skip
// by the page (ignoreFacebook) before or during the request wins: then nothing is
// imported and the step is not ended twice.

#include "controller/app_controller.h"
#include "facebook/inbox_import.h"
#include "platform/base/log.h"

namespace ovra::controller {

void AppController::facebookLoginCallback() {
  const std::shared_ptr<facebook::GraphClient> client = facebook_;
  platform::log("You're logged to Facebook. Your oAuth token is:" +
                platform::describe(client ? client->accessToken() : std::nullopt));
  if (facebookReady_) return;  // the user went on without the social network

  if (client && client->accessToken()) {
    const json::Object variables = facebook::inboxRequestVariables();
    const facebook::GraphResponse response = client->graphGet(facebook::kInboxPath, &variables);
    if (facebookReady_) return;  // skipped while the request was under way: drop the reply
    // Failures (no reply, not JSON, an error object) leave no events; the step ends all
    // the same.
    facebook::importInboxReply(response.htmlResponse, *s_);
  }
  markFacebookReady();
}

}  // namespace ovra::controller

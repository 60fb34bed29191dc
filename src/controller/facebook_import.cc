#include "controller/app_controller.h"
#include "platform/log.h"

// The login's end: until the inbox import is written, a finished login only ends the
// social-network step.

namespace ovra::controller {

void AppController::facebookLoginCallback() {
  platform::log("You're logged to Facebook. Your oAuth token is:" +
                platform::describe(facebook_ ? facebook_->accessToken() : std::nullopt));
  if (facebookReady_) return;
  markFacebookReady();
}

}  // namespace ovra::controller

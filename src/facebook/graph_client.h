// GraphClient: a small client for the social network's Graph API. It logs the user in
// with the user-agent OAuth flow inside a web view, takes the access token from the
// address the login ends on, tells its caller, and then sends Graph GET requests that
// carry the token. GraphResponse is the outcome of one request.
//
// Ownership: the client keeps the login web view until the token is taken; the callback
// object is not owned (weak). Threads: one thread (the main thread); requests block it.
#ifndef OVRA_FACEBOOK_GRAPH_CLIENT_H_
#define OVRA_FACEBOOK_GRAPH_CLIENT_H_

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "facebook/image.h"
#include "json/value.h"
#include "platform/net/http.h"
#include "platform/ui/view.h"

namespace ovra::facebook {

inline constexpr char kGraphBaseURL[] = "https://graph.facebook.com";
inline constexpr char kLoginRedirectURI[] = "http://www.facebook.com/connect/login_success.html";

// The outcome of one request: at most one of the three is set. A reply of type
// "image/jpeg" fills imageResponse (when it is a JPEG), any other reply htmlResponse
// (when it is UTF-8 text); a request that got no reply carries the error.
struct GraphResponse {
  std::optional<std::string> htmlResponse;  // the body as UTF-8 text
  std::optional<Image> imageResponse;       // the body of an "image/jpeg" reply
  std::optional<std::string> error;         // the network layer's error
};

// What a login address says of the token. `found` is false when the address holds no
// "access_token="; otherwise `token` is the text after the first one, cut before the
// next "&" (or at the end of the address), with its percent-escapes undone; it is
// absent when those escapes do not decode to UTF-8.
struct TokenCapture {
  bool found = false;
  std::optional<std::string> token;
};
TokenCapture captureAccessToken(std::string_view address);

// What the login tells when it has taken the token; a base for the callback object.
class GraphLoginTarget {
 public:
  virtual ~GraphLoginTarget() = default;
};
using GraphLoginSelector = std::function<void(GraphLoginTarget& callbackObject)>;

class GraphClient : public platform::FrameLoadDelegate,
                    public std::enable_shared_from_this<GraphClient> {
 public:
  // Tests point the client at a loopback server; the controller passes the real ones.
  explicit GraphClient(std::string graphBaseURL = kGraphBaseURL,
                       std::string redirectAddress = kLoginRedirectURI);

  void initWithClientID(std::string clientID);

  // Starts the login in `webView`; the selector is run on the callback object once the
  // token has been taken.
  void authenticateWithCallbackObject(std::weak_ptr<GraphLoginTarget> callbackObject,
                                      GraphLoginSelector callbackSelector,
                                      const std::string& permissions,
                                      std::shared_ptr<platform::WebView> webView);

  // The frame-load notice of the login view: takes the token when the address has one.
  void webViewDidFinishLoadForFrame(platform::WebView& webView) override;

  // GET of base URL "/" path "?" with each variable as "key=value&" in the object's own
  // order, then "access_token=" and the token when there is one. The address before the
  // token is percent-escaped as a whole, the token as a query value. `variables` may be
  // null.
  GraphResponse graphGet(const std::string& path, const json::Object* variables);
  // GET of a complete address; waits for the reply or the time-out.
  GraphResponse graphGetWithURLString(const std::string& url);

  const std::string& facebookClientID() const { return facebookClientID_; }
  const std::string& redirectUri() const { return redirectUri_; }
  const std::optional<std::string>& accessToken() const { return accessToken_; }
  void setAccessToken(std::optional<std::string> token) { accessToken_ = std::move(token); }
  const std::shared_ptr<platform::WebView>& webView() const { return webView_; }
  // How long a request may take (60 s unless set); tests shorten it.
  void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  const std::string& graphBaseURL() const { return graphBaseURL_; }

 private:
  std::string graphBaseURL_;
  std::string redirectAddress_;
  std::string facebookClientID_;
  std::string redirectUri_;
  std::optional<std::string> accessToken_;
  std::shared_ptr<platform::WebView> webView_;
  std::weak_ptr<GraphLoginTarget> callbackObject_;
  GraphLoginSelector callbackSelector_;
  std::chrono::milliseconds timeout_ = platform::kDefaultHttpTimeout;
};

}  // namespace ovra::facebook

#endif  // OVRA_FACEBOOK_GRAPH_CLIENT_H_

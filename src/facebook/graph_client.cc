// The login runs in the web view the controller hands over: the client loads the
// authorisation page, watches every finished frame load, and takes the token from the
// main frame's address once the social network has sent the view to the redirect
// address. Requests go through the platform's synchronous GET, so they block the
// calling (main) thread for at most the client's time-out.

#include "facebook/graph_client.h"

#include <cmath>

#include "platform/base/log.h"
#include "platform/base/url_escape.h"
#include "platform/base/utf8.h"

namespace ovra::facebook {

namespace {

constexpr std::string_view kTokenKey = "access_token=";

// How a query variable's value is written into the address: strings as they are,
// numbers as their decimal text, null as "<null>", true and false as "1" and "0".
std::string variableText(const json::Value& value) {
  switch (value.kind()) {
    case json::Value::Kind::kString:
      return value.asString();
    case json::Value::Kind::kInt:
      return std::to_string(value.asInt());
    case json::Value::Kind::kDecimal:
      return value.asDecimal().text();
    case json::Value::Kind::kDouble: {
      const double d = value.asDouble();
      if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15) {
        return std::to_string(static_cast<long long>(d));
      }
      return std::to_string(d);
    }
    case json::Value::Kind::kBool:
      return value.asBool() ? "1" : "0";
    case json::Value::Kind::kNull:
      return "<null>";
    default:
      return std::string();  // containers have no place in a query
  }
}

}  // namespace

TokenCapture captureAccessToken(std::string_view address) {
  TokenCapture capture;
  const size_t at = address.find(kTokenKey);
  if (at == std::string_view::npos) return capture;
  capture.found = true;
  std::string_view rest = address.substr(at + kTokenKey.size());
  // Cut at the raw "&" that ends the variable before undoing escapes, so that an escaped
  // "&" (%26) inside the token stays part of it.
  rest = rest.substr(0, rest.find('&'));
  capture.token = platform::replacePercentEscapes(rest);
  return capture;
}

GraphClient::GraphClient(std::string graphBaseURL, std::string redirectAddress)
    : graphBaseURL_(std::move(graphBaseURL)), redirectAddress_(std::move(redirectAddress)) {}

void GraphClient::initWithClientID(std::string clientID) {
  facebookClientID_ = std::move(clientID);
  redirectUri_ = redirectAddress_;
}

void GraphClient::authenticateWithCallbackObject(std::weak_ptr<GraphLoginTarget> callbackObject,
                                                 GraphLoginSelector callbackSelector,
                                                 const std::string& permissions,
                                                 std::shared_ptr<platform::WebView> webView) {
  callbackObject_ = std::move(callbackObject);
  callbackSelector_ = std::move(callbackSelector);
  const std::string address = graphBaseURL_ + "/oauth/authorize?client_id=" + facebookClientID_ +
                              "&redirect_uri=" + redirectUri_ + "&scope=" + permissions +
                              "&type=user_agent&display=touch";
  webView_ = std::move(webView);
  if (!webView_) return;
  webView_->setFrameLoadDelegate(weak_from_this());
  webView_->loadURL(address);
}

void GraphClient::webViewDidFinishLoadForFrame(platform::WebView& /*webView*/) {
  if (!webView_) return;  // the token has been taken; loads are no longer watched
  const TokenCapture capture = captureAccessToken(webView_->mainFrameURL());
  if (!capture.found) return;

  platform::log("token:  " + platform::describe(capture.token));
  accessToken_ = capture.token;

  // Drop the view before anything else runs, so that a load reported from inside the
  // callback cannot take the token a second time.
  const std::shared_ptr<platform::WebView> view = std::move(webView_);
  webView_.reset();
  if (view->frameLoadDelegate().get() == this) view->setFrameLoadDelegate({});
  view->removeFromSuperview();

  if (!callbackSelector_) return;
  if (const std::shared_ptr<GraphLoginTarget> target = callbackObject_.lock()) {
    callbackSelector_(*target);
  }
}

GraphResponse GraphClient::graphGet(const std::string& path, const json::Object* variables) {
  std::string address = graphBaseURL_ + "/" + path + "?";
  if (variables != nullptr) {
    for (const json::Member& member : *variables) {
      address += member.key + "=" + variableText(member.value) + "&";
    }
  }
  if (accessToken_) address += kTokenKey;
  std::optional<std::string> escaped = platform::addPercentEscapes(address);
  // The token goes in as one query value: a "&", "+", "=" or "%" in it is data.
  if (escaped && accessToken_) {
    const std::optional<std::string> token = platform::escapeQueryValue(*accessToken_);
    escaped = token ? std::optional<std::string>(*escaped + *token) : std::nullopt;
  }
  if (!escaped) {
    GraphResponse response;
    response.error = "the request address is not UTF-8 text";
    return response;
  }
  return graphGetWithURLString(*escaped);
}

GraphResponse GraphClient::graphGetWithURLString(const std::string& url) {
  GraphResponse response;
  platform::HttpResult result = platform::httpGet(url, timeout_);
  if (!result.ok()) {
    response.error = std::move(result.error);
    return response;
  }
  platform::HttpReply& reply = *result.reply;
  if (reply.mimeType == "image/jpeg") {
    response.imageResponse = decodeJPEG(std::move(reply.body));
  } else if (platform::isValidUtf8(reply.body)) {
    response.htmlResponse = std::move(reply.body);
  }
  return response;
}

}  // namespace ovra::facebook

#include "facebook/graph_client.h"

// The login and requests are not wired yet: the client keeps what it is given and loads
// nothing, so the start-up waits for the page's skip.

namespace ovra::facebook {

GraphClient::GraphClient(std::string graphBaseURL, std::string redirectAddress)
    : graphBaseURL_(std::move(graphBaseURL)), redirectAddress_(std::move(redirectAddress)) {}

void GraphClient::initWithClientID(std::string clientID) {
  facebookClientID_ = std::move(clientID);
  redirectUri_ = redirectAddress_;
}

void GraphClient::authenticateWithCallbackObject(std::weak_ptr<GraphLoginTarget> callbackObject,
                                                 GraphLoginSelector callbackSelector,
                                                 const std::string& /*permissions*/,
                                                 std::shared_ptr<platform::WebView> webView) {
  callbackObject_ = std::move(callbackObject);
  callbackSelector_ = std::move(callbackSelector);
  webView_ = std::move(webView);
}

void GraphClient::webViewDidFinishLoadForFrame(platform::WebView& /*webView*/) {}

GraphResponse GraphClient::graphGet(const std::string& /*path*/,
                                    const json::Object* /*variables*/) {
  return GraphResponse{};
}

GraphResponse GraphClient::graphGetWithURLString(const std::string& /*url*/) {
  return GraphResponse{};
}

}  // namespace ovra::facebook

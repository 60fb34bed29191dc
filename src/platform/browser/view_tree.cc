#include "platform/browser/view_tree.h"

#include <cmath>
#include <filesystem>
#include <string_view>

#include "json/value.h"
#include "json/writer.h"
#include "platform/base/url_escape.h"

namespace ovra::platform {
namespace {

double finite(double d) { return std::isfinite(d) ? d : 0; }

// The address of a file:// URL's file under /page/ID/, or "" when it lies outside `folder`.
std::string pageOf(uint64_t id, const std::string& url, const std::string& folder) {
  std::string_view rest = std::string_view(url).substr(std::string_view("file://").size());
  rest = rest.substr(0, rest.find_first_of("?#"));
  const std::optional<std::string> path = replacePercentEscapes(rest);
  std::error_code ec;
  const std::string real =
      path ? std::filesystem::weakly_canonical(*path, ec).string() : std::string();
  if (ec || real.size() <= folder.size() + 1 || !real.starts_with(folder) ||
      real[folder.size()] != '/') {
    return "";
  }
  std::string page = "/page/" + std::to_string(id) + "/";
  appendPercentEscaped(page, std::string_view(real).substr(folder.size() + 1), "/");
  return page;
}

json::Value describe(const View& view, const WebViewRecords& webViews, const std::string& folder) {
  json::Object node;
  node.set("id", json::Value(static_cast<long long>(view.id())));
  node.set("class", json::Value(view.className()));
  const Rect f = view.frame();
  node.set("frame",
           json::Value(json::Array{json::Value(finite(f.x)), json::Value(finite(f.y)),
                                   json::Value(finite(f.width)), json::Value(finite(f.height))}));
  node.set("mask", json::Value(view.autoresizingMask()));
  if (const auto* split = dynamic_cast<const SplitView*>(&view)) {
    node.set("split", json::Value(true));
    node.set("vertical", json::Value(split->isVertical()));
  }
  if (const auto* web = dynamic_cast<const WebView*>(&view)) {
    auto it = webViews.find(view.id());
    node.set("load",
             json::Value(static_cast<long long>(it == webViews.end() ? 0 : it->second.load)));
    const std::string& url = it == webViews.end() ? web->mainFrameURL() : it->second.requested;
    if (url.starts_with("http://") || url.starts_with("https://")) {
      node.set("outside", json::Value(url));
    } else if (url.starts_with("file://")) {
      if (std::string page = pageOf(view.id(), url, folder); !page.empty()) {
        node.set("page", json::Value(std::move(page)));
      }
    }
  }
  json::Array subviews;
  for (const std::shared_ptr<View>& sub : view.subviews()) {
    subviews.push_back(describe(*sub, webViews, folder));
  }
  node.set("subviews", json::Value(std::move(subviews)));
  return json::Value(std::move(node));
}

}  // namespace

std::optional<std::string> viewTreeText(const View* root, const WebViewRecords& webViews,
                                        const std::string& folder) {
  json::Object tree;
  tree.set("root", root ? describe(*root, webViews, folder) : json::Value(json::Null{}));
  return json::KtJsonWriter().stringWithObject(json::Value(std::move(tree)));
}

}  // namespace ovra::platform

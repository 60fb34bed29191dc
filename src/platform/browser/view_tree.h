// The view tree as the browser engine's top page draws it, written as JSON: for each view
// its id, class, frame, autoresizing mask and subviews; a split view's direction; a web
// view's load count and either the page it shows from the resource folder
// ("/page/ID/PATH") or the outside address it was asked to show.
//
// Ownership: the records hold their web views weakly. Threads: main thread only (views).
#ifndef OVRA_PLATFORM_BROWSER_VIEW_TREE_H_
#define OVRA_PLATFORM_BROWSER_VIEW_TREE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/view.h"

namespace ovra::platform {

// What the engine keeps of a web view it was asked to load into.
struct WebViewRecord {
  std::weak_ptr<WebView> view;
  uint64_t load = 0;  // counts the main-frame loads of the view
  bool finished = false;
  // What the view was asked to load. The browser is shown this, never where an outside
  // page ended: that address may carry the sign-in's access token.
  std::string requested;
};
using WebViewRecords = std::map<uint64_t, WebViewRecord>;  // by view id

// {"root": the tree under `root`, or null}; nothing when it cannot be written. Only files
// inside the canonical resource `folder` become pages.
std::optional<std::string> viewTreeText(const View* root, const WebViewRecords& webViews,
                                        const std::string& folder);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BROWSER_VIEW_TREE_H_

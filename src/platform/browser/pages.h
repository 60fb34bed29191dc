// The texts the browser engine serves of its own: the top page that draws the view tree,
// and the script put into every page of the resource folder that gives it the web view's
// `appController` and routes its new-window requests to the host. Pure functions; safe
// from any thread.
#ifndef OVRA_PLATFORM_BROWSER_PAGES_H_
#define OVRA_PLATFORM_BROWSER_PAGES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::platform {

// A self-contained HTML page: it follows "/events" (the whole tree as JSON on every
// change; "newtab" events with an address to open in a new tab), draws the tree, reports
// finished loads to "/loaded/ID?load=N" and its size to "/resize".
std::string_view topPage();

// The script for a page of web view `id`. With `hasController`, it defines
// window.appController with exactly `methods`, each a synchronous call to "/call/ID/NAME".
std::string bridgeScript(uint64_t id, bool hasController, const std::vector<std::string>& methods);

// `html` with `script` in a script element at the start of its head (after "<head...>",
// else after "<html...>", else after a doctype, else at the very start), so that it runs
// before the page's own scripts.
std::string withScript(std::string_view html, std::string_view script);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BROWSER_PAGES_H_

// The browser engine's own page and what it puts into the pages it serves. The files
// live in src/platform/browser/page/ (the top page top.html with top.css and top.js, the
// bridge script bridge.js and the icon favicon.svg) and are embedded into the library at build time
// (embed_files.cmake). Pure functions; safe from any thread.
#ifndef OVRA_PLATFORM_BROWSER_PAGES_H_
#define OVRA_PLATFORM_BROWSER_PAGES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/value.h"

namespace ovra::platform {

// The bytes of an embedded file of page/ ("top.html", "top.css", "top.js", "bridge.js",
// "favicon.svg"); empty for any other name. Defined in the generated page_files.cc.
std::string_view pageFile(std::string_view name);

// The top page: it follows "/events" (the whole tree as JSON on every change; "newtab"
// events with an address to open in a new tab), draws the tree, reports finished loads
// to "/loaded/ID?load=N" and its size to "/resize". It loads "/top.css" and "/top.js".
inline std::string_view topPage() { return pageFile("top.html"); }

// `value` as JSON text that can stand inside an HTML script element: '<', '>' and '&'
// (which JSON only has inside strings) are written as \u escapes, so no text of a value
// can end the element or open a comment. Nothing when the value cannot be written.
std::optional<std::string> jsonForScriptElement(const json::Value& value);

// `html`, a page of web view `id`, with the bridge at the start of its head: its
// parameters ({"view": id, "appController": `methods` or null}) in a script element of
// type application/json, then bridge.js, which reads them. Method names that are not
// plain identifiers are left out.
std::string withBridge(std::string_view html, uint64_t id,
                       const std::optional<std::vector<std::string>>& methods);

// `html` with `elements` at the start of its head (after "<head...>", else after
// "<html...>", else after a doctype, else at the very start), so that a script there
// runs before the page's own scripts.
std::string atHeadStart(std::string_view html, std::string_view elements);

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BROWSER_PAGES_H_

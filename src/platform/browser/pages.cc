#include "platform/browser/pages.h"

#include <algorithm>
#include <cctype>

namespace ovra::platform {
namespace {

constexpr std::string_view kTopPage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Ovra</title>
<style>
html,body{margin:0;height:100%;overflow:hidden;font:14px system-ui,sans-serif}
.v{position:absolute;box-sizing:border-box;overflow:hidden;margin:0}
iframe.v{border:0;background:#fff}
.d{position:absolute;background:#c8c8c8}
.o{padding:1em;background:#f4f4f4}
.o input{width:90%}
.o .u{word-break:break-all;color:#555}
.o .b{display:inline-block;padding:.4em .8em;border:1px solid #888;border-radius:4px;text-decoration:none;color:inherit;background:#fff}
.o .n{color:#a00}
#note{position:fixed;left:0;right:0;bottom:0;padding:.5em;background:#ffd;display:none;z-index:9}
:root{color-scheme:light dark}
@media (prefers-color-scheme:dark){iframe.v{background:#15171c}.d{background:#363a45}
.o{background:#1e2128;color:#eceef2}.o .u{color:#a4a9b6}.o .b{background:#2a2e37;border-color:#666}
.o .n{color:#ff8a80}#note{background:#4a4320;color:#fff}}
</style></head><body><div id="note"></div><script>
"use strict";
const views = new Map();  // id -> element
function post(path, body) {
  return fetch(path, {method: "POST", body: body || "", credentials: "same-origin"});
}
function kindOf(n) { return n.page ? "frame" : n.outside ? "outside" : "box"; }
function elementFor(n) {
  let el = views.get(n.id);
  const kind = kindOf(n);
  if (el && el.dataset.kind !== kind) { el.remove(); el = null; }
  if (!el) {
    el = document.createElement(kind === "frame" ? "iframe" : "div");
    el.className = kind === "outside" ? "v o" : "v";
    el.dataset.kind = kind;
    el.dataset.id = n.id;
    if (kind === "frame") {
      el.addEventListener("load", () => post("/loaded/" + el.dataset.id + "?load=" + el.dataset.load));
    }
    views.set(n.id, el);
  }
  if (kind === "frame" && el.dataset.load !== String(n.load)) {
    el.dataset.load = n.load;
    el.src = n.page;
  }
  if (kind === "outside" && el.dataset.load !== String(n.load)) {
    el.dataset.load = n.load;
    el.replaceChildren();
    const p = document.createElement("p");
    p.textContent = "This page opens outside Ovra, in a tab of its own:";
    const shown = document.createElement("p");
    shown.className = "u";
    shown.textContent = n.outside;
    const a = document.createElement("a");
    a.href = n.outside; a.target = "_blank"; a.rel = "noopener noreferrer";
    a.className = "b";
    a.textContent = "Open the sign-in page";
    const q = document.createElement("p");
    q.textContent = "When it is done, paste the address it ended on here:";
    const input = document.createElement("input");
    const done = document.createElement("button");
    done.textContent = "Done";
    done.onclick = () => post("/loaded/" + el.dataset.id + "?load=" + el.dataset.load, input.value);
    const offline = document.createElement("p");
    offline.className = "n";
    el.append(p, shown, a, q, input, done, offline);
    // Whether the sign-in can be reached at all; without a network, say so.
    fetch(n.outside, {mode: "no-cors", cache: "no-store", referrerPolicy: "no-referrer"})
        .catch(() => { offline.textContent = "No network: the sign-in page cannot be reached."; });
  }
  const [x, y, w, h] = n.frame;
  Object.assign(el.style, {left: x + "px", top: y + "px", width: w + "px", height: h + "px"});
  return el;
}
function draw(n, parent, index, seen) {
  const el = elementFor(n);
  seen.add(n.id);
  if (parent.children[index] !== el) parent.insertBefore(el, parent.children[index] || null);
  if (el.dataset.kind !== "box") return;
  // Views that left go first, so that those staying are not moved (a moved frame reloads).
  const ids = new Set(n.subviews.map((s) => String(s.id)));
  for (const c of [...el.children]) {
    if (c.dataset.id && !ids.has(c.dataset.id)) c.remove();
  }
  n.subviews.forEach((s, i) => draw(s, el, i, seen));
  for (const d of el.querySelectorAll(":scope > .d")) d.remove();
  if (n.split) {
    for (const s of n.subviews.slice(1)) {
      const d = document.createElement("div");
      d.className = "d";
      const [x, y, w, h] = s.frame;
      Object.assign(d.style, n.vertical
          ? {left: x - 1 + "px", top: 0, width: "1px", height: "100%"}
          : {left: 0, top: y - 1 + "px", width: "100%", height: "1px"});
      el.append(d);
    }
  }
}
function render(tree) {
  const seen = new Set();
  if (tree.root) draw(tree.root, document.body, 1, seen);
  for (const [id, el] of views) {
    if (!seen.has(id)) { el.remove(); views.delete(id); }
  }
}
let sized = "";
function sendSize() {
  const size = innerWidth + " " + innerHeight;
  if (size !== sized) { sized = size; post("/resize", size); }
}
let timer = 0;
addEventListener("resize", () => { clearTimeout(timer); timer = setTimeout(sendSize, 100); });
const events = new EventSource("/events");
events.onopen = () => { sized = ""; sendSize(); };
events.onmessage = (e) => render(JSON.parse(e.data));
events.addEventListener("newtab", (e) => {
  const url = JSON.parse(e.data);
  if (window.open(url, "_blank", "noopener,noreferrer")) return;
  const note = document.getElementById("note");
  const a = document.createElement("a");
  a.href = url; a.target = "_blank"; a.rel = "noopener noreferrer"; a.textContent = url;
  note.replaceChildren("Ovra opens ", a);
  note.style.display = "block";
});
</script></body></html>
)HTML";

// ID, HAS and METHODS are filled in by bridgeScript().
constexpr std::string_view kBridge = R"JS((function () {
"use strict";
const id = ID, methods = METHODS, openWindow = window.open.bind(window);
function call(path, body) {
  const x = new XMLHttpRequest();
  x.open("POST", path, false);
  x.send(body);
  return x;
}
if (HAS) {
  const controller = {};
  for (const m of methods) {
    controller[m] = function () {
      const x = call("/call/" + id + "/" + m, "");
      if (x.status === 204) return undefined;
      if (x.status !== 200) throw new TypeError("appController." + m + " failed");
      return x.responseText;
    };
  }
  window.appController = Object.freeze(controller);
}
function allowed(url, name) {
  return call("/newwindow/" + id, url + "\n" + (name || "")).responseText === "use";
}
window.open = function (url, name, features) {
  const href = new URL(url || "about:blank", location.href).href;
  return allowed(href, name) ? openWindow(href, name, features) : null;
};
document.addEventListener("click", (e) => {
  const a = e.target.closest ? e.target.closest("a[target]") : null;
  if (!a || ["", "_self", "_parent", "_top"].includes(a.target)) return;
  e.preventDefault();
  if (allowed(a.href, a.target)) openWindow(a.href, a.target);
}, true);
})();)JS";

bool isName(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(),
                                   [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The end of the first tag `name` ("<head", "<html", "<!doctype") in `html`, ignoring
// case, or npos.
size_t afterTag(std::string_view html, std::string_view name) {
  for (size_t i = 0; i + name.size() < html.size(); ++i) {
    const bool match = std::equal(name.begin(), name.end(), html.begin() + i, [](char a, char b) {
      return std::tolower(static_cast<unsigned char>(a)) ==
             std::tolower(static_cast<unsigned char>(b));
    });
    const char next = html[i + name.size()];
    if (!match || !(next == '>' || std::isspace(static_cast<unsigned char>(next)))) continue;
    const size_t end = html.find('>', i);
    return end == std::string_view::npos ? end : end + 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::string_view topPage() { return kTopPage; }

std::string bridgeScript(uint64_t id, bool hasController, const std::vector<std::string>& methods) {
  std::string list = "[";
  for (const std::string& m : methods) {
    if (!isName(m)) continue;
    if (list.size() > 1) list += ",";
    list += "\"" + m + "\"";
  }
  list += "]";
  std::string script(kBridge);
  replaceAll(script, "ID, methods", std::to_string(id) + ", methods");
  replaceAll(script, "= METHODS", "= " + list);
  replaceAll(script, "if (HAS)", hasController ? "if (true)" : "if (false)");
  return script;
}

std::string withScript(std::string_view html, std::string_view script) {
  size_t at = afterTag(html, "<head");
  if (at == std::string_view::npos) at = afterTag(html, "<html");
  if (at == std::string_view::npos) at = afterTag(html, "<!doctype");
  if (at == std::string_view::npos) at = 0;
  std::string out(html.substr(0, at));
  out += "<script>";
  out += script;
  out += "</script>";
  out += html.substr(at);
  return out;
}

}  // namespace ovra::platform

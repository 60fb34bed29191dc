// The page bridge: the browser engine puts it at the start of the head of every page of
// the resource folder, right after its parameters, one JSON value in a script element of
// type application/json: {"view": the web view's id, "appController": the names of the
// methods its window script object offers, or null when it has none}. It defines
// window.appController with exactly those methods, each a synchronous call to
// "/call/ID/NAME" whose text is returned (its `address` names that call, so that a worker of
// the page can make it itself: a POST with an empty body, answered 200 with the text or 204),
// and routes the page's new-window requests (links with a target, window.open) to
// "/newwindow/ID", where the host decides.
(function () {
  "use strict";
  const params = JSON.parse(document.currentScript.previousElementSibling.textContent);
  const id = params.view;
  const openWindow = window.open.bind(window);
  function call(path, body) {
    const x = new XMLHttpRequest();
    x.open("POST", path, false);
    x.send(body);
    return x;
  }
  if (Array.isArray(params.appController)) {
    const controller = {};
    for (const m of params.appController) {
      const path = "/call/" + id + "/" + m;
      controller[m] = function () {
        const x = call(path, "");
        if (x.status === 204) return undefined;
        if (x.status !== 200) throw new TypeError("appController." + m + " failed");
        return x.responseText;
      };
      controller[m].address = new URL(path, location.href).href;
      Object.freeze(controller[m]);
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
})();

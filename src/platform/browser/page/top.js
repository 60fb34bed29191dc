// The top page's script: follows "/events" (the whole view tree as JSON on every change;
// "newtab" events with an address to open in a new tab) and draws the tree, each view a
// positioned box, a web view showing a page of the resource folder an iframe, one showing an
// outside page a pane that offers its address (drawOutside). It reports finished loads to
// "/loaded/ID?load=N" and the window's size to "/resize". A "password" event (a question
// {"id", "device", "attempt"}, or null) shows or hides the password pane, whose answer
// goes to "/password/ID/unlock" (the password as the body) or "/password/ID/skip". A
// classic script: `events` is a global of the page, for the browser tests.
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
    drawOutside(el, n.outside);
  }
  const [x, y, w, h] = n.frame;
  Object.assign(el.style, {left: x + "px", top: y + "px", width: w + "px", height: h + "px"});
  return el;
}
// The pane of a web view showing an outside page (the sign-in). It asks nothing of the
// outside: the page opens in a tab of its own when the person follows the link, and the
// address it ended on is posted once it holds a sign-in (an "access_token=", the same rule
// as the controller's), so that a wrong press does not end the load.
function drawOutside(el, address) {
  const intro = document.createElement("p");
  intro.textContent = "This page opens outside Ovra, in a tab of its own.";
  const a = document.createElement("a");
  a.href = address; a.target = "_blank"; a.rel = "noopener noreferrer";
  a.className = "b";
  a.textContent = "Open the sign-in page";
  const details = document.createElement("details");
  const summary = document.createElement("summary");
  summary.textContent = "Show the address";
  const shown = document.createElement("p");
  shown.className = "u";
  shown.textContent = address;
  details.append(summary, shown);
  const form = document.createElement("form");
  form.autocomplete = "off";
  const label = document.createElement("label");
  label.textContent = "When it is done, paste the address it ended on here:";
  const input = document.createElement("input");
  input.spellcheck = false;
  label.append(input);
  const done = document.createElement("button");
  done.className = "b";
  done.textContent = "Done";
  const status = document.createElement("p");
  status.setAttribute("role", "status");
  const say = (text, warning) => {
    status.textContent = text;
    status.className = warning ? "n" : "";
  };
  // Whether there is a network at all, as the browser knows it: no request is made.
  const offline = () => {
    if (!navigator.onLine) say("No network: the sign-in page cannot be reached.", true);
  };
  a.addEventListener("click", offline);
  let sent = false;
  form.onsubmit = (e) => {
    e.preventDefault();
    const ended = input.value.trim();
    if (sent) return say("The sign-in is already done.");
    if (!ended) return say("Paste the address the sign-in page ended on first.", true);
    if (!ended.includes("access_token=")) {
      return say("That address holds no sign-in: paste the one the sign-in page ended on.", true);
    }
    sent = true;
    say("Signing in…");
    // Refused or lost on the way: the person may try again.
    const taken = (ok) => {
      if (ok) return;
      sent = false;
      say("Ovra could not take that address: paste all of it, from https:// on.", true);
    };
    post("/loaded/" + el.dataset.id + "?load=" + el.dataset.load, ended)
        .then((r) => taken(r.ok), () => taken(false));
  };
  form.append(label, " ", done);
  el.replaceChildren(intro, a, details, form, status);
  offline();
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
// The password pane, beside the pages: asks for the password of an encrypted backup.
function showQuestion(q) {
  let pane = document.getElementById("password");
  if (pane && q && pane.dataset.id === String(q.id)) return;  // sent again on reconnecting
  if (pane) pane.remove();
  if (!q) return;
  pane = document.createElement("form");
  pane.id = "password";
  pane.dataset.id = q.id;
  pane.setAttribute("role", "dialog");
  pane.setAttribute("aria-label", "Password of an encrypted backup");
  pane.className = "o";
  pane.autocomplete = "off";
  const wrong = document.createElement("p");
  wrong.className = "n";
  wrong.setAttribute("role", "alert");
  if (q.attempt > 1) wrong.textContent = "That password did not unlock the backup.";
  const label = document.createElement("label");
  label.htmlFor = "password-field";
  label.textContent = "The backup of " + q.device + " is encrypted. Its password:";
  const field = document.createElement("input");
  field.type = "password";
  field.id = "password-field";
  field.autocomplete = "off";
  field.spellcheck = false;
  const unlock = document.createElement("button");
  unlock.type = "submit";
  unlock.className = "b";
  unlock.textContent = "Unlock";
  const skip = document.createElement("button");
  skip.type = "button";
  skip.className = "b";
  skip.textContent = "Skip";
  // The pane goes at once; should the answer not arrive, the question is shown again.
  const answer = (how, body) => {
    field.value = "";
    pane.remove();
    post("/password/" + q.id + "/" + how, body)
        .then((r) => { if (!r.ok && r.status !== 409) showQuestion(q); }, () => showQuestion(q));
  };
  pane.onsubmit = (e) => {
    e.preventDefault();
    if (field.value) answer("unlock", field.value);
  };
  skip.onclick = () => answer("skip");
  const buttons = document.createElement("p");
  buttons.append(unlock, " ", skip);
  pane.append(wrong, label, field, buttons);
  document.body.append(pane);
  field.focus();
}
events.addEventListener("password", (e) => showQuestion(JSON.parse(e.data)));

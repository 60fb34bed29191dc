// The main page: reads the bridge's texts once, then puts the views together: the overview,
// the ranking beside the tabs of the person, everyone and the detailed log, and the exports.
import { createEveryoneView } from "./everyone.js";
import { exportChart, exportRanking } from "./export.js";
import { showLog } from "./log.js";
import { createPersonView } from "./person.js";
import { createRanking } from "./ranking.js";
import { readBridge } from "./reader.js";
import { buildModel } from "./statistics.js";
import { number, date, day, duration, fillStats } from "./ui.js";

const $ = (id) => document.getElementById(id);

function start() {
  const app = window.appController;
  if (!app) {
    showProblem("This page is shown by Ovra: open the address that Ovra printed.");
    return;
  }
  let model;
  try {
    model = buildModel(readBridge(app.getTimeLine() || "[]", app.getContacts() || "[]"));
  } catch (e) {
    showProblem(`The data could not be read (${e.message}).`);
    return;
  }
  if (model.damaged) showProblem("Part of the timeline could not be read; what could be read is shown.");
  drawOverview(model.total);
  showLog($("log"), app.getDetailedLog());

  const views = { person: createPersonView(model), everyone: createEveryoneView(model) };
  let tab = "person", person = null;
  const redraw = () => {
    if (tab === "person") views.person.draw(person);
    else if (tab === "everyone") views.everyone.draw();
  };

  const tabs = [...document.querySelectorAll('[role="tab"]')];
  const showTab = (name) => {
    tab = name;
    for (const t of tabs) {
      const on = t.id === `tab-${name}`;
      t.setAttribute("aria-selected", String(on));
      t.tabIndex = on ? 0 : -1;
      $(t.getAttribute("aria-controls")).hidden = !on;
    }
    $("export-png").disabled = name === "log";
    redraw();
  };
  for (const t of tabs) {
    t.addEventListener("click", () => showTab(t.id.slice(4)));
    t.addEventListener("keydown", (e) => {
      const step = { ArrowRight: 1, ArrowLeft: -1 }[e.key];
      if (!step) return;
      e.preventDefault();
      const next = tabs[(tabs.indexOf(t) + step + tabs.length) % tabs.length];
      showTab(next.id.slice(4));
      next.focus();
    });
  }

  const ranking = createRanking(model.people,
                                { list: $("list"), search: $("search"), sort: $("sort"),
                                  count: $("list-count") },
                                (chosen) => {
                                  person = chosen;
                                  if (tab === "person") views.person.draw(person);
                                });
  $("export-csv").addEventListener("click", () => exportRanking(ranking.shown()));
  $("export-png").addEventListener("click", () => {
    const chart = views[tab]?.chart();
    if (!chart) return;
    if (tab === "person") exportChart(chart, `${person?.name ?? ""}: month by month`, person?.name ?? "person");
    else exportChart(chart, "Everyone: activity over the years", "everyone");
  });
  new ResizeObserver(redraw).observe(document.querySelector(".panel"));
  matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => {
    for (const view of Object.values(views)) view.forgetChart();
    redraw();
  });
  performance.mark("ovra-interactive");
}

function showProblem(text) {
  const p = $("problem");
  p.textContent = text;
  p.hidden = false;
}

function drawOverview(t) {
  fillStats($("overview"), [
    ["People", number.format(t.people)],
    ["Messages sent", number.format(t.sent)],
    ["Messages received", number.format(t.received)],
    ["Calls", `${number.format(t.calls)} (${duration(t.callTime)})`],
    ["Social threads", number.format(t.threads)],
    ["From", date(t.first)],
    ["To", date(t.last)],
    ["Busiest day", Number.isFinite(t.busiestDay)
      ? `${day(t.busiestDay)} (${number.format(t.busiestCount)} events)` : "none"],
  ]);
}

start();

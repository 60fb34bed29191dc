// The main page: reads the bridge's texts once, then puts the views together: the date range,
// the story and the overview at the top, the ranking beside the tabs (a person, two people
// compared, everyone, what was read), one day opened, and the exports. The list and the
// panel stay in step: whoever is chosen anywhere is the person shown.
import { useChannels } from "./charts.js";
import { createCompareView } from "./compare.js";
import { createDayView } from "./day.js";
import { createEveryoneView } from "./everyone.js";
import { exportChart, exportRanking } from "./export.js";
import { readSummary, showLog } from "./log.js";
import { drawAccounts, drawOverview, drawStory } from "./overview.js";
import { createPersonView } from "./person.js";
import { createRangeControl } from "./range.js";
import { createRanking } from "./ranking.js";
import { channelWords, readContacts } from "./reader.js";
import { applyRange, buildModel } from "./statistics.js";
import { prepareTimeline } from "./timeline.js";
import { date, day, el } from "./ui.js";

const $ = (id) => document.getElementById(id);

// A worker that prepares the timeline beside the page, so that the page can meanwhile ask for
// and read the contact rows. It is started, and waited for (a little), before the texts are
// asked for: the bridge's calls hold the page's thread, and a worker starts only when that
// thread is free. Resolves with prepare(app), which resolves with the prepared timeline and
// the time its text arrived (on the page's clock). Where the bridge says where getTimeLine is
// answered (the browser's does), the worker asks for the text itself, so that it neither holds
// the page's thread nor is copied across; otherwise the page asks and hands it over. The page
// asks, and prepares the text itself, when the worker fails.
async function timelineWorker() {
  let worker = null;
  try {
    worker = new Worker("timeline_worker.js", { type: "module" });
    const ready = await new Promise((resolve) => {
      worker.onmessage = () => resolve(true);
      worker.onerror = () => resolve(false);
      setTimeout(() => resolve(false), 1000);
    });
    if (!ready) throw new Error("no worker");
  } catch {
    worker?.terminate();  // prepared on the page
    worker = null;
  }
  return (app) => new Promise((resolve, reject) => {
    let text = null;
    const here = () => {
      worker?.terminate();
      try {
        if (text === null) text = app.getTimeLine() || "[]";
        resolve({ tl: prepareTimeline(text), arrived: performance.now() });
      } catch (e) {
        reject(e);
      }
    };
    if (!worker) return here();
    worker.onmessage = (e) => {
      worker.terminate();
      if (!e.data.tl) return here();  // its request failed: the page's call says why
      performance.mark("ovra-prepared-beside");
      resolve({ tl: e.data.tl, arrived: e.data.arrived - performance.timeOrigin });
    };
    worker.onerror = worker.onmessageerror = here;
    const address = app.getTimeLine.address;
    if (typeof address === "string") return worker.postMessage({ address });
    try {
      text = app.getTimeLine() || "[]";
    } catch (e) {
      worker.terminate();
      return reject(e);
    }
    worker.postMessage({ text, arrived: performance.timeOrigin + performance.now() });
  });
}

// Each chart says under its heading which channels it counts, and its legend names them.
function sayChannels(channels) {
  useChannels(channels);
  for (const heading of document.querySelectorAll("h3[data-counts]")) {
    const words = channelWords(channels, heading.dataset.counts);
    if (words) heading.append(el("span", `Counts ${words}.`, "counts"));
  }
}

async function start() {
  const app = window.appController;
  if (!app) {
    showProblem("This page is shown by Ovra: open the address that Ovra printed.");
    return;
  }
  let model;
  try {
    // Marks for the page benchmark: the texts asked for, read into the model, the page drawn.
    const prepare = await timelineWorker();
    performance.mark("ovra-bridge-asked");
    const timeline = prepare(app);
    // The request or text reaches the worker once this thread is free again: a turn of the
    // event loop before the next call holds it.
    await new Promise((resolve) => setTimeout(resolve, 0));
    const contactsText = app.getContacts() || "[]";
    const contactsArrived = performance.now();
    const contacts = readContacts(contactsText);
    const { tl, arrived } = await timeline;
    performance.mark("ovra-bridge-answered", { startTime: Math.max(arrived, contactsArrived) });
    model = buildModel(tl, contacts);
    performance.mark("ovra-model-built");
  } catch (e) {
    showProblem(`The data could not be read (${e.message}).`);
    return;
  }
  window.ovraModel = model;  // for the browser tests and the benchmark
  sayChannels(model.channels);
  if (model.damaged) showProblem("Part of the timeline could not be read; what could be read is shown.");

  let tab = "person", person = null, ranking = null, ready = false;
  const views = {
    person: createPersonView(model),
    compare: createCompareView(model, () => ranking.ranked()),
    everyone: createEveryoneView(model, {
      onRange: (from, to) => range.set(Math.floor(from / 86400 + offsetDays(from)),
                                       Math.floor(to / 86400 + offsetDays(to))),
      onPerson: (p) => choose(p),
    }),
  };
  const dayView = createDayView(model, (p) => choose(p));

  const redraw = () => {
    if (!ready) return;
    const empty = model.total.people ? "Nobody matches the search" : "Nobody in these dates";
    if (tab === "person") views.person.draw(person, empty);
    else if (tab === "compare") views.compare.draw(person);
    else if (tab === "everyone") views.everyone.draw();
    $("export-png").disabled = !views[tab]?.chart();
    $("export-csv").disabled = !ranking.shown().length;
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

  // Chosen in the list: shown in the person view, or as the first of the comparison.
  const parts = { list: $("list"), search: $("search"), sort: $("sort"), count: $("list-count") };
  ranking = createRanking(model, parts, (chosen, byHand) => {
    person = chosen;
    if (byHand && tab !== "person" && tab !== "compare") showTab("person");
    else redraw();
  });
  // Chosen anywhere else (a name in a sentence, a table, a day): the list follows.
  function choose(p) {
    if (!ranking.select(p)) return;
    if (tab !== "person") showTab("person");
  }

  const go = (target) => {
    if (target.person && !ranking.select(target.person)) return;
    if (target.tab === "compare") views.compare.draw(person, { other: target.other });
    showTab(target.tab);
    if (target.anchor) $(target.anchor).scrollIntoView({ block: "start" });
  };

  showLog($("log"), app.getDetailedLog());
  drawAccounts(model, readSummary(app.getReadingSummary()));
  const drawTop = () => {
    drawOverview(model, { openDay: (d) => dayView.open(d), go });
    drawStory(model, go);
  };
  const tl = model.tl;
  const range = createRangeControl(tl.firstDay, tl.firstDay + tl.days - 1, (next) => {
    applyRange(model, next);
    drawTop();
    ranking.refresh();
  });

  $("story-more").addEventListener("click", (e) => {
    const open = $("story").classList.toggle("open");
    e.target.setAttribute("aria-expanded", String(open));
    e.target.textContent = open ? "Less" : "Read the whole story";
  });
  $("compare-with").addEventListener("click", () => {
    showTab("compare");
    $("compare-search").focus();
  });
  $("export-csv").addEventListener("click", () => exportRanking(model, ranking.shown(), ranking.query()));
  $("export-png").addEventListener("click", () => {
    const chart = views[tab]?.chart();
    if (!chart) return;
    const span = model.range ? `${day(model.range.fromDay)} to ${day(model.range.toDay)}`
      : `All dates: ${date(model.total.first)} to ${date(model.total.last)}`;
    if (tab === "person") {
      exportChart(chart, { title: `${person.label}: messages and calls month by month`, dates: span,
                           who: person.label });
    } else if (tab === "compare") {
      const other = views.compare.other();
      exportChart(chart, { title: `${person.label} and ${other.label}: events month by month`, dates: span,
                           who: `${person.label} and ${other.label}` });
    } else {
      exportChart(chart, { title: "Everyone: messages and calls month by month", dates: span, who: "everyone" });
    }
  });

  ready = true;
  drawTop();
  redraw();
  let pending = false;
  // The charts follow the panel's width; its height follows what is drawn.
  let width = null;
  new ResizeObserver(([entry]) => {
    const first = width === null;
    if (pending || entry.contentRect.width === width) return;
    width = entry.contentRect.width;
    if (first) return;  // drawn just now
    pending = true;
    requestAnimationFrame(() => { pending = false; redraw(); });
  }).observe(document.querySelector(".panel"));
  matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => {
    for (const view of Object.values(views)) view.forgetChart();
    redraw();
  });
  performance.mark("ovra-interactive");
}

// Wall-clock days of an instant are counted from its local time: the zone's offset, in days.
const offsetDays = (seconds) => -new Date(seconds * 1000).getTimezoneOffset() / 1440;

function showProblem(text) {
  const p = $("problem");
  p.textContent = text;
  p.hidden = false;
}

start();

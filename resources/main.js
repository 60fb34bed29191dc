// The main page: reads the contacts and the timeline once, ranks the people, and draws the
// chosen person, everyone together and the detailed log. Dense charts are on canvas; the
// ranking draws only the rows in sight, so 5,000 people stay quick to search and browse.
import * as data from "./ovra-data.js";
import { number, date, day, duration, percent, el, fillStats, colours, drawHeat, drawBars } from "./view.js";

const $ = (id) => document.getElementById(id);
const ROW = 44;  // height of a ranking row, in CSS pixels

const SORTS = {
  volume: (p) => p.volume, messages: (p) => p.messages, calls: (p) => p.calls,
  callTime: (p) => p.callTime, last: (p) => (Number.isFinite(p.last) ? p.last : -Infinity),
  balance: (p) => (Number.isFinite(p.balance) ? p.balance : -Infinity),
};
const SORT_TEXT = {
  volume: (p) => `${number.format(p.volume)} events`,
  messages: (p) => `${number.format(p.messages)} messages`,
  calls: (p) => `${number.format(p.calls)} calls`,
  callTime: (p) => duration(p.callTime),
  last: (p) => date(p.last),
  balance: (p) => `${percent(p.balance)} sent by you`,
};

const state = { model: null, shown: [], active: 0, person: null, tab: "person", charts: {} };

function start() {
  const app = window.appController;
  if (!app) {
    showProblem("This page is shown by Ovra: open the address that Ovra printed.");
    return;
  }
  let model;
  try {
    model = data.buildModel(app.getTimeLine() || "[]", app.getContacts() || "[]");
  } catch (e) {
    showProblem(`The data could not be read (${e.message}).`);
    return;
  }
  state.model = model;
  if (model.damaged) showProblem("Part of the timeline could not be read; what could be read is shown.");
  drawOverview(model.total);
  $("log").replaceChildren(...data.logLines(app.getDetailedLog()).map((line) => el("li", line)));

  $("search").addEventListener("input", () => refreshList(true));
  $("sort").addEventListener("change", () => refreshList(true));
  $("list").addEventListener("scroll", drawRows, { passive: true });
  $("list").addEventListener("keydown", onListKey);
  $("list").addEventListener("click", (e) => {
    const row = e.target.closest("[data-at]");
    if (row) choose(Number(row.dataset.at));
  });
  $("export-csv").addEventListener("click", exportCsv);
  $("export-png").addEventListener("click", exportPng);
  for (const tab of document.querySelectorAll('[role="tab"]')) {
    tab.addEventListener("click", () => showTab(tab.id.slice(4)));
    tab.addEventListener("keydown", onTabKey);
  }
  new ResizeObserver(() => redraw()).observe(document.querySelector(".panel"));
  new ResizeObserver(drawRows).observe($("list"));
  matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => {
    for (const chart of Object.values(state.charts)) chart?.destroy();
    state.charts = {};
    redraw();
  });
  refreshList(true);
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

// The ranking: filter by the search text, order by the chosen measure, keep the person in
// view chosen when they are still listed.
function refreshList(keepPerson) {
  const query = data.fold($("search").value.trim());
  const key = SORTS[$("sort").value] ?? SORTS.volume;
  const people = state.model.people;
  const shown = query ? people.filter((p) => p.search.includes(query)) : people.slice();
  shown.sort((a, b) => key(b) - key(a) || b.volume - a.volume || a.index - b.index);
  state.shown = shown;
  $("list").querySelector(".spacer").style.height = `${shown.length * ROW}px`;
  $("list-count").textContent = query
    ? `${number.format(shown.length)} of ${number.format(people.length)} people match`
    : `${number.format(people.length)} people, five or more events each`;
  const at = keepPerson && state.person ? shown.indexOf(state.person) : -1;
  drawRows();
  if (at >= 0) {
    state.active = at;
    scrollToActive();
  } else {
    $("list").scrollTop = 0;
    choose(0);
  }
}

function drawRows() {
  const list = $("list"), spacer = list.querySelector(".spacer");
  const from = Math.max(0, Math.floor(list.scrollTop / ROW) - 2);
  const to = Math.min(state.shown.length, Math.ceil((list.scrollTop + list.clientHeight) / ROW) + 2);
  const top = state.shown[0]?.volume || 1;
  const label = SORT_TEXT[$("sort").value] ?? SORT_TEXT.volume;
  const rows = [];
  for (let k = from; k < to; ++k) {
    const p = state.shown[k];
    const row = el("div", undefined, "row");
    row.id = `person-${k}`;
    row.dataset.at = k;
    row.setAttribute("role", "option");
    row.setAttribute("aria-selected", String(k === state.active));
    row.style.top = `${k * ROW}px`;
    const bar = el("span", undefined, "bar");
    bar.style.width = `${Math.max(2, (100 * p.volume) / top)}%`;
    row.append(el("span", String(k + 1), "rank"), el("span", p.name, "name"),
               el("span", label(p), "figure"), bar);
    rows.push(row);
  }
  spacer.replaceChildren(...rows);
  if (state.shown.length) list.setAttribute("aria-activedescendant", `person-${state.active}`);
  else list.removeAttribute("aria-activedescendant");
}

// Brings the chosen row into sight (a scroll draws the rows anew) and marks it.
function scrollToActive() {
  const list = $("list"), y = state.active * ROW;
  if (y < list.scrollTop) list.scrollTop = y;
  else if (y + ROW > list.scrollTop + list.clientHeight) list.scrollTop = y + ROW - list.clientHeight;
  for (const row of list.querySelectorAll(".row")) {
    row.setAttribute("aria-selected", String(Number(row.dataset.at) === state.active));
  }
  if (state.shown.length) list.setAttribute("aria-activedescendant", `person-${state.active}`);
}

function choose(at) {
  if (!state.shown.length) {
    state.person = null;
    drawPerson(null);
    return;
  }
  state.active = Math.max(0, Math.min(state.shown.length - 1, at));
  state.person = state.shown[state.active];
  scrollToActive();
  drawPerson(state.person);
}

function onListKey(e) {
  const page = Math.max(1, Math.floor($("list").clientHeight / ROW) - 1);
  const moves = { ArrowDown: 1, ArrowUp: -1, PageDown: page, PageUp: -page };
  let at;
  if (e.key in moves) at = state.active + moves[e.key];
  else if (e.key === "Home") at = 0;
  else if (e.key === "End") at = state.shown.length - 1;
  else return;
  e.preventDefault();
  choose(at);
}

function onTabKey(e) {
  const tabs = [...document.querySelectorAll('[role="tab"]')];
  const k = tabs.indexOf(e.target);
  const to = e.key === "ArrowRight" ? k + 1 : e.key === "ArrowLeft" ? k - 1 : null;
  if (to === null) return;
  e.preventDefault();
  const tab = tabs[(to + tabs.length) % tabs.length];
  showTab(tab.id.slice(4));
  tab.focus();
}

function showTab(name) {
  state.tab = name;
  for (const tab of document.querySelectorAll('[role="tab"]')) {
    const on = tab.id === `tab-${name}`;
    tab.setAttribute("aria-selected", String(on));
    tab.tabIndex = on ? 0 : -1;
    $(tab.getAttribute("aria-controls")).hidden = !on;
  }
  $("export-png").disabled = name === "log";
  redraw();
}

function redraw() {
  if (!state.model) return;
  if (state.tab === "person") drawPerson(state.person);
  else if (state.tab === "everyone") drawEveryone();
}

function drawPerson(p) {
  if (state.tab !== "person") return;
  $("person-name").textContent = p ? p.name : "Nobody matches the search";
  $("person-span").textContent = p ? `First contact ${date(p.first)}, last contact ${date(p.last)}` : "";
  if (!p) {
    fillStats($("person-stats"), []);
    return;
  }
  const d = data.personDetail(state.model, p);
  fillStats($("person-stats"), [
    ["Messages you sent", number.format(p.sent)],
    ["Messages they sent", number.format(p.received)],
    ["Calls", `${number.format(p.calls)} (${number.format(p.callsIn)} in, ${number.format(p.callsOut)} out)`],
    ["Unanswered calls", number.format(p.unanswered)],
    ["Time on the phone", duration(p.callTime)],
    ["Typical call", `${duration(d.callMedian)} (longest ${duration(d.callLongest)})`],
    ["Who starts", `you ${number.format(d.started.you)}, them ${number.format(d.started.them)}`],
    ["Median reply within six hours", Number.isFinite(d.replyYou) || Number.isFinite(d.replyThem)
      ? `you ${duration(d.replyYou)}, them ${duration(d.replyThem)}` : "no quick replies"],
    ["Longest run of days", d.streak ? `${number.format(d.streak)} (to ${day(d.streakEnd)})` : "none"],
    ["Social threads", number.format(p.threads)],
  ]);
  plot("person", $("person-volume"), data.monthlySeries(state.model, p));
  drawHeat($("person-heat"), d.heat, Math.min(520, $("person-heat").parentElement.clientWidth));
  drawEmoticons(d.emoticons);
}

function drawEmoticons(list) {
  const body = $("person-emoticons").tBodies[0];
  $("person-emoticons").hidden = !list.length;
  $("person-no-emoticons").hidden = list.length > 0;
  if (!list.length) return body.replaceChildren();
  const years = list.flatMap((e) => e.times).map((t) => new Date(t * 1000).getFullYear());
  const first = Math.min(...years), last = Math.max(...years);
  const colour = colours().sent;
  body.replaceChildren(...list.slice(0, 12).map((e) => {
    const perYear = new Array(last - first + 1).fill(0);
    for (const t of e.times) ++perYear[new Date(t * 1000).getFullYear() - first];
    const canvas = el("canvas");
    canvas.setAttribute("role", "img");
    canvas.setAttribute("aria-label", `${first} to ${last}: ${perYear.join(", ")}`);
    drawBars(canvas, perYear, colour);
    const row = el("tr");
    const cell = el("td");
    cell.append(canvas);
    row.append(el("td", e.name), el("td", number.format(e.times.length)), cell);
    return row;
  }));
}

function drawEveryone() {
  plot("everyone", $("all-volume"), data.monthlySeries(state.model, null));
  const body = $("arcs").tBodies[0];
  const names = (list) => list.map((c) => `${c.person.name} (${c.delta > 0 ? "+" : ""}${c.delta})`).join(", ") || "none";
  body.replaceChildren(...data.arcs(state.model).map((a) => {
    const row = el("tr");
    row.append(el("th", String(a.year)), el("td", names(a.rose)), el("td", names(a.faded)));
    row.firstChild.scope = "row";
    return row;
  }));
}

// A month-by-month chart of sent, received, calls and threads (uPlot, on canvas).
function plot(name, box, series) {
  const c = colours();
  const xs = series.months.map((m) => new Date(Math.floor(m / 12), m % 12, 1).getTime() / 1000);
  const width = Math.max(280, box.clientWidth), height = Math.max(160, Math.min(260, width * 0.4));
  const values = [xs, series.sent, series.received, series.calls, series.threads];
  let chart = state.charts[name];
  if (chart && chart.root.parentElement === box) {
    chart.setData(values);
    values.slice(1).forEach((v, k) => chart.setSeries(k + 1, { show: v.some(Boolean) }));
    if (chart.width !== width || chart.height !== height) chart.setSize({ width, height });
    return;
  }
  chart?.destroy();
  const axis = { stroke: c.muted, grid: { stroke: c.grid, width: 1 }, ticks: { stroke: c.grid, width: 1 } };
  const line = (label, stroke, dash) => ({ label, stroke, width: 2, dash, points: { show: false },
                                           value: (u, v) => (v == null ? "" : number.format(v)) });
  chart = new window.uPlot({
    width, height, legend: { live: true }, cursor: { drag: { x: false, y: false } },
    scales: { x: { time: true } },
    axes: [{ ...axis }, { ...axis, size: 48 }],
    series: [{ label: "Month", value: (u, v) => (v == null ? "" : new Date(v * 1000).toLocaleDateString(undefined, { year: "numeric", month: "short" })) },
             line("You sent", c.sent), line("They sent", c.received, [6, 3]),
             line("Calls", c.calls, [2, 2]), line("Social threads", c.threads, [10, 3, 2, 3])],
  }, values, box);
  values.slice(1).forEach((v, k) => chart.setSeries(k + 1, { show: v.some(Boolean) }));
  state.charts[name] = chart;
}

function download(name, blob) {
  const a = el("a");
  a.href = URL.createObjectURL(blob);
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}

function exportCsv() {
  download("ovra-ranking.csv", new Blob([data.rankingCsv(state.shown)], { type: "text/csv" }));
}

// The chart in view, on the page's background, with its title.
function exportPng() {
  const chart = state.charts[state.tab];
  if (!chart) return;
  const source = chart.ctx.canvas, c = colours(), title = 28 * (window.devicePixelRatio || 1);
  const out = document.createElement("canvas");
  out.width = source.width;
  out.height = source.height + title;
  const ctx = out.getContext("2d");
  ctx.fillStyle = c.bg;
  ctx.fillRect(0, 0, out.width, out.height);
  ctx.fillStyle = c.fg;
  ctx.font = `${Math.round(title * 0.55)}px system-ui, sans-serif`;
  ctx.fillText(state.tab === "person" ? `${state.person?.name ?? ""}: month by month`
                                      : "Everyone: activity over the years", 8, title * 0.7);
  ctx.drawImage(source, 0, title);
  const who = state.tab === "person" ? (state.person?.name ?? "person") : "everyone";
  out.toBlob((blob) => download(`ovra-${who.replace(/[^\p{L}\p{N}]+/gu, "-")}.png`, blob));
}

start();

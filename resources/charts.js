// The month charts the views share, drawn by uPlot (loaded by the page as a script): counts
// per month with labelled axes in whole numbers from zero, messages on the left axis and
// calls on the right, lines for busy series and grouped bars for sparse ones, a legend, and
// on the everyone chart a range chosen by dragging. Colours follow the light or dark theme.
import { monthStart } from "./calendar.js";
import { number } from "./ui.js";

// The theme's colours, read from the style sheet so that canvas follows light and dark.
export function colours() {
  const css = getComputedStyle(document.documentElement);
  const get = (name) => css.getPropertyValue(name).trim();
  return { fg: get("--fg"), muted: get("--muted"), grid: get("--grid"), bg: get("--panel"),
           sent: get("--sent"), received: get("--received"), calls: get("--calls"),
           threads: get("--threads"), other: get("--other"), empty: get("--heat-empty"),
           select: get("--range") };
}

// Tick steps for counts: whole numbers only.
const COUNT_STEPS = [1, 2, 5, 10, 20, 25, 50, 100, 200, 250, 500, 1e3, 2e3, 2.5e3, 5e3, 1e4,
                     2e4, 2.5e4, 5e4, 1e5, 2e5, 2.5e5, 5e5, 1e6, 2e6, 5e6, 1e7];
// A series is sparse, and drawn as bars, when its busiest month has at most this many events
// or the chart spans at most this many months.
const SPARSE_COUNT = 10, FEW_MONTHS = 24;

// The series a month chart can show: key in the series, legend text, colour, axis.
export const MONTH_SERIES = [
  { key: "sent", label: "Messages you sent", colour: "sent", axis: "messages" },
  { key: "received", label: "Messages they sent", colour: "received", axis: "messages", dash: [6, 3] },
  { key: "threads", label: "Social-network messages", colour: "threads", axis: "messages", dash: [10, 3, 2, 3] },
  { key: "calls", label: "Calls (right axis)", colour: "calls", axis: "calls", dash: [2, 2] },
];

// With the messenger's messages in the timeline, the legends say which channels a series
// counts (set once, when the page has read the timeline).
let named = MONTH_SERIES;
export function useChannels(channels) {
  const messages = channels.whatsapp ? (channels.sms ? " (texts and WhatsApp)" : " (WhatsApp)") : "";
  const calls = channels.whatsapp ? " (phone and WhatsApp)" : "";
  named = MONTH_SERIES.map((l) => ({
    ...l, label: l.axis === "calls" ? l.label.replace("Calls", `Calls${calls}`)
      : l.key === "threads" ? l.label : l.label + messages,
  }));
}

// Each shown series' bars sit side by side inside their month.
function groupedBars(xs, months, k, of) {
  const starts = months.map((m) => monthStart(m).getTime() / 1000);
  const ends = months.map((m) => monthStart(m + 1).getTime() / 1000);
  const x0 = starts.map((s, i) => s + (ends[i] - s) * (0.1 + (0.8 * k) / of));
  const width = (30.44 * 86400 * 0.8) / of;
  return window.uPlot.paths.bars({ disp: { x0: { unit: 1, values: () => x0 },
                                           size: { unit: 1, values: () => [width] } } });
}

// Rounds the top of a count axis up to a step, so that it ends on a labelled tick.
const countRange = (u, min, max) => {
  const top = Math.max(4, max || 0);
  const step = COUNT_STEPS.find((s) => top / s <= 5) ?? 1e7;
  return [0, Math.ceil(top / step) * step];
};

// A month chart in BOX, made anew (the old CHART destroyed): SERIES as statistics.monthlySeries
// gives, or any {months, ...} with LINES [{key, label, colour, axis, dash}] to draw. With
// ONSELECT, dragging across the chart chooses a range: onSelect(fromSeconds, toSeconds).
// The month chart a view keeps: drawn again in place, or forgotten (destroyed; the next
// drawing makes it anew, in the theme's colours).
export function chartSlot() {
  let chart = null;
  return {
    get: () => chart,
    set: (made) => (chart = made),
    forget() {
      chart?.destroy();
      chart = null;
    },
  };
}

export function monthChart(box, series, chart, { lines = named, onSelect, title } = {}) {
  chart?.destroy();
  const c = colours();
  const xs = series.months.map((m) => monthStart(m).getTime() / 1000);
  const width = Math.max(280, box.clientWidth), height = Math.max(220, Math.min(240, width * 0.3));
  let shown = lines.filter((l) => series[l.key].some(Boolean));
  if (!shown.length) shown = lines.slice(0, 1);
  const top = (l) => Math.max(0, ...series[l.key]);
  const busiest = Math.max(0, ...shown.map(top));
  const bars = xs.length <= FEW_MONTHS || busiest <= SPARSE_COUNT;
  // Messages and calls share the left axis, labelled so, unless one is more than three times
  // the other; then calls get the right axis.
  const most = (axis) => Math.max(0, ...shown.filter((l) => l.axis === axis).map(top));
  const [msg, calls] = [most("messages"), most("calls")];
  const apart = msg > 0 && calls > 0 && Math.max(msg, calls) > 3 * Math.min(msg, calls);
  shown = shown.map((l) => (l.axis === "calls" && !apart
    ? { ...l, axis: msg > 0 ? "messages" : "calls", label: l.label.replace(" (right axis)", "") } : l));
  const axes = new Set(shown.map((l) => l.axis));
  const axis = { stroke: c.muted, grid: { stroke: c.grid, width: 1 }, ticks: { stroke: c.grid, width: 1 },
                 labelFont: "12px system-ui, sans-serif", font: "11px system-ui, sans-serif" };
  const countAxis = (scale, label, side) => ({
    ...axis, scale, side, label, labelSize: 18, size: 44, incrs: COUNT_STEPS,
    values: (u, ticks) => ticks.map((v) => (Number.isInteger(v) ? number.format(v) : "")),
    grid: side === 1 && axes.size > 1 ? { show: false } : axis.grid,
  });
  const month = (u, v) =>
    (v == null ? "" : new Date(v * 1000).toLocaleDateString(undefined, { year: "numeric", month: "short" }));
  const uPlot = window.uPlot;
  const opts = {
    width, height, title,
    legend: { live: true },
    cursor: { drag: { x: Boolean(onSelect), y: false, setScale: false }, points: { show: !bars } },
    select: { show: Boolean(onSelect) },
    scales: { x: { time: true, range: xs.length ? (u, lo, hi) => rangeWithMonth(xs, lo, hi) : undefined },
              messages: { range: countRange }, calls: { range: countRange } },
    axes: [{ ...axis, size: 40 },
           ...(axes.has("messages") ? [countAxis("messages", `${axisWords(shown)} per month`, 3)] : []),
           ...(axes.has("calls") ? [countAxis("calls", "calls per month", axes.size > 1 ? 1 : 3)] : [])],
    series: [{ label: "Month", value: month },
             ...shown.map((l, k) => ({
               label: l.label, scale: l.axis, stroke: c[l.colour] ?? l.colour, width: bars ? 1 : 2,
               dash: bars ? undefined : l.dash, fill: bars ? c[l.colour] ?? l.colour : undefined,
               paths: bars ? groupedBars(xs, series.months, k, shown.length) : undefined,
               points: { show: false }, value: (u, v) => (v == null ? "" : number.format(v)),
             }))],
    hooks: onSelect ? {
      setSelect: [(u) => {
        if (u.select.width < 2) return;
        const from = u.posToVal(u.select.left, "x"), to = u.posToVal(u.select.left + u.select.width, "x");
        u.setSelect({ left: 0, width: 0, top: 0, height: 0 }, false);
        onSelect(from, to);
      }],
    } : {},
  };
  const made = new uPlot(opts, [xs, ...shown.map((l) => series[l.key])], box);
  made.bars = bars;
  made.shownLines = shown;
  box.uplot = made;  // for the browser tests
  return made;
}

// The words of the left axis: what its series count.
function axisWords(shown) {
  const on = shown.filter((l) => l.axis === "messages");
  if (on.length && on.every((l) => l.unit)) return [...new Set(on.map((l) => l.unit))].join(" and ");
  return on.some((l) => l.key === "calls") ? "messages and calls" : "messages";
}

// The x axis spans the months shown, half a month either side so that bars stay inside.
function rangeWithMonth(xs, lo, hi) {
  const pad = 15 * 86400;
  return [xs[0] - pad, xs[xs.length - 1] + 2 * pad];
}

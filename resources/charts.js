// The charts the views share, on canvas: the month-by-month lines (uPlot, loaded by the page
// as a script), the rhythm heatmap and small bars. Colours follow the light or dark theme:
// the series' from the style sheet, the heatmap's from a d3 colour scheme.
import { max, maxIndex } from "d3-array";
import { scaleLinear, scaleQuantize } from "d3-scale";
import { interpolateBlues, interpolateViridis } from "d3-scale-chromatic";
import { monthStart } from "./calendar.js";
import { number } from "./ui.js";

const DAYS = ["Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"];
const dark = () => matchMedia("(prefers-color-scheme: dark)").matches;

// The theme's colours, read from the style sheet so that canvas follows light and dark.
export function colours() {
  const css = getComputedStyle(document.documentElement);
  const get = (name) => css.getPropertyValue(name).trim();
  return { fg: get("--fg"), muted: get("--muted"), grid: get("--grid"), bg: get("--bg"),
           sent: get("--sent"), received: get("--received"), calls: get("--calls"),
           threads: get("--threads"), empty: get("--heat-empty") };
}

// Five steps from few to many: light to dark blue on a light page, blue to yellow on a dark
// one; a cell without events keeps the theme's empty colour.
function heatColour(top, empty) {
  const steps = dark() ? [0.25, 0.45, 0.65, 0.85, 1].map(interpolateViridis)
                       : [0.3, 0.5, 0.7, 0.85, 1].map(interpolateBlues);
  const scale = scaleQuantize().domain([0, top]).range(steps);
  return (v) => (v ? scale(v) : empty);
}

// A canvas sized to its box in device pixels; returns its 2D context in CSS pixels.
function fit(canvas, width, height) {
  const ratio = window.devicePixelRatio || 1;
  canvas.style.width = `${width}px`;
  canvas.style.height = `${height}px`;
  canvas.width = Math.round(width * ratio);
  canvas.height = Math.round(height * ratio);
  const ctx = canvas.getContext("2d");
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  return ctx;
}

// Hour of day (columns) by day of week (rows), Monday first.
export function drawHeat(canvas, heat, width) {
  const c = colours();
  const left = 34, top = 16, cell = Math.max(6, Math.floor((width - left - 4) / 24));
  const ctx = fit(canvas, left + cell * 24 + 4, top + cell * 7 + 4);
  const most = Math.max(1, max(heat));
  const colour = heatColour(most, c.empty);
  ctx.font = "11px system-ui, sans-serif";
  ctx.fillStyle = c.muted;
  ctx.textBaseline = "middle";
  for (let h = 0; h < 24; h += 3) ctx.fillText(String(h), left + h * cell + 1, top / 2);
  [1, 2, 3, 4, 5, 6, 0].forEach((day, r) => {
    ctx.fillStyle = c.muted;
    ctx.fillText(DAYS[day], 0, top + r * cell + cell / 2);
    for (let h = 0; h < 24; ++h) {
      ctx.fillStyle = colour(heat[day * 24 + h]);
      ctx.fillRect(left + h * cell, top + r * cell, cell - 1, cell - 1);
    }
  });
  const busiest = maxIndex(heat);
  canvas.setAttribute("aria-label", heat.some(Boolean)
    ? `Busiest: ${DAYS[Math.floor(busiest / 24)]} at ${busiest % 24}:00 (${most} events)`
    : "No events with a time");
}

// Small bars, one per value, for a row of a table.
export function drawBars(canvas, values, colour) {
  const width = Math.max(40, values.length * 6), height = 18;
  const ctx = fit(canvas, width, height);
  const y = scaleLinear().domain([0, Math.max(1, max(values))]).rangeRound([0, height - 2]);
  const w = width / Math.max(1, values.length);
  ctx.fillStyle = colour;
  values.forEach((v, k) => {
    const h = Math.max(1, y(v));
    if (v) ctx.fillRect(k * w, height - h, Math.max(1, w - 1), h);
  });
}

// Month by month (statistics.monthlySeries) as lines of sent, received, calls and threads,
// in BOX; updates CHART when it is still there, else makes a new one. Returns the chart.
export function monthChart(box, series, chart) {
  const c = colours();
  const xs = series.months.map((m) => monthStart(m).getTime() / 1000);
  const width = Math.max(280, box.clientWidth), height = Math.max(160, Math.min(260, width * 0.4));
  const values = [xs, series.sent, series.received, series.calls, series.threads];
  if (chart && chart.root.parentElement === box) {
    chart.setData(values);
    values.slice(1).forEach((v, k) => chart.setSeries(k + 1, { show: v.some(Boolean) }));
    if (chart.width !== width || chart.height !== height) chart.setSize({ width, height });
    return chart;
  }
  chart?.destroy();
  const axis = { stroke: c.muted, grid: { stroke: c.grid, width: 1 }, ticks: { stroke: c.grid, width: 1 } };
  const line = (label, stroke, dash) => ({ label, stroke, width: 2, dash, points: { show: false },
                                           value: (u, v) => (v == null ? "" : number.format(v)) });
  const month = (u, v) =>
    (v == null ? "" : new Date(v * 1000).toLocaleDateString(undefined, { year: "numeric", month: "short" }));
  chart = new window.uPlot({
    width, height, legend: { live: true }, cursor: { drag: { x: false, y: false } },
    scales: { x: { time: true } },
    axes: [{ ...axis }, { ...axis, size: 48 }],
    series: [{ label: "Month", value: month },
             line("You sent", c.sent), line("They sent", c.received, [6, 3]),
             line("Calls", c.calls, [2, 2]), line("Social threads", c.threads, [10, 3, 2, 3])],
  }, values, box);
  values.slice(1).forEach((v, k) => chart.setSeries(k + 1, { show: v.some(Boolean) }));
  return chart;
}

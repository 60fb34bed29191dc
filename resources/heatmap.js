// The rhythm heatmap (hour of day by day of week) with its colour key, the count of a cell
// shown on hover and on keyboard focus; and the small year-by-year bars of the emoticons,
// with their years. On canvas; darker means more in both themes.
import { max, maxIndex } from "d3-array";
import { scaleLinear, scaleQuantize } from "d3-scale";
import { interpolateBlues } from "d3-scale-chromatic";
import { colours } from "./charts.js";
import { number, el } from "./ui.js";

const DAYS = ["Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"];
const DAY_NAMES = ["Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"];
const ROWS = [1, 2, 3, 4, 5, 6, 0];  // Monday first
const dark = () => matchMedia("(prefers-color-scheme: dark)").matches;

// Up to five steps from few to many, light to dark blue in both themes (on a dark page the
// scale starts and ends a little later, so that few does not glare and many still stands out
// from the page); a cell without events keeps the theme's empty colour. Returns the colour of
// a count and the key's steps [{colour, from, to}].
function heatScale(top, empty) {
  const stops = dark() ? [0.3, 0.45, 0.6, 0.75, 0.9] : [0.2, 0.4, 0.6, 0.8, 1];
  const n = Math.max(1, Math.min(5, top));
  const steps = stops.slice(5 - n).map(interpolateBlues);
  const scale = scaleQuantize().domain([1, top + 1]).range(steps);
  const cuts = [1, ...scale.thresholds().map(Math.ceil), top + 1];
  const key = steps.map((colour, k) => ({ colour, from: cuts[k], to: cuts[k + 1] - 1 }))
                   .filter((s) => s.to >= s.from);
  return { colour: (v) => (v ? scale(v) : empty), key };
}

// A canvas sized to its box in device pixels; returns its 2D context in CSS pixels.
// A canvas of the same size is cleared rather than made anew.
export function fit(canvas, width, height) {
  const ratio = window.devicePixelRatio || 1;
  const w = Math.round(width * ratio), h = Math.round(height * ratio);
  if (canvas.width !== w || canvas.height !== h) {
    canvas.style.width = `${width}px`;
    canvas.style.height = `${height}px`;
    canvas.width = w;
    canvas.height = h;
  }
  const ctx = canvas.getContext("2d");
  ctx.setTransform(1, 0, 0, 1, 0, 0);
  ctx.clearRect(0, 0, w, h);
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  return ctx;
}

const hours = (h) => `${String(h).padStart(2, "0")}:00–${String((h + 1) % 24).padStart(2, "0")}:00`;

// A heatmap in BOX (an empty element): the canvas, its key and a line that reads out the
// cell under the pointer or the keyboard's cell. draw(heat, width) shows HEAT (day of week
// × 24 + hour, Sunday 0).
export function createHeatmap(box, what) {
  const canvas = el("canvas", undefined, "heat");
  canvas.tabIndex = 0;
  canvas.setAttribute("role", "img");
  const key = el("div", undefined, "heat-key");
  const readout = el("p", "", "heat-readout muted");
  readout.setAttribute("aria-live", "polite");
  box.replaceChildren(canvas, key, readout);
  let heat = new Uint32Array(168), geometry = null, cell = null;

  function paint() {
    const { left, top, size, colour } = geometry;
    const c = colours();
    const ctx = fit(canvas, left + size * 24 + 4, top + size * 7 + 4);
    ctx.font = "11px system-ui, sans-serif";
    ctx.fillStyle = c.muted;
    ctx.textBaseline = "middle";
    for (let h = 0; h < 24; h += 3) ctx.fillText(String(h), left + h * size + 1, top / 2);
    ROWS.forEach((day, r) => {
      ctx.fillStyle = c.muted;
      ctx.fillText(DAYS[day], 0, top + r * size + size / 2);
      for (let h = 0; h < 24; ++h) {
        ctx.fillStyle = colour(heat[day * 24 + h]);
        ctx.fillRect(left + h * size, top + r * size, size - 1, size - 1);
      }
    });
    if (cell) {
      ctx.strokeStyle = c.fg;
      ctx.lineWidth = 2;
      ctx.strokeRect(left + cell.h * size - 0.5, top + cell.r * size - 0.5, size, size);
    }
  }

  function show(next) {
    cell = next;
    paint();
    readout.textContent = cell
      ? `${DAY_NAMES[ROWS[cell.r]]}, ${hours(cell.h)}: ` +
        `${number.format(heat[ROWS[cell.r] * 24 + cell.h])} ${what}`
      : "Point at a cell, or focus the chart and use the arrow keys, to read its count.";
  }

  canvas.addEventListener("mousemove", (e) => {
    if (!geometry) return;
    const b = canvas.getBoundingClientRect();
    const h = Math.floor((e.clientX - b.left - geometry.left) / geometry.size);
    const r = Math.floor((e.clientY - b.top - geometry.top) / geometry.size);
    show(h >= 0 && h < 24 && r >= 0 && r < 7 ? { h, r } : null);
  });
  canvas.addEventListener("mouseleave", () => show(null));
  canvas.addEventListener("focus", () => show(cell ?? { h: 12, r: 0 }));
  canvas.addEventListener("blur", () => show(null));
  canvas.addEventListener("keydown", (e) => {
    const move = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] }[e.key];
    if (!move || !cell) return;
    e.preventDefault();
    show({ h: (cell.h + move[0] + 24) % 24, r: (cell.r + move[1] + 7) % 7 });
  });

  return {
    draw(next, width) {
      heat = next;
      const c = colours();
      const most = Math.max(1, max(heat));
      const scale = heatScale(most, c.empty);
      const size = Math.max(8, Math.min(22, Math.floor((width - 38) / 24)));
      geometry = { left: 34, top: 16, size, colour: scale.colour };
      key.replaceChildren(el("span", "Fewer", "muted"), ...scale.key.map((s) => {
        const words = s.from === s.to ? number.format(s.from)
          : `${number.format(s.from)}–${number.format(s.to)}`;
        const chip = el("span", words, "chip");
        chip.style.setProperty("--chip", s.colour);
        return chip;
      }), el("span", "more", "muted"));
      const busiest = maxIndex(heat);
      canvas.setAttribute("aria-label", heat.some(Boolean)
        ? `Busiest: ${DAY_NAMES[Math.floor(busiest / 24)]} at ${busiest % 24}:00 ` +
          `(${number.format(most)} ${what}); focus to read each cell`
        : `No ${what} with a time`);
      show(document.activeElement === canvas ? cell : null);
    },
  };
}

// Small bars, one per year, for a row of a table, each with its year beneath ('09) when there
// is room, else the first and the last year.
export function drawBars(canvas, values, colour, firstYear) {
  const c = colours();
  const w = values.length > 8 ? 14 : 20, width = Math.max(40, values.length * w), height = 34;
  const ctx = fit(canvas, width, height);
  const plot = 20;
  const y = scaleLinear().domain([0, Math.max(1, max(values))]).rangeRound([0, plot - 2]);
  ctx.fillStyle = colour;
  values.forEach((v, k) => {
    const h = Math.max(1, y(v));
    if (v) ctx.fillRect(k * w + 1, plot - h, w - 3, h);
  });
  ctx.fillStyle = c.grid;
  ctx.fillRect(0, plot, width, 1);
  ctx.fillStyle = c.muted;
  ctx.font = "10px system-ui, sans-serif";
  ctx.textBaseline = "top";
  const label = (k) => `’${String((firstYear + k) % 100).padStart(2, "0")}`;
  values.forEach((v, k) => {
    if (values.length <= 12 || k === 0 || k === values.length - 1) ctx.fillText(label(k), k * w, plot + 3);
  });
}

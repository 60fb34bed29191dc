// Drawing helpers shared by the pages: formatting in the viewer's locale and time zone, the
// theme's colours, text-only DOM building, the rhythm heatmap and small bars on canvas.

export const number = new Intl.NumberFormat();
const dateFormat = new Intl.DateTimeFormat(undefined, { year: "numeric", month: "short", day: "numeric" });
export const date = (t) => (Number.isFinite(t) ? dateFormat.format(new Date(t * 1000)) : "none");
// A calendar day counted in the viewer's own time zone (days since 1970-01-01 there).
const dayFormat = new Intl.DateTimeFormat(undefined, { year: "numeric", month: "short", day: "numeric", timeZone: "UTC" });
export const day = (d) => (Number.isFinite(d) ? dayFormat.format(new Date(d * 86400000)) : "none");

export function duration(seconds) {
  if (!Number.isFinite(seconds)) return "none";
  const s = Math.round(seconds);
  if (s < 60) return `${s} s`;
  if (s < 3600) return `${Math.floor(s / 60)} min ${s % 60} s`;
  if (s < 86400) return `${Math.floor(s / 3600)} h ${Math.floor((s % 3600) / 60)} min`;
  return `${number.format(Math.floor(s / 86400))} d ${Math.floor((s % 86400) / 3600)} h`;
}

export const percent = (x) => (Number.isFinite(x) ? `${Math.round(100 * x)}%` : "none");

// An element with text content only: nothing from the data is ever read as markup.
export function el(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined) node.textContent = text;
  if (className) node.className = className;
  return node;
}

// Term/value pairs into a <dl>.
export function fillStats(dl, pairs) {
  dl.replaceChildren();
  for (const [term, value] of pairs) {
    const box = el("div");
    box.append(el("dt", term), el("dd", value));
    dl.append(box);
  }
}

// The theme's colours, read from the style sheet so that canvas follows light and dark.
export function colours() {
  const css = getComputedStyle(document.documentElement);
  const get = (name) => css.getPropertyValue(name).trim();
  return { fg: get("--fg"), muted: get("--muted"), grid: get("--grid"), bg: get("--bg"),
           sent: get("--sent"), received: get("--received"), calls: get("--calls"),
           threads: get("--threads"), heat: [0, 1, 2, 3, 4, 5].map((k) => get(`--heat${k}`)) };
}

// A canvas sized to its box in device pixels; returns its 2D context in CSS pixels.
export function fit(canvas, width, height) {
  const ratio = window.devicePixelRatio || 1;
  canvas.style.width = `${width}px`;
  canvas.style.height = `${height}px`;
  canvas.width = Math.round(width * ratio);
  canvas.height = Math.round(height * ratio);
  const ctx = canvas.getContext("2d");
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  return ctx;
}

const DAYS = ["Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"];

// Hour of day (columns) by day of week (rows), Monday first, in a sequential scale.
export function drawHeat(canvas, heat, width) {
  const c = colours();
  const left = 34, top = 16, cell = Math.max(6, Math.floor((width - left - 4) / 24));
  const ctx = fit(canvas, left + cell * 24 + 4, top + cell * 7 + 4);
  const max = Math.max(1, ...heat);
  ctx.font = "11px system-ui, sans-serif";
  ctx.fillStyle = c.muted;
  ctx.textBaseline = "middle";
  for (let h = 0; h < 24; h += 3) ctx.fillText(String(h), left + h * cell + 1, top / 2);
  const rows = [1, 2, 3, 4, 5, 6, 0];
  rows.forEach((day, r) => {
    ctx.fillStyle = c.muted;
    ctx.fillText(DAYS[day], 0, top + r * cell + cell / 2);
    for (let h = 0; h < 24; ++h) {
      const v = heat[day * 24 + h];
      ctx.fillStyle = c.heat[v ? 1 + Math.min(4, Math.floor((4 * v) / max)) : 0];
      ctx.fillRect(left + h * cell, top + r * cell, cell - 1, cell - 1);
    }
  });
  const busiest = heat.indexOf(Math.max(...heat));
  canvas.setAttribute("aria-label", heat.some(Boolean)
    ? `Busiest: ${DAYS[Math.floor(busiest / 24)]} at ${busiest % 24}:00 (${max} events)`
    : "No events with a time");
}

// Small bars, one per value, for a row of a table.
export function drawBars(canvas, values, colour) {
  const width = Math.max(40, values.length * 6), height = 18;
  const ctx = fit(canvas, width, height);
  const max = Math.max(1, ...values), w = width / Math.max(1, values.length);
  ctx.fillStyle = colour;
  values.forEach((v, k) => {
    const h = Math.round((v / max) * (height - 2));
    if (v) ctx.fillRect(k * w, height - Math.max(1, h), Math.max(1, w - 1), Math.max(1, h));
  });
}

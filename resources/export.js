// The exports: the ranking as CSV and the chart in view as PNG, handed to the browser as
// downloads.
import { colours } from "./charts.js";

// The ranking as CSV, with every field quoted.
export function rankingCsv(people) {
  const q = (v) => `"${String(v).replace(/"/g, '""')}"`;
  const iso = (t) => (Number.isFinite(t) ? new Date(t * 1000).toISOString() : "");
  const lines = [["name", "messages sent", "messages received", "calls", "unanswered calls",
                  "call seconds", "social threads", "first contact", "last contact",
                  "share you sent"].map(q).join(",")];
  for (const p of people) {
    lines.push([p.name, p.sent, p.received, p.calls, p.unanswered, p.callTime, p.threads,
                iso(p.first), iso(p.last),
                Number.isFinite(p.balance) ? p.balance.toFixed(3) : ""].map(q).join(","));
  }
  return lines.join("\r\n") + "\r\n";
}

// A file name from a name shown on the page: letters and digits, the rest as dashes.
export const fileName = (name) => name.replace(/[^\p{L}\p{N}]+/gu, "-");

function download(name, blob) {
  const a = document.createElement("a");
  a.href = URL.createObjectURL(blob);
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}

export function exportRanking(people) {
  download("ovra-ranking.csv", new Blob([rankingCsv(people)], { type: "text/csv" }));
}

// A uPlot chart on the page's background, with a title line above it, as ovra-WHO.png.
export function exportChart(chart, title, who) {
  const source = chart.ctx.canvas, c = colours(), line = 28 * (window.devicePixelRatio || 1);
  const out = document.createElement("canvas");
  out.width = source.width;
  out.height = source.height + line;
  const ctx = out.getContext("2d");
  ctx.fillStyle = c.bg;
  ctx.fillRect(0, 0, out.width, out.height);
  ctx.fillStyle = c.fg;
  ctx.font = `${Math.round(line * 0.55)}px system-ui, sans-serif`;
  ctx.fillText(title, 8, line * 0.7);
  ctx.drawImage(source, 0, line);
  out.toBlob((blob) => download(`ovra-${fileName(who)}.png`, blob));
}

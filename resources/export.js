// The exports: the ranking as CSV (rank, events and every measure, in the date range) and the
// chart in view as PNG with its title, dates and legend, handed to the browser as downloads.
import { colours } from "./charts.js";
import { isoDay } from "./calendar.js";
import { measures } from "./measures.js";
import { personDetail } from "./statistics.js";

const NOBODY = { volume: 0, sent: 0, received: 0, balance: NaN, calls: 0, callTime: 0, first: NaN, last: NaN };
const NO_DETAIL = { callsIn: 0, callsOut: 0, unanswered: 0, callMedian: NaN, callLongest: NaN,
                    started: { you: 0, them: 0 }, replyYou: NaN, replyThem: NaN, streak: 0,
                    streakEnd: NaN, threads: 0 };

// The ranking as CSV, with every field quoted: one line per person of PEOPLE, in order.
export function rankingCsv(model, people) {
  const q = (v) => `"${String(v).replace(/"/g, '""')}"`;
  const columns = (p, d) => measures(p, d).flatMap((m) => m.csv);
  const lines = [["rank", "name", "told apart by", ...columns(NOBODY, NO_DETAIL).map((c) => c[0])]
    .map(q).join(",")];
  for (const p of people) {
    lines.push([p.rank, p.name, p.detail, ...columns(p, personDetail(model, p)).map((c) => c[1])]
      .map(q).join(","));
  }
  return lines.join("\r\n") + "\r\n";
}

// A file name from a name shown on the page: letters and digits, the rest as dashes.
export const fileName = (name) => name.replace(/[^\p{L}\p{N}]+/gu, "-").replace(/^-|-$/g, "");

// The CSV's file name: says when it holds only a search's matches, and the dates.
export function csvName(query, range) {
  return ["ovra-ranking", query ? `matching-${fileName(query)}` : "",
          range ? `${isoDay(range.fromDay)}-to-${isoDay(range.toDay)}` : ""]
    .filter(Boolean).join("-") + ".csv";
}

function download(name, blob) {
  const a = document.createElement("a");
  a.href = URL.createObjectURL(blob);
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}

export function exportRanking(model, people, query) {
  download(csvName(query, model.range), new Blob([rankingCsv(model, people)], { type: "text/csv" }));
}

// A month chart (charts.monthChart) as ovra-WHO.png on the panel's background: its TITLE and
// DATES above it, its legend below.
export function exportChart(chart, { title, dates, who }) {
  const source = chart.ctx.canvas, c = colours(), ratio = window.devicePixelRatio || 1;
  const line = 26 * ratio, pad = 10 * ratio;
  const legend = chart.shownLines ?? [];
  const out = document.createElement("canvas");
  out.width = source.width + 2 * pad;
  out.height = source.height + 2 * line + (legend.length ? line : 0) + pad;
  const ctx = out.getContext("2d");
  ctx.fillStyle = c.bg;
  ctx.fillRect(0, 0, out.width, out.height);
  ctx.fillStyle = c.fg;
  ctx.textBaseline = "middle";
  ctx.font = `600 ${Math.round(16 * ratio)}px system-ui, sans-serif`;
  ctx.fillText(title, pad, line * 0.6);
  ctx.fillStyle = c.muted;
  ctx.font = `${Math.round(13 * ratio)}px system-ui, sans-serif`;
  ctx.fillText(dates, pad, line * 1.45);
  ctx.drawImage(source, pad, 2 * line);
  let x = pad;
  const y = 2 * line + source.height + line * 0.5;
  for (const l of legend) {
    ctx.fillStyle = c[l.colour] ?? l.colour;
    ctx.fillRect(x, y - 6 * ratio, 12 * ratio, 12 * ratio);
    ctx.fillStyle = c.fg;
    ctx.fillText(l.label, x + 18 * ratio, y);
    x += 18 * ratio + ctx.measureText(l.label).width + 20 * ratio;
  }
  out.toBlob((blob) => download(`ovra-${fileName(who)}.png`, blob));
}

// The person view: the chosen person's figures, their months, their rhythm by hour and day
// of the week, and their emoticons year by year.
import { colours, drawBars, drawHeat, monthChart } from "./charts.js";
import { emoticonYears, monthlySeries, personDetail } from "./statistics.js";
import { number, date, day, duration, el, fillStats } from "./ui.js";

const $ = (id) => document.getElementById(id);

export function createPersonView(model) {
  let chart = null;

  function draw(p) {
    $("person-name").textContent = p ? p.name : "Nobody matches the search";
    $("person-span").textContent = p ? `First contact ${date(p.first)}, last contact ${date(p.last)}` : "";
    if (!p) {
      fillStats($("person-stats"), []);
      return;
    }
    const d = personDetail(model, p);
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
    chart = monthChart($("person-volume"), monthlySeries(model, p), chart);
    drawHeat($("person-heat"), d.heat, Math.min(520, $("person-heat").parentElement.clientWidth));
    drawEmoticons(d.emoticons);
  }

  return {
    draw,
    chart: () => chart,
    // Charts are made anew in the theme's colours.
    forgetChart() {
      chart?.destroy();
      chart = null;
    },
  };
}

function drawEmoticons(list) {
  const table = $("person-emoticons"), body = table.tBodies[0];
  const { first, last, rows } = emoticonYears(list);
  table.hidden = !rows.length;
  $("person-no-emoticons").hidden = rows.length > 0;
  const colour = colours().sent;
  body.replaceChildren(...rows.map((e) => {
    const canvas = el("canvas");
    canvas.setAttribute("role", "img");
    canvas.setAttribute("aria-label", `${first} to ${last}: ${e.perYear.join(", ")}`);
    drawBars(canvas, e.perYear, colour);
    const row = el("tr"), cell = el("td");
    cell.append(canvas);
    row.append(el("td", e.name), el("td", number.format(e.times)), cell);
    return row;
  }));
}

// The person view: the chosen person's measures in the date range, their months, their
// rhythm by hour and day of the week, and their emoticons year by year. With nobody chosen
// (a search that matches nobody) the view is empty.
import { createHeatmap, drawBars } from "./heatmap.js";
import { chartSlot, colours, monthChart } from "./charts.js";
import { measures } from "./measures.js";
import { emoticonYears, monthlySeries, personDetail } from "./statistics.js";
import { number, date, el, fillStats } from "./ui.js";

const $ = (id) => document.getElementById(id);

export function createPersonView(model) {
  const slot = chartSlot();
  const heatmap = createHeatmap($("person-heat"), "events");

  // Draws P, or with none says why: EMPTY ("Nobody matches the search").
  function draw(p, empty = "Nobody matches the search") {
    $("person-name").textContent = p ? p.name : empty;
    $("person-detail").textContent = p?.detail ?? "";
    $("person-span").textContent = p
      ? `First contact ${date(p.first)}, last contact ${date(p.last)}${model.range ? " (in these dates)" : ""}`
      : model.total.people ? "Change the search, or clear it, to see a person."
        : "Choose other dates, or all dates, to see a person.";
    $("person-body").hidden = !p;
    $("compare-with").hidden = !p;
    if (!p) {
      fillStats($("person-stats"), []);
      slot.forget();
      return;
    }
    const d = personDetail(model, p);
    // Social-network messages only when the inbox was added.
    const shown = measures(p, d).filter((m) => !m.brief &&
                                         (m.term !== "Social-network messages" || model.hasThreads));
    fillStats($("person-stats"), shown.map((m) => [m.term, m.text, m.explain]));
    slot.set(monthChart($("person-volume"), monthlySeries(model, p), slot.get()));
    const box = $("person-heat");
    heatmap.draw(d.heat, Math.min(560, box.parentElement.clientWidth));
    drawEmoticons(d.emoticons);
  }

  return {
    draw,
    chart: slot.get,
    // Charts are made anew in the theme's colours.
    forgetChart: slot.forget,
  };
}

function drawEmoticons(list) {
  const table = $("person-emoticons"), body = table.tBodies[0];
  const { first, last, rows } = emoticonYears(list);
  table.hidden = !rows.length;
  $("person-no-emoticons").hidden = rows.length > 0;
  $("emoticon-years").textContent = rows.length ? `Year by year, ${first} to ${last}` : "Year by year";
  const colour = colours().sent;
  body.replaceChildren(...rows.map((e) => {
    const canvas = el("canvas");
    canvas.setAttribute("role", "img");
    canvas.setAttribute("aria-label", e.perYear.map((n, k) => `${first + k}: ${n}`).join(", "));
    drawBars(canvas, e.perYear, colour, first);
    const row = el("tr"), cell = el("td");
    cell.append(canvas);
    row.append(el("td", e.name), el("td", number.format(e.times)), cell);
    return row;
  }));
}

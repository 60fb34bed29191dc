// The everyone view: all events month by month, and for each year who rose and who faded
// among your top people.
import { monthChart } from "./charts.js";
import { arcs, monthlySeries } from "./statistics.js";
import { el } from "./ui.js";

const $ = (id) => document.getElementById(id);

export function createEveryoneView(model) {
  let chart = null;

  function draw() {
    chart = monthChart($("all-volume"), monthlySeries(model, null), chart);
    const names = (list) =>
      list.map((c) => `${c.person.name} (${c.delta > 0 ? "+" : ""}${c.delta})`).join(", ") || "none";
    $("arcs").tBodies[0].replaceChildren(...arcs(model).map((a) => {
      const row = el("tr"), year = el("th", String(a.year));
      year.scope = "row";
      row.append(year, el("td", names(a.rose)), el("td", names(a.faded)));
      return row;
    }));
  }

  return {
    draw,
    chart: () => chart,
    forgetChart() {
      chart?.destroy();
      chart = null;
    },
  };
}

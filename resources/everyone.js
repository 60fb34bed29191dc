// The everyone view: all events month by month (dragging across the chart chooses a date
// range), everyone's rhythm, and for each year who rose and who faded among your top people,
// each name leading to that person.
import { chartSlot, monthChart } from "./charts.js";
import { createHeatmap } from "./heatmap.js";
import { arcs, everyoneHeat, monthlySeries } from "./statistics.js";
import { el, linkButton, number } from "./ui.js";

const $ = (id) => document.getElementById(id);

// onRange(fromSeconds, toSeconds) when a range is dragged; onPerson(person) when a name is
// chosen.
export function createEveryoneView(model, { onRange, onPerson }) {
  const slot = chartSlot();
  const heatmap = createHeatmap($("all-heat"), "events");

  function draw() {
    slot.set(monthChart($("all-volume"), monthlySeries(model, null), slot.get(), { onSelect: onRange }));
    heatmap.draw(everyoneHeat(model), Math.min(560, $("all-heat").parentElement.clientWidth));
    const names = (list, sign) => {
      const cell = el("td");
      if (!list.length) cell.textContent = "none";
      list.forEach((c, k) => {
        if (k) cell.append(", ");
        cell.append(linkButton(c.person.label, () => onPerson(c.person)),
                    ` (${sign}${number.format(Math.abs(c.delta))})`);
      });
      return cell;
    };
    const rows = arcs(model).map((a) => {
      const row = el("tr"), year = el("th", String(a.year));
      year.scope = "row";
      row.append(year, names(a.rose, "+"), names(a.faded, "−"));
      return row;
    });
    $("arcs").tBodies[0].replaceChildren(...rows);
    $("arcs").hidden = !rows.length;
    $("no-arcs").hidden = rows.length > 0;
  }

  return {
    draw,
    chart: slot.get,
    forgetChart: slot.forget,
  };
}

// The comparison: two people side by side in the date range, their events month by month on
// one chart and their measures in two columns. The first is the person chosen in the list;
// the second is chosen here, by a search of its own.
import { chartSlot, monthChart } from "./charts.js";
import { measures } from "./measures.js";
import { fold, monthlySeries, personDetail, searchText } from "./statistics.js";
import { el, explain } from "./ui.js";

const $ = (id) => document.getElementById(id);
const SUGGESTED = 8;

// RANKED() gives the people in the range in the ranking's order.
export function createCompareView(model, ranked) {
  const slot = chartSlot();
  let a = null, b = null;
  const field = $("compare-search"), suggestions = $("compare-suggestions");

  function suggest() {
    const query = fold(field.value.trim());
    const found = [];
    if (query) {
      for (const p of ranked()) {
        if (p !== a && searchText(p).includes(query)) found.push(p);
        if (found.length === SUGGESTED) break;
      }
    }
    suggestions.replaceChildren(...found.map((p) => {
      const item = el("li"), button = el("button", p.label);
      button.type = "button";
      button.addEventListener("click", () => pick(p));
      item.append(button);
      return item;
    }));
    suggestions.hidden = !found.length;
    $("compare-none").hidden = !query || found.length > 0;
  }

  function pick(p) {
    b = p;
    field.value = "";
    suggest();
    draw(a);
  }

  field.addEventListener("input", suggest);
  field.addEventListener("keydown", (e) => {
    if (e.key === "Enter") suggestions.querySelector("button")?.click();
    else if (e.key === "ArrowDown") suggestions.querySelector("button")?.focus();
    else if (e.key === "Escape") { field.value = ""; suggest(); }
  });
  $("compare-swap").addEventListener("click", () => {
    if (!a || !b) return;
    const first = b;
    b = a;
    a = first;
    draw(a, { swapped: true });
  });

  // Shows P beside the second person (OTHER when given, else the one chosen before, else
  // the first in the ranking who is not P).
  function draw(p, { other, swapped } = {}) {
    if (!swapped) a = p;
    if (other) b = other;
    if (!b || b === a) b = ranked().find((q) => q !== a) ?? null;
    $("compare-a").textContent = a ? a.label : "nobody";
    $("compare-b").textContent = b ? b.label : "nobody";
    $("compare-body").hidden = !a || !b;
    if (!a || !b) {
      slot.forget();
      return;
    }
    const [sa, sb] = [monthlySeries(model, a), monthlySeries(model, b)];
    const total = (s) => s.months.map((_, k) => s.sent[k] + s.received[k] + s.calls[k] + s.threads[k]);
    slot.set(monthChart($("compare-volume"), { months: sa.months, a: total(sa), b: total(sb) }, slot.get(), {
      lines: [{ key: "a", label: `${a.label} (events)`, colour: "sent", axis: "messages", unit: "events" },
              { key: "b", label: `${b.label} (events)`, colour: "received", axis: "messages", unit: "events",
                dash: [6, 3] }],
    }));
    const ma = measures(a, personDetail(model, a)), mb = measures(b, personDetail(model, b));
    const head = el("tr");
    head.append(el("th", "Measure"), el("th", a.label), el("th", b.label));
    for (const th of head.children) th.scope = "col";
    const wanted = (m) => m.term !== "Social-network messages" || model.hasThreads;
    const rows = ma.map((m, k) => [m, mb[k]]).filter(([m]) => wanted(m)).map(([m, other]) => {
      const row = el("tr"), term = el("th"), words = el("span", m.term);
      term.scope = "row";
      term.append(words);
      if (m.explain) explain(words, term, m.explain);
      row.append(term, el("td", m.text), el("td", other.text));
      return row;
    });
    $("compare-table").tHead.replaceChildren(head);
    $("compare-table").tBodies[0].replaceChildren(...rows);
  }

  return {
    draw,
    other: () => b,
    chart: slot.get,
    forgetChart: slot.forget,
  };
}

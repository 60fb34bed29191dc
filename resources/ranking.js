// The ranking: the people with events in the date range, ordered by the chosen measure, each
// with their overall rank, which a search keeps; a bar shows the measure, scaled to the
// largest in the list. Only the rows in sight are drawn, so 20,000 people stay quick to
// search and browse; the arrow keys, Page Up/Down, Home and End move the choice.
import { MIN_EVENTS } from "./reader.js";
import { fold, searchText } from "./statistics.js";
import { number, date, duration, percent, el, inWords } from "./ui.js";

const ROW = 44;  // height of a row, in CSS pixels

// Each sort: its measure (larger first) and the figure a row shows.
export const SORTS = {
  volume: { key: (p) => p.volume, text: (p) => `${number.format(p.volume)} events` },
  messages: { key: (p) => p.messages, text: (p) => `${number.format(p.messages)} messages` },
  calls: { key: (p) => p.calls, text: (p) => `${number.format(p.calls)} calls` },
  callTime: { key: (p) => p.callTime, text: (p) => `${duration(p.callTime)} on the phone` },
  last: { key: (p) => (Number.isFinite(p.last) ? p.last : -Infinity),
          text: (p) => `last ${date(p.last)}` },
  balance: { key: (p) => (Number.isFinite(p.balance) ? p.balance : -Infinity),
             text: (p) => `${percent(p.balance)} sent by you` },
};

// The ranking of the MODEL's people in the page's list, search field, sort menu and count
// line. Calls onChoose(person or null, byHand) when the choice changes: byHand is true when
// the person chose a row, false when the list chose for them.
export function createRanking(model, { list, search, sort, count }, onChoose) {
  let ranked = [], shown = [], active = 0, person = null, scale = null;

  // The people in the range in the sort's order; each gets their overall rank.
  function rank() {
    const key = (SORTS[sort.value] ?? SORTS.volume).key;
    const people = model.people.filter((p) => p.volume);
    const keys = Float64Array.from(people, key), volumes = Float64Array.from(people, (p) => p.volume);
    const order = Uint32Array.from(people, (_, k) => k)
      .sort((a, b) => keys[b] - keys[a] || volumes[b] - volumes[a] || a - b);
    ranked = Array.from(order, (k) => people[k]);
    ranked.forEach((p, k) => { p.rank = k + 1; });
  }

  function filter() {
    const query = fold(search.value.trim());
    shown = query ? ranked.filter((p) => searchText(p).includes(query)) : ranked;
    const key = (SORTS[sort.value] ?? SORTS.volume).key;
    if (sort.value === "last") {
      // Last contact: how far through the span, from its start to the latest in the list.
      const lo = model.range?.from ?? model.total.first;
      scale = (p) => (Number.isFinite(key(p)) ? (key(p) - lo) / Math.max(1, key(shown[0]) - lo) : 0);
    } else {
      const top = shown.length ? key(shown[0]) : 0;
      scale = (p) => (top > 0 && key(p) > 0 ? key(p) / top : 0);
    }
    list.querySelector(".spacer").style.height = `${shown.length * ROW}px`;
    const within = model.range ? " in these dates" : "";
    count.textContent = query
      ? `${number.format(shown.length)} of ${number.format(ranked.length)} people match`
      : `${number.format(ranked.length)} people${within}, of ${number.format(model.people.length)} ` +
        `with ${inWords(MIN_EVENTS)} or more events`;
    return query;
  }

  // Ranks and filters anew (the range, the sort or the search changed), keeping the chosen
  // person when they are still listed, else choosing the first.
  function refresh({ again = true } = {}) {
    if (again) rank();
    filter();
    const at = person ? shown.indexOf(person) : -1;
    drawRows();
    if (at >= 0) {
      active = at;
      scrollToActive();
      // The same person: drawn anew only when their figures changed (range or sort).
      if (again) onChoose(person, false);
    } else {
      list.scrollTop = 0;
      choose(0, false);
    }
  }

  function drawRows() {
    const from = Math.max(0, Math.floor(list.scrollTop / ROW) - 2);
    const to = Math.min(shown.length, Math.ceil((list.scrollTop + list.clientHeight) / ROW) + 2);
    const text = (SORTS[sort.value] ?? SORTS.volume).text;
    const rows = [];
    for (let k = from; k < to; ++k) {
      const p = shown[k];
      const row = el("div", undefined, "row");
      row.id = `person-${k}`;
      row.dataset.at = k;
      row.setAttribute("role", "option");
      row.setAttribute("aria-selected", String(k === active));
      row.style.top = `${k * ROW}px`;
      const bar = el("span", undefined, "bar");
      bar.style.width = `${Math.max(1, 100 * scale(p))}%`;
      row.append(el("span", String(p.rank), "rank"), el("span", p.name, "name"),
                 el("span", p.detail ? `${text(p)} · ${p.detail}` : text(p), "figure"), bar);
      rows.push(row);
    }
    list.querySelector(".spacer").replaceChildren(...rows);
    if (shown.length) list.setAttribute("aria-activedescendant", `person-${active}`);
    else list.removeAttribute("aria-activedescendant");
  }

  // Brings the chosen row into sight (a scroll draws the rows anew) and marks it.
  function scrollToActive() {
    const y = active * ROW;
    if (y < list.scrollTop) list.scrollTop = y;
    else if (y + ROW > list.scrollTop + list.clientHeight) list.scrollTop = y + ROW - list.clientHeight;
    for (const row of list.querySelectorAll(".row")) {
      row.setAttribute("aria-selected", String(Number(row.dataset.at) === active));
    }
    if (shown.length) list.setAttribute("aria-activedescendant", `person-${active}`);
  }

  function choose(at, byHand) {
    if (!shown.length) {
      person = null;
    } else {
      active = Math.max(0, Math.min(shown.length - 1, at));
      person = shown[active];
      scrollToActive();
    }
    onChoose(person, byHand);
  }

  function onKey(e) {
    const page = Math.max(1, Math.floor(list.clientHeight / ROW) - 1);
    const moves = { ArrowDown: 1, ArrowUp: -1, PageDown: page, PageUp: -page };
    let at;
    if (e.key in moves) at = active + moves[e.key];
    else if (e.key === "Home") at = 0;
    else if (e.key === "End") at = shown.length - 1;
    else return;
    e.preventDefault();
    choose(at, true);
  }

  search.addEventListener("input", () => refresh({ again: false }));
  sort.addEventListener("change", () => refresh());
  list.addEventListener("scroll", drawRows, { passive: true });
  list.addEventListener("keydown", onKey);
  list.addEventListener("click", (e) => {
    const row = e.target.closest("[data-at]");
    if (row) choose(Number(row.dataset.at), true);
  });
  new ResizeObserver(drawRows).observe(list);
  rank();
  filter();
  drawRows();
  choose(0, false);
  return {
    shown: () => shown,
    ranked: () => ranked,
    query: () => search.value.trim(),
    person: () => person,
    refresh,
    // Shows P in the list, clearing a search that hides them; false when P has no events in
    // the range.
    select(p) {
      if (!p || !p.volume) return false;
      if (!shown.includes(p)) {
        search.value = "";
        filter();
        drawRows();
      }
      choose(shown.indexOf(p), true);
      return true;
    },
  };
}

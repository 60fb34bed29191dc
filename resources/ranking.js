// The ranking: the people filtered by the search text and ordered by the chosen measure, one
// row each. Only the rows in sight are drawn, so 5,000 people stay quick to search and browse;
// the arrow keys, Page Up/Down, Home and End move the choice.
import { MIN_EVENTS } from "./reader.js";
import { fold } from "./statistics.js";
import { number, date, duration, percent, el, inWords } from "./ui.js";

const ROW = 44;  // height of a row, in CSS pixels

const SORTS = {
  volume: (p) => p.volume, messages: (p) => p.messages, calls: (p) => p.calls,
  callTime: (p) => p.callTime, last: (p) => (Number.isFinite(p.last) ? p.last : -Infinity),
  balance: (p) => (Number.isFinite(p.balance) ? p.balance : -Infinity),
};
const SORT_TEXT = {
  volume: (p) => `${number.format(p.volume)} events`,
  messages: (p) => `${number.format(p.messages)} messages`,
  calls: (p) => `${number.format(p.calls)} calls`,
  callTime: (p) => duration(p.callTime),
  last: (p) => date(p.last),
  balance: (p) => `${percent(p.balance)} sent by you`,
};

// The ranking of PEOPLE in the page's list, search field, sort menu and count line; calls
// ONCHOOSE with the person chosen (null when nobody is listed).
export function createRanking(people, { list, search, sort, count }, onChoose) {
  let shown = [], active = 0, person = null;

  function refresh(keepPerson) {
    const query = fold(search.value.trim());
    const key = SORTS[sort.value] ?? SORTS.volume;
    shown = query ? people.filter((p) => p.search.includes(query)) : people.slice();
    shown.sort((a, b) => key(b) - key(a) || b.volume - a.volume || a.index - b.index);
    list.querySelector(".spacer").style.height = `${shown.length * ROW}px`;
    count.textContent = query
      ? `${number.format(shown.length)} of ${number.format(people.length)} people match`
      : `${number.format(people.length)} people, ${inWords(MIN_EVENTS)} or more events each`;
    const at = keepPerson && person ? shown.indexOf(person) : -1;
    drawRows();
    if (at >= 0) {
      active = at;
      scrollToActive();
    } else {
      list.scrollTop = 0;
      choose(0);
    }
  }

  function drawRows() {
    const from = Math.max(0, Math.floor(list.scrollTop / ROW) - 2);
    const to = Math.min(shown.length, Math.ceil((list.scrollTop + list.clientHeight) / ROW) + 2);
    const top = shown[0]?.volume || 1;
    const label = SORT_TEXT[sort.value] ?? SORT_TEXT.volume;
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
      bar.style.width = `${Math.max(2, (100 * p.volume) / top)}%`;
      row.append(el("span", String(k + 1), "rank"), el("span", p.name, "name"),
                 el("span", label(p), "figure"), bar);
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

  function choose(at) {
    if (!shown.length) {
      person = null;
    } else {
      active = Math.max(0, Math.min(shown.length - 1, at));
      person = shown[active];
      scrollToActive();
    }
    onChoose(person);
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
    choose(at);
  }

  search.addEventListener("input", () => refresh(true));
  sort.addEventListener("change", () => refresh(true));
  list.addEventListener("scroll", drawRows, { passive: true });
  list.addEventListener("keydown", onKey);
  list.addEventListener("click", (e) => {
    const row = e.target.closest("[data-at]");
    if (row) choose(Number(row.dataset.at));
  });
  new ResizeObserver(drawRows).observe(list);
  refresh(true);
  return { shown: () => shown };
}

// Helpers shared by the pages: figures and dates in the viewer's locale and time zone, and
// text-only DOM building. No library here, so the waiting pages load it too.

export const number = new Intl.NumberFormat();
const dateFormat = new Intl.DateTimeFormat(undefined, { year: "numeric", month: "short", day: "numeric" });
export const date = (t) => (Number.isFinite(t) ? dateFormat.format(new Date(t * 1000)) : "none");
// A day on the viewer's wall clock (days since 1970-01-01 there, as calendar.js counts).
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

// A small count in words ("five"), a larger one in figures.
const WORDS = ["no", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten"];
export const inWords = (n) => WORDS[n] ?? number.format(n);

// An element with text content only: nothing from the data is ever read as markup.
export function el(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined) node.textContent = text;
  if (className) node.className = className;
  return node;
}

// Gives TERM (an element) an explanation, shown on hover and on focus: the term takes the
// focus, and the tip, put at the end of BOX, describes it.
let tips = 0;
export function explain(term, box, explanation) {
  const tip = el("span", explanation, "tip");
  tip.id = `tip-${++tips}`;
  tip.setAttribute("role", "tooltip");
  term.classList.add("explained");
  term.tabIndex = 0;
  term.setAttribute("aria-describedby", tip.id);
  box.classList.add("has-tip");
  box.append(tip);
}

// Term/value pairs into a <dl>: [term, value, explanation?]. A value may be a node.
export function fillStats(dl, pairs) {
  dl.replaceChildren();
  for (const [term, value, explanation] of pairs) {
    const box = el("div"), dt = el("dt", term), dd = el("dd");
    dd.append(value);
    box.append(dt, dd);
    if (explanation) explain(dt, box, explanation);
    dl.append(box);
  }
}

// A button that reads as a link, for the parts of a sentence that lead to a view.
export function linkButton(text, onClick) {
  const b = el("button", text, "link");
  b.type = "button";
  b.addEventListener("click", onClick);
  return b;
}

// The items of a list, each line as text.
export function fillLines(list, lines) {
  const items = document.createDocumentFragment();
  for (const line of lines) items.append(el("li", line));
  list.replaceChildren(items);
}

// The date range, shown and cleared in one place: two date fields (also filled by dragging
// across the everyone chart), a line that says which dates the page shows, and a button
// back to all dates.
import { dayFromIso, isoDay } from "./calendar.js";
import { day } from "./ui.js";

const $ = (id) => document.getElementById(id);

// ONCHANGE(range or null) when the person changes the dates; FIRSTDAY and LASTDAY bound them.
export function createRangeControl(firstDay, lastDay, onChange) {
  const from = $("range-from"), to = $("range-to"), clear = $("range-clear"), box = $("range");
  if (Number.isFinite(firstDay)) {
    for (const field of [from, to]) {
      field.min = isoDay(firstDay);
      field.max = isoDay(lastDay);
    }
  }
  let range = null;

  function show() {
    from.value = isoDay(range ? range.fromDay : firstDay);
    to.value = isoDay(range ? range.toDay : lastDay);
    box.classList.toggle("on", Boolean(range));
    clear.disabled = !range;
    $("range-text").textContent = range
      ? `Showing ${day(range.fromDay)} to ${day(range.toDay)} only`
      : "Showing all dates";
  }

  // A range from the fields; an empty or reversed field is put right.
  function fromFields() {
    let a = dayFromIso(from.value), b = dayFromIso(to.value);
    if (!Number.isFinite(a)) a = firstDay;
    if (!Number.isFinite(b)) b = lastDay;
    if (a > b) [a, b] = [b, a];
    a = Math.max(a, firstDay);
    b = Math.min(b, lastDay);
    return a <= firstDay && b >= lastDay ? null : { fromDay: a, toDay: b };
  }

  const set = (next) => {
    range = next;
    show();
    onChange(range);
  };
  from.addEventListener("change", () => set(fromFields()));
  to.addEventListener("change", () => set(fromFields()));
  clear.addEventListener("click", () => set(null));
  if (Number.isFinite(firstDay)) show();
  else box.hidden = true;

  return {
    // Sets the range from two days (either order), or clears it with null.
    set(a, b) {
      if (a === null) return set(null);
      const lo = Math.max(firstDay, Math.min(a, b)), hi = Math.min(lastDay, Math.max(a, b));
      set(lo <= firstDay && hi >= lastDay ? null : { fromDay: lo, toDay: hi });
    },
    range: () => range,
  };
}

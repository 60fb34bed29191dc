// One day opened: everyone's events of a wall-clock day in time order (when, who, what), in
// a dialog; a name leads to that person.
import { dayStart } from "./calendar.js";
import { CALL, SMS, THREAD, WHATSAPP, directionOf } from "./reader.js";
import { eventsOfDay } from "./statistics.js";
import { duration, el, linkButton, number } from "./ui.js";

const $ = (id) => document.getElementById(id);
const dayTitle = new Intl.DateTimeFormat(undefined, { weekday: "long", year: "numeric", month: "long", day: "numeric" });
const clock = new Intl.DateTimeFormat(undefined, { hour: "2-digit", minute: "2-digit" });

// What an event was, in words.
export function whatHappened(type, flag, seconds) {
  const dir = directionOf(type, flag);
  if (type === SMS) return dir > 0 ? "message you sent" : dir < 0 ? "message they sent" : "message";
  if (type === WHATSAPP) {
    return dir > 0 ? "WhatsApp message you sent" : dir < 0 ? "WhatsApp message they sent" : "WhatsApp message";
  }
  if (type === CALL) {
    const way = dir > 0 ? "call to them" : dir < 0 ? "call from them" : "call";
    return seconds === 0 ? `${way}, unanswered` : seconds > 0 ? `${way}, ${duration(seconds)}` : way;
  }
  if (type === THREAD) return "social-network message";
  return "other event";
}

export function createDayView(model, onPerson) {
  const dialog = $("day");
  $("day-close").addEventListener("click", () => dialog.close());

  return {
    // Opens DAY (days since 1970 on the wall clock).
    open(day) {
      const { tl } = model;
      const events = eventsOfDay(model, day);
      const people = new Set(events.map((e) => e.person));
      $("day-title").textContent = dayTitle.format(dayStart(day) * 1000);
      $("day-summary").textContent = `${number.format(events.length)} events with ` +
        `${number.format(people.size)} ${people.size === 1 ? "person" : "people"}`;
      $("day-events").tBodies[0].replaceChildren(...events.map(({ person, i }) => {
        const row = el("tr"), who = el("td");
        who.append(linkButton(person.label, () => { dialog.close(); onPerson(person); }));
        row.append(el("td", clock.format(tl.time[i] * 1000)), who,
                   el("td", whatHappened(tl.type[i], tl.flag[i], tl.duration[i])));
        return row;
      }));
      dialog.showModal();
    },
  };
}

// The viewer's calendar for the figures. Event times arrive as wall-clock seconds (see
// localTimes in reader.js), so a day is a whole 86,400 of them, and d3-time's UTC intervals
// give that clock's months and years; a day's calendar is worked out once and kept.
import { timeMonth, unixDay, utcMonth } from "d3-time";

const EPOCH = new Date(0);
const LOCAL_EPOCH = new Date(1970, 0, 1);
const days = new Map();  // day -> { month, year, weekday }

// Days since 1970-01-01 on the wall clock.
export const dayOf = (local) => Math.floor(local / 86400);
export const hourOf = (local) => Math.floor((local - dayOf(local) * 86400) / 3600);

function calendarOf(day) {
  let found = days.get(day);
  if (!found) {
    const date = unixDay.offset(EPOCH, day);
    found = { month: utcMonth.count(EPOCH, date), year: date.getUTCFullYear(),
              weekday: date.getUTCDay() };
    days.set(day, found);
  }
  return found;
}

// Months since January 1970; the year; the day of the week, 0 for Sunday.
export const monthOf = (day) => calendarOf(day).month;
export const yearOf = (day) => calendarOf(day).year;
export const weekdayOf = (day) => calendarOf(day).weekday;

// Midnight at the start of a month (counted as monthOf does) in the viewer's time zone.
export const monthStart = (month) => timeMonth.offset(LOCAL_EPOCH, month);

// The year of an instant (seconds since 1970) in the viewer's time zone.
export const localYear = (seconds) => new Date(seconds * 1000).getFullYear();

// The instant (seconds since 1970) at which a wall-clock day begins in the viewer's zone.
export function dayStart(day) {
  const date = new Date(day * 86400000);
  return new Date(date.getUTCFullYear(), date.getUTCMonth(), date.getUTCDate()).getTime() / 1000;
}

// A wall-clock day as "YYYY-MM-DD" (the value of a date field), and back; NaN when the text
// is not such a date.
export const isoDay = (day) => new Date(day * 86400000).toISOString().slice(0, 10);
export function dayFromIso(text) {
  const m = /^(\d{4,})-(\d\d)-(\d\d)$/.exec(text ?? "");
  return m ? Date.UTC(Number(m[1]), Number(m[2]) - 1, Number(m[3])) / 86400000 : NaN;
}

// The first wall-clock day of a month (counted as monthOf does), and of a year.
export const monthFirstDay = (month) => unixDay.count(EPOCH, utcMonth.offset(EPOCH, month));
export const yearFirstDay = (year) => Date.UTC(year, 0, 1) / 86400000;

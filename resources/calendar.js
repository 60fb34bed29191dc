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

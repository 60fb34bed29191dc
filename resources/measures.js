// A person's measures in the date range, in one list that the person view, the comparison
// and the CSV share: each with its words, its figure as shown, its raw values for the CSV,
// and its explanation when it is not obvious. No DOM here.
import { isoDay } from "./calendar.js";
import { number, date, day, duration, percent } from "./ui.js";
import { EXPLAIN } from "./words.js";

const iso = (t) => (Number.isFinite(t) ? new Date(t * 1000).toISOString() : "");
const raw = (x) => (Number.isFinite(x) ? String(Math.round(x * 1000) / 1000) : "");

// [{term, text, csv: [[column, value], ...], explain}] for person P with detail D
// (statistics.personDetail).
export function measures(p, d) {
  const n = (x) => number.format(x);
  return [
    { term: "Events", text: n(p.volume), csv: [["events", p.volume]], explain: EXPLAIN.event },
    { term: "Messages you sent", text: n(p.sent), csv: [["messages you sent", p.sent]] },
    { term: "Messages they sent", text: n(p.received), csv: [["messages they sent", p.received]] },
    { term: "Share you sent", text: percent(p.balance), csv: [["share you sent", raw(p.balance)]],
      explain: EXPLAIN.balance },
    { term: "Calls", text: `${n(p.calls)} (${n(d.callsIn)} in, ${n(d.callsOut)} out)`,
      csv: [["calls", p.calls], ["calls in", d.callsIn], ["calls out", d.callsOut]] },
    { term: "Unanswered calls", text: n(d.unanswered), csv: [["unanswered calls", d.unanswered]],
      explain: EXPLAIN.unanswered },
    { term: "Time on the phone", text: duration(p.callTime), csv: [["call seconds", p.callTime]] },
    { term: "Typical call", text: Number.isFinite(d.callMedian)
        ? `${duration(d.callMedian)} (longest ${duration(d.callLongest)})` : "none",
      csv: [["typical call seconds", raw(d.callMedian)], ["longest call seconds", raw(d.callLongest)]],
      explain: EXPLAIN.typicalCall },
    { term: "Who starts", text: `you ${n(d.started.you)}, them ${n(d.started.them)}`,
      csv: [["started by you", d.started.you], ["started by them", d.started.them]],
      explain: EXPLAIN.starts },
    { term: "Quick replies (median)",
      text: Number.isFinite(d.replyYou) || Number.isFinite(d.replyThem)
        ? `you ${duration(d.replyYou)}, them ${duration(d.replyThem)}` : "none within six hours",
      csv: [["median reply seconds, you", raw(d.replyYou)], ["median reply seconds, them", raw(d.replyThem)]],
      explain: EXPLAIN.replies },
    { term: "Longest run of days", text: d.streak ? `${n(d.streak)} (to ${day(d.streakEnd)})` : "none",
      csv: [["longest run of days", d.streak], ["run ended", Number.isFinite(d.streakEnd) ? isoDay(d.streakEnd) : ""]],
      explain: EXPLAIN.run },
    { term: "Social-network messages", text: n(d.threads), csv: [["social-network messages", d.threads]],
      explain: EXPLAIN.threads },
    { term: "First contact", text: date(p.first), csv: [["first contact", iso(p.first)]], brief: true },
    { term: "Last contact", text: date(p.last), csv: [["last contact", iso(p.last)]], brief: true },
  ];
}

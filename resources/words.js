// The words that explain the figures which are not obvious, shown on hover and focus.
import { MIN_EVENTS } from "./reader.js";
import { inWords } from "./ui.js";

export const EXPLAIN = {
  event: "An event is one message or one call with one person, or one message of a " +
         "social-network thread; messages you sent and received count alike.",
  people: `The people in your contacts with ${inWords(MIN_EVENTS)} or more events. Everyone else ` +
          "is counted under What was read.",
  busiest: "The day with the most events. When several days have as many, the first of them " +
           "is shown and the others are counted. Choose it to see that day.",
  starts: "Who wrote or called first after six quiet hours: each time a conversation began " +
          "again, one for whoever began it.",
  replies: "The median time to answer a message: half of the answers came sooner. Only " +
           "answers within six hours count; slower ones start a new conversation.",
  run: "The most days in a row with at least one message or call, and the day the run ended.",
  typicalCall: "The median length of the answered calls: half were shorter.",
  unanswered: "Calls that lasted no time at all.",
  balance: "Of the messages you exchanged, the share you wrote.",
  threads: "Messages of social-network threads, when the inbox was added.",
};

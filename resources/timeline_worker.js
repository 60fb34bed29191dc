// Prepares the timeline text (timeline.js) beside the page, so that the page can meanwhile ask
// for and read the contact rows; the typed arrays come back without a copy.
import { prepareTimeline } from "./timeline.js";

postMessage("ready");
onmessage = (e) => {
  const tl = prepareTimeline(e.data);
  const buffers = new Set();
  for (const value of Object.values(tl)) if (ArrayBuffer.isView(value)) buffers.add(value.buffer);
  for (const value of Object.values(tl.cum)) buffers.add(value.buffer);
  postMessage(tl, [...buffers]);
};

// Prepares the timeline (timeline.js) beside the page, so that the page can meanwhile ask for
// and read the contact rows. Told either the text, or the address where the bridge answers
// getTimeLine (asked for here, as the page's call would); answers {tl, arrived} (when the text
// was at hand, in milliseconds since 1970), the typed arrays without a copy, or {} when the
// request failed.
import { prepareTimeline } from "./timeline.js";

async function textOf(request) {
  if (typeof request.text === "string") return request.text;
  const res = await fetch(request.address, { method: "POST", body: "" });
  if (res.status === 204) return "[]";
  if (res.status !== 200) throw new Error(`status ${res.status}`);
  return (await res.text()) || "[]";
}

postMessage("ready");
onmessage = async (e) => {
  let text;
  try {
    text = await textOf(e.data);
  } catch {
    postMessage({});
    return;
  }
  const arrived = e.data.arrived ?? performance.timeOrigin + performance.now();
  const tl = prepareTimeline(text);
  const buffers = new Set();
  for (const value of Object.values(tl)) if (ArrayBuffer.isView(value)) buffers.add(value.buffer);
  for (const value of Object.values(tl.cum)) buffers.add(value.buffer);
  postMessage({ tl, arrived }, [...buffers]);
};

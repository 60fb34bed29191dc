// The inbox import's model side: turns the text of a Graph "me/inbox" reply into the
// session's social-network threads and one "facebook_message" event per thread. The
// controller's login callback sends the request and calls this; it takes no lock of its
// own (the session's appenders lock) and runs on the thread that got the reply.
#ifndef OVRA_FACEBOOK_INBOX_IMPORT_H_
#define OVRA_FACEBOOK_INBOX_IMPORT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "json/value.h"
#include "model/event.h"
#include "model/session.h"

namespace ovra::facebook {

// The variables of the inbox request: "date_format" = "U" (times as Unix seconds).
json::Object inboxRequestVariables();
inline constexpr char kInboxPath[] = "me/inbox";

// Parses `replyText` and replaces the session's facebook_messages with the elements of
// its top-level "data" array (empty with no text, a parse failure, a top level that is
// not an object, or no "data" array); then appends one event per element that is an
// object to fb_events, in order. Returns the number of events made.
size_t importInboxReply(const std::optional<std::string>& replyText, model::Session& session);

// The "facebook_message" event of one thread: to, from and message from the keys of the
// same names, the timestamp from "created_time" (or "updated_time" when that is absent
// or null), and a record of all the thread's values in its own order.
std::shared_ptr<model::Event> eventFromThread(const json::Object& thread);

// The whole seconds in a time value, clamped to 32 bits: integers as they are, decimals
// and floating-point numbers truncated toward zero, strings that hold a JSON number read
// as that number; anything else (text, null, booleans, containers) gives 0.
int32_t timestampFromTimeValue(const json::Value& time);

}  // namespace ovra::facebook

#endif  // OVRA_FACEBOOK_INBOX_IMPORT_H_

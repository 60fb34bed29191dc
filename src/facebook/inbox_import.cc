// A Graph inbox reply looks like {"data": [thread, ...], "paging": {...}}; a thread holds
// "to", "from", "message" and its times. Only the first page is read. Malformed replies
// never fail the import: they give fewer or no events, and the caller marks the social
// network side ready all the same.

#include "facebook/inbox_import.h"

#include <cmath>
#include <limits>

#include "base/text.h"
#include "json/parser.h"

namespace ovra::facebook {

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

using base::clampToInt32;

// The integer part of an exact decimal, clamped. Its digits carry no leading zeros, so
// more than ten integer digits is always beyond 32 bits.
int32_t integerPartOf(const json::Decimal& d) {
  const int64_t digitCount = static_cast<int64_t>(d.digits().size());
  const int64_t integerDigits = digitCount + d.exponent();
  if (d.isZero() || integerDigits <= 0) return 0;
  if (integerDigits > 10) return static_cast<int32_t>(d.negative() ? kInt32Min : kInt32Max);
  int64_t v = 0;
  for (int64_t i = 0; i < integerDigits; ++i) {
    v = v * 10 + (i < digitCount ? d.digits()[static_cast<size_t>(i)] - '0' : 0);
  }
  return clampToInt32(d.negative() ? -v : v);
}

std::string_view trimmed(std::string_view s) {
  const char* kSpace = " \t\r\n";
  const size_t first = s.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

const json::Value* present(const json::Object& o, std::string_view key) {
  const json::Value* v = o.find(key);
  return (v != nullptr && !v->isNull()) ? v : nullptr;
}

}  // namespace

json::Object inboxRequestVariables() {
  json::Object variables;
  variables.set("date_format", json::Value("U"));
  return variables;
}

int32_t timestampFromTimeValue(const json::Value& time) {
  switch (time.kind()) {
    case json::Value::Kind::kInt:
      return clampToInt32(time.asInt());
    case json::Value::Kind::kDecimal:
      return integerPartOf(time.asDecimal());
    case json::Value::Kind::kDouble: {
      const double d = std::trunc(time.asDouble());
      if (std::isnan(d)) return 0;
      if (d <= static_cast<double>(kInt32Min)) return static_cast<int32_t>(kInt32Min);
      if (d >= static_cast<double>(kInt32Max)) return static_cast<int32_t>(kInt32Max);
      return static_cast<int32_t>(d);
    }
    case json::Value::Kind::kString: {
      const std::optional<json::Decimal> d = json::Decimal::fromLiteral(trimmed(time.asString()));
      return d ? integerPartOf(*d) : 0;
    }
    default:
      return 0;
  }
}

std::shared_ptr<model::Event> eventFromThread(const json::Object& thread) {
  const json::Value* time = present(thread, "created_time");
  if (time == nullptr) time = present(thread, "updated_time");

  auto event = std::make_shared<model::Event>();
  event->initialize("facebook_message");
  if (const json::Value* to = thread.find("to")) event->setTo(*to);
  if (const json::Value* from = thread.find("from")) event->setFrom(*from);
  event->setTimestamp(time != nullptr ? timestampFromTimeValue(*time) : 0);

  auto record = std::make_shared<json::Array>();
  record->reserve(thread.size());
  for (const json::Member& member : thread) record->push_back(member.value);
  event->addData(std::move(record));

  if (const json::Value* message = thread.find("message"); message && message->isString()) {
    event->setMessage(message->asString());
  }
  return event;
}

size_t importInboxReply(const std::optional<std::string>& replyText, model::Session& session) {
  // Only the threads are made into the heap form the model keeps; the rest of the reply
  // goes with the parsed document.
  json::Array threads;
  if (replyText) {
    json::KtJsonParser parser;
    std::optional<json::Document> reply = parser.documentWithString(*replyText);
    if (const json::Node* data = reply ? reply->root().find("data") : nullptr;
        data && data->isArray()) {
      threads = std::move(data->toValue().asArray());
    }
  }
  std::vector<std::shared_ptr<model::Event>> events;
  events.reserve(threads.size());
  for (const json::Value& thread : threads) {
    if (thread.isObject()) events.push_back(eventFromThread(thread.asObject()));
  }
  session.setFacebook_messages(std::move(threads));
  for (std::shared_ptr<model::Event>& event : events) session.addFbEvent(std::move(event));
  return events.size();
}

}  // namespace ovra::facebook

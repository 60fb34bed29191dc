// Builders for the events and contacts the model tests put into a Session, made the way
// the backup reader and the inbox import make them.
#ifndef OVRA_TESTS_MODEL_MAKE_EVENTS_H_
#define OVRA_TESTS_MODEL_MAKE_EVENTS_H_

#include <memory>
#include <string>
#include <vector>

#include "model/event.h"
#include "model/person.h"

namespace ovra::model::testing {

// A message row (rowid, address, date, text, flags) or call row (..., duration, flags).
inline std::shared_ptr<Event> makeRowEvent(const std::string& type, const std::string& address,
                                           const std::string& date, const std::string& text = "",
                                           const std::string& flags = "0",
                                           const std::string& duration = "0") {
  auto e = std::make_shared<Event>();
  e->initialize(type);
  const std::string& third = type == "call" ? duration : text;
  e->addData(std::make_shared<json::Array>(json::Array{"1", address, date, third, flags}));
  e->setFlag(flags);
  if (type == "sms") e->setMessage(text);
  if (type == "call") e->setDuration(duration);
  return e;
}

inline std::shared_ptr<Event> makeThread(std::optional<json::Value> to,
                                         std::optional<json::Value> from, int32_t time = 0) {
  auto e = std::make_shared<Event>();
  e->initialize("facebook_message");
  e->addData(std::make_shared<json::Array>(json::Array{"t1", 1, 2, 3}));
  e->setTo(std::move(to));
  e->setFrom(std::move(from));
  e->setTimestamp(time);
  return e;
}

// {"name": name} and {"data": [entries...]}.
inline json::Value member(const char* key, json::Value value) {
  json::Object o;
  o.set(key, std::move(value));
  return o;
}
inline json::Value participant(std::string name) { return member("name", std::move(name)); }
inline json::Value participants(json::Array entries) { return member("data", std::move(entries)); }

inline std::shared_ptr<Person> makePerson(std::string uid, std::string first, std::string middle,
                                          std::string last,
                                          std::vector<std::string> addresses = {}) {
  auto p = std::make_shared<Person>();
  p->setUid(std::move(uid));
  p->setFirstname(std::move(first));
  p->setMiddlename(std::move(middle));
  p->setLastname(std::move(last));
  p->addresses() = std::move(addresses);
  return p;
}

}  // namespace ovra::model::testing

#endif  // OVRA_TESTS_MODEL_MAKE_EVENTS_H_

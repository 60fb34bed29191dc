// Builders for the events and contacts the model tests feed into a Session, made the way
// the backup reader and the inbox import make them.
#ifndef OVRA_TESTS_MODEL_MAKE_EVENTS_H_
#define OVRA_TESTS_MODEL_MAKE_EVENTS_H_

#include <memory>
#include <string>
#include <vector>

#include "model/event.h"
#include "model/person.h"

namespace ovra::model::testing {

// A message or call row: rowid, address, date, text or duration, flags.
inline std::shared_ptr<Event> makeRowEvent(const std::string& type, const std::string& address,
                                           const std::string& date,
                                           const std::string& text = "",
                                           const std::string& flags = "0",
                                           const std::string& duration = "0") {
  auto event = std::make_shared<Event>();
  event->initialize(type);
  event->addData(std::make_shared<json::Array>(
      json::Array{"1", address, date, type == "call" ? duration : text, flags}));
  event->setFlag(flags);
  if (type == "sms") event->setMessage(text);
  if (type == "call") event->setDuration(duration);
  return event;
}

inline std::shared_ptr<Event> makeThread(std::optional<json::Value> to,
                                         std::optional<json::Value> from, int32_t time = 0) {
  auto event = std::make_shared<Event>();
  event->initialize("facebook_message");
  event->addData(std::make_shared<json::Array>(json::Array{"t1", 1, 2, 3}));
  event->setTo(std::move(to));
  event->setFrom(std::move(from));
  event->setTimestamp(time);
  return event;
}

inline json::Value participant(const std::string& name) {
  json::Object o;
  o.set("name", name);
  return o;
}

inline json::Value participants(json::Array entries) {
  json::Object o;
  o.set("data", std::move(entries));
  return o;
}

inline std::shared_ptr<Person> makePerson(const std::string& uid, const std::string& first,
                                          const std::string& middle, const std::string& last,
                                          std::vector<std::string> addresses = {}) {
  auto p = std::make_shared<Person>();
  p->setUid(uid);
  p->setFirstname(first);
  p->setMiddlename(middle);
  p->setLastname(last);
  p->addresses() = std::move(addresses);
  return p;
}

}  // namespace ovra::model::testing

#endif  // OVRA_TESTS_MODEL_MAKE_EVENTS_H_

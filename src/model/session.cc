// The session's storage: its appenders and the copies its getters hand out, each under
// the session's lock. Matching lies in matching.cc, the page's texts in session_output.cc.
#include "model/session.h"

#include <cstddef>
#include <unordered_set>
#include <utility>

namespace ovra::model {

void Session::addEvent(std::shared_ptr<Event> event) {
  if (!event) return;
  platform::MutexLock lock(mu_);
  timeline_.reset();
  events_.push_back(std::move(event));
}

void Session::addEvents(std::vector<std::shared_ptr<Event>> events) {
  platform::MutexLock lock(mu_);
  timeline_.reset();
  if (events_.empty()) {  // the first events read: taken as they are
    events_ = std::move(events);
    std::erase(events_, nullptr);
    return;
  }
  events_.reserve(events_.size() + events.size());
  for (std::shared_ptr<Event>& event : events) {
    if (event) events_.push_back(std::move(event));
  }
}

void Session::addFbEvent(std::shared_ptr<Event> event) {
  if (!event) return;
  platform::MutexLock lock(mu_);
  timeline_.reset();
  fb_events_.push_back(std::move(event));
}

size_t Session::removeEvents(const std::vector<const Event*>& gone) {
  platform::MutexLock lock(mu_);
  if (arranged_ || gone.empty()) return 0;
  const std::unordered_set<const Event*> drop(gone.begin(), gone.end());
  timeline_.reset();
  const size_t before = events_.size();
  std::erase_if(events_, [&](const std::shared_ptr<Event>& e) { return drop.contains(e.get()); });
  return before - events_.size();
}

std::vector<std::shared_ptr<Event>> Session::eventsFrom(size_t first) const {
  platform::MutexLock lock(mu_);
  if (first >= events_.size()) return {};
  return {events_.begin() + static_cast<std::ptrdiff_t>(first), events_.end()};
}

void Session::addPerson(std::shared_ptr<Person> person) {
  if (!person) return;
  platform::MutexLock lock(mu_);
  timeline_.reset();
  people_.push_back(std::move(person));
}

void Session::addAppUse(Record row) {
  platform::MutexLock lock(mu_);
  appUse_.push_back(std::move(row));
}

void Session::addBrowsingHistory(Record row) {
  platform::MutexLock lock(mu_);
  browsingHistory_.push_back(std::move(row));
}

void Session::setAvg_sms_hours(std::vector<Record> rows) {
  platform::MutexLock lock(mu_);
  avg_sms_hours_ = std::move(rows);
}

void Session::setAvg_call_hours(std::vector<Record> rows) {
  platform::MutexLock lock(mu_);
  avg_call_hours_ = std::move(rows);
}

void Session::setFacebook_messages(json::Array threads) {
  platform::MutexLock lock(mu_);
  facebook_messages_ = std::move(threads);
}

size_t Session::eventCount() const {
  platform::MutexLock lock(mu_);
  return events_.size();
}

size_t Session::peopleCount() const {
  platform::MutexLock lock(mu_);
  return people_.size();
}

Session::ReadingCounts Session::readingCounts() const {
  platform::MutexLock lock(mu_);
  if (arranged_) return matchedCounts_;
  ReadingCounts counts;
  counts.contacts = people_.size();
  counts.events = events_.size();
  return counts;
}

std::vector<std::shared_ptr<Event>> Session::events() const {
  platform::MutexLock lock(mu_);
  return events_;
}

std::vector<std::shared_ptr<Event>> Session::fb_events() const {
  platform::MutexLock lock(mu_);
  return fb_events_;
}

std::vector<std::shared_ptr<Person>> Session::people() const {
  platform::MutexLock lock(mu_);
  return people_;
}

json::Array Session::facebook_messages() const {
  platform::MutexLock lock(mu_);
  return facebook_messages_;
}

std::vector<Record> Session::appUse() const {
  platform::MutexLock lock(mu_);
  return appUse_;
}

std::vector<Record> Session::browsingHistory() const {
  platform::MutexLock lock(mu_);
  return browsingHistory_;
}

std::optional<std::vector<Record>> Session::avg_sms_hours() const {
  platform::MutexLock lock(mu_);
  return avg_sms_hours_;
}

std::optional<std::vector<Record>> Session::avg_call_hours() const {
  platform::MutexLock lock(mu_);
  return avg_call_hours_;
}

json::Array Session::person_json_objects() const {
  platform::MutexLock lock(mu_);
  return person_json_objects_;
}

size_t Session::contactRowCount() const {
  platform::MutexLock lock(mu_);
  return person_json_objects_.size();
}

}  // namespace ovra::model

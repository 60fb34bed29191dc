// The texts the page reads from the session: the contact rows and their JSON text, and
// the timeline of every shown person's events.
#include <charconv>
#include <cstdint>

#include "json/writer.h"
#include "model/int_value.h"
#include "model/session.h"

namespace ovra::model {
namespace {

void appendInt(std::string& out, int64_t value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  (void)ec;  // 24 characters always hold a 64-bit integer
  out.append(buf, end);
}

// How many events ahead the timeline loads a person's events.
constexpr size_t kOutputAhead = 16;

}  // namespace

std::optional<std::string> Session::peopleJSONRepresentation() const {
  platform::MutexLock lock(mu_);
  json::KtJsonWriter writer;
  std::string out;
  out.reserve(128 + person_json_objects_.size() * 96);
  if (!writer.appendArray(person_json_objects_, out)) return std::nullopt;
  return out;
}

std::string Session::allEvents() const {
  platform::MutexLock lock(mu_);
  // A text prepared ahead serves the first reader only: an event's holder may change it
  // without the session knowing, so every later reader gets a text built afresh.
  if (timeline_) {
    std::string prepared = std::move(*timeline_);
    timeline_.reset();
    return prepared;
  }
  return timelineText();
}

void Session::prepareTimeline() const {
  platform::MutexLock lock(mu_);
  if (!timeline_) timeline_ = timelineText();
}

std::string Session::timelineText() const {
  size_t shownEvents = 0;
  for (const std::shared_ptr<Person>& person : people_) {
    if (person->events().size() >= kShownMinEvents) shownEvents += person->events().size();
  }
  std::string out;
  out.reserve(2 + shownEvents * 32);
  out += '[';
  bool firstPerson = true;
  for (const std::shared_ptr<Person>& person : people_) {
    const std::vector<std::shared_ptr<Event>>& events = person->events();
    if (events.size() < kShownMinEvents) continue;
    if (!firstPerson) out += ',';
    firstPerson = false;
    out += '[';
    appendInt(out, intValue(person->uid()));
    out += "],[";
    for (size_t j = 0; j < events.size(); ++j) {
      // The events of a person lie anywhere in memory: load some ahead. The event holds
      // what is written of it, but for a flag or duration too long to keep there.
      if (j + kOutputAhead < events.size()) __builtin_prefetch(events[j + kOutputAhead].get());
      const Event* event = events[j].get();
      if (j != 0) out += ',';
      out += '"';
      out += event->type();
      out += "\",";
      appendInt(out, event->timestamp());
      out += ',';
      out += event->flagText();
      out += ',';
      out += event->durationText();
    }
    out += ']';
  }
  out += ']';
  return out;
}

size_t Session::buildContactRows(size_t minEvents) {
  platform::MutexLock lock(mu_);
  size_t built = 0;
  for (const std::shared_ptr<Person>& person : people_) {
    if (person->events().size() < minEvents) continue;
    // The emoticon text cannot fail to write (names and integers only); should it, the
    // row still gets an empty statistic rather than losing its remaining elements.
    json::Array row;
    row.reserve(12);
    row.emplace_back(person->uid());
    row.emplace_back(person->firstname());
    row.emplace_back(person->middlename());
    row.emplace_back(person->lastname());
    for (int i = 0; i < 5; ++i) row.emplace_back(0);
    row.emplace_back(person->getEmoticons().value_or("{}"));
    row.emplace_back(0);
    row.emplace_back(0);
    person_json_objects_.emplace_back(std::move(row));
    ++built;
  }
  return built;
}

}  // namespace ovra::model

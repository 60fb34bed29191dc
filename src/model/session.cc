#include "model/session.h"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string_view>
#include <utility>

#include "json/writer.h"
#include "platform/log.h"

namespace ovra::model {

namespace {

// The integer at the start of a text, read the way the phone's own frameworks read it:
// leading white space, an optional sign, then decimal digits; 0 when there are no digits;
// values beyond the signed 32-bit range become its nearest end.
int32_t intValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLimit) magnitude = kLimit;  // stays saturated for any length
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// The time of a message or call row: its element 2, a decimal text (an integer value is
// taken as it is). Anything else gives 0.
int32_t recordTime(const json::Array& record) {
  if (record.size() <= 2) return 0;
  const json::Value& date = record[2];
  if (const std::string* text = date.stringOrNull()) return intValue(*text);
  if (date.isInt()) {
    const int64_t v = date.asInt();
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
  }
  return 0;
}

void appendInt(std::string& out, int64_t value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  (void)ec;  // 24 characters always hold a 64-bit integer
  out.append(buf, end);
}

std::string fullNameOf(const Person& p) {
  std::string name;
  name.reserve(p.firstname().size() + p.middlename().size() + p.lastname().size() + 2);
  name += p.firstname();
  name += ' ';
  if (!p.middlename().empty()) {
    name += p.middlename();
    name += ' ';
  }
  name += p.lastname();
  return name;
}

}  // namespace

void Session::addEvent(std::shared_ptr<Event> event) {
  if (!event) return;
  std::scoped_lock lock(mu_);
  events_.push_back(std::move(event));
}

void Session::addFbEvent(std::shared_ptr<Event> event) {
  if (!event) return;
  std::scoped_lock lock(mu_);
  fb_events_.push_back(std::move(event));
}

void Session::addPerson(std::shared_ptr<Person> person) {
  if (!person) return;
  std::scoped_lock lock(mu_);
  people_.push_back(std::move(person));
}

void Session::addAppUse(Record row) {
  std::scoped_lock lock(mu_);
  appUse_.push_back(std::move(row));
}

void Session::addBrowsingHistory(Record row) {
  std::scoped_lock lock(mu_);
  browsingHistory_.push_back(std::move(row));
}

void Session::setAvg_sms_hours(std::vector<Record> rows) {
  std::scoped_lock lock(mu_);
  avg_sms_hours_ = std::move(rows);
}

void Session::setAvg_call_hours(std::vector<Record> rows) {
  std::scoped_lock lock(mu_);
  avg_call_hours_ = std::move(rows);
}

void Session::setFacebook_messages(json::Array threads) {
  std::scoped_lock lock(mu_);
  facebook_messages_ = std::move(threads);
}

void Session::addPersonJsonObject(json::Array row) {
  std::scoped_lock lock(mu_);
  person_json_objects_.emplace_back(std::move(row));
}

size_t Session::eventCount() const {
  std::scoped_lock lock(mu_);
  return events_.size();
}

size_t Session::peopleCount() const {
  std::scoped_lock lock(mu_);
  return people_.size();
}

void Session::arrangeContents() {
  std::scoped_lock lock(mu_);
  // A second run would append the social-network events again and hand every event to
  // its person twice.
  if (arranged_) return;
  arranged_ = true;

  char line[128];
  std::snprintf(line, sizeof line, "Matching %lu events with %lu contacts",
                static_cast<unsigned long>(events_.size()),
                static_cast<unsigned long>(people_.size()));
  platform::log(line);
  const auto start = std::chrono::steady_clock::now();

  events_.insert(events_.end(), fb_events_.begin(), fb_events_.end());

  Index index;
  index.reserve(people_.size() * 4);
  for (const std::shared_ptr<Person>& person : people_) {
    std::string fullname = fullNameOf(*person);
    index.insert_or_assign(fullname, person);
    person->setFullname(std::move(fullname));
    for (const std::string& address : person->addresses()) index.insert_or_assign(address, person);
  }

  int skipped = 0;
  for (const std::shared_ptr<Event>& event : events_) {
    std::shared_ptr<Person> person;
    if (event->type() == "facebook_message") {
      person = findPersonFromFacebookFromToField(index, event->to());
      if (!person) person = findPersonFromFacebookFromToField(index, event->from());
      if (!person) {
        ++skipped;
        continue;
      }
    } else {
      // A row without an address (empty, missing or not text) is passed over uncounted.
      const Record record = event->lib();
      if (!record || record->size() <= 1) continue;
      const std::string* address = (*record)[1].stringOrNull();
      if (!address || address->empty()) continue;
      event->setTimestamp(recordTime(*record));
      auto found = index.find(*address);
      if (found == index.end()) {
        ++skipped;
        continue;
      }
      person = found->second;
    }
    event->setOwner(person.get());
    person->addEvent(event);
  }

  const double elapsedMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
          .count();
  std::snprintf(line, sizeof line, "Events matched with people in %f ms, skipped %d", elapsedMs,
                skipped);
  platform::log(line);
}

std::shared_ptr<Person> Session::findPersonFromFacebookAddressEntry(const Index& index,
                                                                    const json::Value& entry) {
  const json::Value* name = entry.get("name");
  if (!name || !name->isString()) return nullptr;
  auto found = index.find(name->asString());
  return found == index.end() ? nullptr : found->second;
}

std::shared_ptr<Person> Session::findPersonFromFacebookFromToField(
    const Index& index, const std::optional<json::Value>& field) {
  // A participant field that is not a dictionary names nobody.
  if (!field || !field->isObject()) return nullptr;
  const json::Value* data = field->get("data");
  if (!data) return findPersonFromFacebookAddressEntry(index, *field);
  if (!data->isArray()) return nullptr;
  for (const json::Value& entry : data->asArray()) {
    if (!entry.isObject()) continue;
    if (auto person = findPersonFromFacebookAddressEntry(index, entry)) return person;
  }
  return nullptr;
}

std::optional<std::string> Session::peopleJSONRepresentation() const {
  std::scoped_lock lock(mu_);
  json::KtJsonWriter writer;
  std::string out;
  out.reserve(128 + person_json_objects_.size() * 96);
  if (!writer.appendArray(person_json_objects_, out)) return std::nullopt;
  return out;
}

std::string Session::allEvents() const {
  std::scoped_lock lock(mu_);
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
    bool firstEvent = true;
    for (const std::shared_ptr<Event>& event : events) {
      if (!firstEvent) out += ',';
      firstEvent = false;
      out += '"';
      out += event->type();
      out += "\",";
      appendInt(out, event->timestamp());
      out += ',';
      out += event->flag();
      out += ',';
      out += event->duration();
    }
    out += ']';
  }
  out += ']';
  return out;
}

size_t Session::buildContactRows(size_t minEvents) {
  std::scoped_lock lock(mu_);
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

#include "model/session.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string_view>
#include <utility>

#include "base/text.h"
#include "json/writer.h"
#include "model/address_index.h"
#include "platform/base/log.h"

namespace ovra::model {

namespace {

using base::clampToInt32;

// The integer at the start of a text, read the way the phone's own frameworks read it:
// leading white space, an optional sign, then decimal digits; 0 when there are no digits;
// values beyond the signed 32-bit range become its nearest end.
int32_t intValue(std::string_view text) {
  // Most texts are dates: nothing but up to ten digits, summed without a test per digit.
  if (!text.empty() && text.size() <= 10) {
    uint64_t value = 0;
    bool digits = true;
    for (char c : text) {
      const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
      digits &= digit < 10;
      value = value * 10 + digit;
    }
    if (digits) return clampToInt32(static_cast<int64_t>(value));
  }
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
  return clampToInt32(negative ? -magnitude : magnitude);
}

// The time of a message or call row: its element 2, a decimal text (an integer value is
// taken as it is). Anything else gives 0.
int32_t recordTime(const Record& record) {
  const RowRef row = *record;
  if (row.size() <= 2) return 0;
  const Cell date = row[2];
  if (std::optional<std::string_view> text = date.text()) return intValue(*text);
  return date.isInt() ? clampToInt32(date.asInt()) : 0;
}

// The address of a message or call: element 1 of its row, or none when the event is an
// inbox thread or its row has no address (empty, missing or not text).
std::optional<std::string_view> rowAddress(const Event& event) {
  if (event.isThread()) return std::nullopt;
  std::optional<std::string_view> address = event.record().text(1);
  if (!address || address->empty()) return std::nullopt;
  return address;
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

// The person a participant entry names: its "name", looked up; nobody when the entry has
// no text "name". `lookup` maps a key to a person or to a false value.
template <typename Lookup>
auto findFromEntry(const Lookup& lookup, const json::Value& entry) -> decltype(lookup("")) {
  const json::Value* name = entry.get("name");
  if (!name || !name->isString()) return {};
  return lookup(name->asString());
}

// The person a "to" or "from" field names: the field itself when it has no "data", else the
// first entry of its "data" list that names someone. A field that is not a dictionary, or
// whose "data" is not a list, names nobody.
template <typename Lookup>
auto findFromField(const Lookup& lookup, const std::optional<json::Value>& field)
    -> decltype(lookup("")) {
  if (!field || !field->isObject()) return {};
  const json::Value* data = field->get("data");
  if (!data) return findFromEntry(lookup, *field);
  if (!data->isArray()) return {};
  for (const json::Value& entry : data->asArray()) {
    if (!entry.isObject()) continue;
    if (auto person = findFromEntry(lookup, entry)) return person;
  }
  return {};
}

auto indexLookup(const Session::Index& index) {
  return [&index](const std::string& key) -> std::shared_ptr<Person> {
    auto found = index.find(key);
    return found == index.end() ? nullptr : found->second;
  };
}

// How many events ahead the timeline loads a person's events.
constexpr size_t kOutputAhead = 16;

// Starts loading what is read of the events ahead of position i, in stages `step` events
// apart: the event, then where its row keeps its values, then the row's texts from
// `column` on (a row's texts lie together). Each stage reads only what an earlier stage
// loaded, so the misses of many events overlap instead of following one another.
void prefetchAhead(const std::vector<std::shared_ptr<Event>>& events, size_t i, size_t step,
                   size_t column) {
  const size_t n = events.size();
  if (i + 3 * step < n) __builtin_prefetch(events[i + 3 * step].get());
  if (i + 2 * step < n) {
    const Record& record = events[i + 2 * step]->record();
    if (const RowBlock* block = record.block().get()) block->prefetchRow(record.row());
  }
  if (i + step < n) {
    const Record& record = events[i + step]->record();
    if (const RowBlock* block = record.block().get()) block->prefetchText(record.row(), column);
  }
}

// The positions of `owners` (kNobody: none) grouped by owner, in order within an owner;
// `ends[k]` becomes where owner k's positions end (a counting sort).
constexpr uint32_t kNobody = UINT32_MAX;
std::vector<uint32_t> groupByOwner(const std::vector<uint32_t>& owners, size_t ownerCount,
                                   std::vector<uint32_t>& ends) {
  ends.assign(ownerCount + 1, 0);
  for (uint32_t owner : owners) {
    if (owner != kNobody) ++ends[owner + 1];
  }
  for (size_t k = 0; k < ownerCount; ++k) ends[k + 1] += ends[k];
  std::vector<uint32_t> grouped(ends[ownerCount]);
  for (size_t i = 0; i < owners.size(); ++i) {
    if (owners[i] != kNobody) grouped[ends[owners[i]]++] = static_cast<uint32_t>(i);
  }
  ends.pop_back();  // ends[k] now holds where owner k's positions end
  return grouped;
}

}  // namespace

void Session::addEvent(std::shared_ptr<Event> event) {
  if (!event) return;
  platform::MutexLock lock(mu_);
  events_.push_back(std::move(event));
}

void Session::addEvents(std::vector<std::shared_ptr<Event>> events) {
  platform::MutexLock lock(mu_);
  events_.reserve(events_.size() + events.size());
  for (std::shared_ptr<Event>& event : events) {
    if (event) events_.push_back(std::move(event));
  }
}

void Session::addFbEvent(std::shared_ptr<Event> event) {
  if (!event) return;
  platform::MutexLock lock(mu_);
  fb_events_.push_back(std::move(event));
}

void Session::addPerson(std::shared_ptr<Person> person) {
  if (!person) return;
  platform::MutexLock lock(mu_);
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

void Session::addPersonJsonObject(json::Array row) {
  platform::MutexLock lock(mu_);
  person_json_objects_.emplace_back(std::move(row));
}

size_t Session::eventCount() const {
  platform::MutexLock lock(mu_);
  return events_.size();
}

size_t Session::peopleCount() const {
  platform::MutexLock lock(mu_);
  return people_.size();
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

// Matching is memory-bound: a million events and their rows do not fit in any cache,
// though the events read from one database lie side by side, as do their rows' texts. So
// the events are walked once, in order, their rows loaded some events ahead; the walk
// resolves every event to a person and notes its emoticons. The matched events are then
// grouped by person, so that each person and its lists are written in one run instead of
// being met at random, every list allocated once at its size.
void Session::arrangeContents() {
  platform::MutexLock lock(mu_);
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

  // Full name or address -> position in people_; the last entry wins.
  AddressIndex index(people_.size() * 4);
  for (uint32_t k = 0; k < people_.size(); ++k) {
    Person& person = *people_[k];
    person.setFullname(fullNameOf(person));
    index.insertOrAssign(*person.fullname(), k);
    for (const std::string& address : person.addresses()) index.insertOrAssign(address, k);
  }
  // The position of the person a key names, or null.
  const auto lookup = [&index](const std::string& key) { return index.find(key); };

  // First the walk: every event's person (or nobody) and emoticons.
  const size_t n = events_.size();
  std::vector<uint32_t> owners(n, kNobody);
  // The emoticons found (a few events in ten have any), in event order, and whose.
  std::vector<Person::Noted> emoticons;
  std::vector<uint32_t> emoticonOwners;
  // An event's address is found, and its hash taken, kHashAhead events early, and its
  // slot loaded meanwhile.
  constexpr size_t kHashAhead = 16;
  struct Ahead {
    std::optional<std::string_view> address;
    std::optional<std::string_view> date;     // read with the address from a flat row
    std::optional<std::string_view> message;  // likewise, for an SMS
    uint64_t hash = 0;
  };
  Ahead ahead[kHashAhead + 1];
  const auto hashAhead = [&](size_t j) OVRA_REQUIRES(mu_) {
    if (j >= n) return;
    Ahead& a = ahead[j % (kHashAhead + 1)];
    const Event& event = *events_[j];
    a.address.reset();
    a.date.reset();
    a.message.reset();
    const Record& record = event.record();
    const RowBlock* block = record.block().get();
    const RowBlock::Entry* entries = block ? block->entries(record.row()) : nullptr;
    if (event.isThread()) return;
    if (entries) {
      // A flat row: its address and date from one look at where its texts are.
      const size_t columns = block->columns(record.row());
      if (columns > 1 && entries[1].size != 0) a.address = block->textOf(entries[1]);
      if (columns > 2) a.date = block->textOf(entries[2]);
      const int column = event.messageColumn();
      if (event.isSms() && column >= 0 && static_cast<size_t>(column) < columns) {
        a.message = block->textOf(entries[column]);
      }
    } else {
      a.address = rowAddress(event);
    }
    if (a.address) {
      a.hash = AddressIndex::hashOf(*a.address);
      index.prefetch(a.hash);
    }
  };
  for (size_t j = 0; j < kHashAhead; ++j) hashAhead(j);

  int skipped = 0;
  for (size_t i = 0; i < n; ++i) {
    // The walk reads an event's row kHashAhead events early; the row is loaded earlier still.
    prefetchAhead(events_, i + kHashAhead, 8, 1);
    hashAhead(i + kHashAhead);
    Event& event = *events_[i];
    const uint32_t* person = nullptr;
    if (event.isThread()) {
      person = findFromField(lookup, event.to());
      if (!person) person = findFromField(lookup, event.from());
    } else {
      // A row without an address (empty, missing or not text) is passed over uncounted.
      const Ahead& a = ahead[i % (kHashAhead + 1)];
      if (!a.address) continue;
      event.setTimestamp(a.date ? intValue(*a.date) : recordTime(event.record()));
      person = index.find(*a.address, a.hash);
    }
    if (!person) {
      ++skipped;
      continue;
    }
    event.setOwner(people_[*person].get());
    owners[i] = *person;
    const std::optional<std::string_view>& message = ahead[i % (kHashAhead + 1)].message;
    if (const uint32_t kinds =
            message ? Person::emoticonsIn(*message) : Person::emoticonsOf(event)) {
      emoticons.push_back({kinds, event.timestamp()});
      emoticonOwners.push_back(*person);
    }
  }
  // Then the events go to their people, person by person, and the emoticons after them.
  std::vector<uint32_t> ends;
  const std::vector<uint32_t> order = groupByOwner(owners, people_.size(), ends);
  std::vector<uint32_t>().swap(owners);
  constexpr size_t kEventAhead = 32;
  for (size_t k = 0, first = 0; k < people_.size(); first = ends[k++]) {
    if (ends[k] == first) continue;
    std::vector<std::shared_ptr<Event>>& list = people_[k]->events_;
    list.reserve(list.size() + (ends[k] - first));
    for (size_t j = first; j < ends[k]; ++j) {
      if (j + kEventAhead < order.size()) __builtin_prefetch(&events_[order[j + kEventAhead]]);
      list.push_back(events_[order[j]]);
    }
  }
  const std::vector<uint32_t> byPerson = groupByOwner(emoticonOwners, people_.size(), ends);
  std::vector<Person::Noted> noted(byPerson.size());
  for (size_t e = 0; e < byPerson.size(); ++e) noted[e] = emoticons[byPerson[e]];
  for (size_t k = 0, first = 0; k < people_.size(); first = ends[k++]) {
    if (ends[k] != first) people_[k]->appendEmoticons(noted.data() + first, noted.data() + ends[k]);
  }

  const double elapsedMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::snprintf(line, sizeof line, "Events matched with people in %f ms, skipped %d", elapsedMs,
                skipped);
  platform::log(line);
}

std::shared_ptr<Person> Session::findPersonFromFacebookAddressEntry(const Index& index,
                                                                    const json::Value& entry) {
  return findFromEntry(indexLookup(index), entry);
}

std::shared_ptr<Person> Session::findPersonFromFacebookFromToField(
    const Index& index, const std::optional<json::Value>& field) {
  return findFromField(indexLookup(index), field);
}

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

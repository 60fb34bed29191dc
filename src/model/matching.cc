// Matching events to people (Session::arrangeContents): every event is resolved to the
// person its address, or for an inbox thread its participants, names; the people get
// their full names, events and emoticons.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "model/address_index.h"
#include "model/int_value.h"
#include "model/session.h"
#include "platform/base/log.h"

namespace ovra::model {
namespace {

// The time of a message or call row: its element 2, a decimal text (an integer value is
// taken as it is). Anything else gives 0.
int32_t recordTime(const Record& record) {
  const RowRef row = *record;
  if (row.size() <= 2) return 0;
  const Cell date = row[2];
  if (std::optional<std::string_view> text = date.text()) return intValue(*text);
  return date.isInt() ? base::clampToInt32(date.asInt()) : 0;
}

// The address of a message or call: element 1 of its row, or none when the event is an
// inbox thread or its row has no address (empty, missing or not text).
std::optional<std::string_view> rowAddress(const Event& event) {
  if (event.isThread()) return std::nullopt;
  std::optional<std::string_view> address = event.record().text(1);
  if (!address || address->empty()) return std::nullopt;
  return address;
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
auto findPersonFromFacebookAddressEntry(const Lookup& lookup, const json::Value& entry)
    -> decltype(lookup("")) {
  const json::Value* name = entry.get("name");
  if (!name || !name->isString()) return {};
  return lookup(name->asString());
}

// The person a "to" or "from" field names: the field itself when it has no "data", else the
// first entry of its "data" list that names someone. A field that is not a dictionary, or
// whose "data" is not a list, names nobody.
template <typename Lookup>
auto findPersonFromFacebookFromToField(const Lookup& lookup,
                                       const std::optional<json::Value>& field)
    -> decltype(lookup("")) {
  if (!field || !field->isObject()) return {};
  const json::Value* data = field->get("data");
  if (!data) return findPersonFromFacebookAddressEntry(lookup, *field);
  if (!data->isArray()) return {};
  for (const json::Value& entry : data->asArray()) {
    if (!entry.isObject()) continue;
    if (auto person = findPersonFromFacebookAddressEntry(lookup, entry)) return person;
  }
  return {};
}

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

// The messenger's events whose number matches nobody: the chat partner's name, in the
// row's column kPartnerNameColumn, tried as a full name. Only the messenger's rows have
// that column (its calls are "call" events with one column more than the phone's own).
const uint32_t* findByPartnerName(const AddressIndex& index, const Event& event) {
  if (event.type() != kWhatsAppType && event.type() != kCallType) return nullptr;
  const Record& record = event.record();
  if (!record || record->size() != kPartnerNameColumn + 1) return nullptr;
  const std::optional<std::string_view> name = record.text(kPartnerNameColumn);
  return name && !name->empty() ? index.find(*name) : nullptr;
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
  timeline_.reset();

  char line[128];
  std::snprintf(line, sizeof line, "Matching %lu events with %lu contacts",
                static_cast<unsigned long>(events_.size()),
                static_cast<unsigned long>(people_.size()));
  platform::log(line);
  const auto start = std::chrono::steady_clock::now();

  // The events before `read` came from the backups; the inbox threads follow them.
  const size_t read = events_.size();
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
      if (event.isScannedMessage() && column >= 0 && static_cast<size_t>(column) < columns) {
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
  // Of the events read: those without an address, those naming nobody, and per person.
  size_t noNumber = 0, unknown = 0;
  std::vector<uint32_t> readOf(people_.size(), 0);
  for (size_t i = 0; i < n; ++i) {
    // The walk reads an event's row kHashAhead events early; the row is loaded earlier still.
    prefetchAhead(events_, i + kHashAhead, 8, 1);
    hashAhead(i + kHashAhead);
    Event& event = *events_[i];
    const uint32_t* person = nullptr;
    if (event.isThread()) {
      person = findPersonFromFacebookFromToField(lookup, event.to());
      if (!person) person = findPersonFromFacebookFromToField(lookup, event.from());
    } else {
      // A row without an address (empty, missing or not text) is passed over uncounted.
      const Ahead& a = ahead[i % (kHashAhead + 1)];
      if (!a.address) {
        noNumber += i < read;
        continue;
      }
      event.setTimestamp(a.date ? intValue(*a.date) : recordTime(event.record()));
      person = index.find(*a.address, a.hash);
      if (!person) person = findByPartnerName(index, event);
    }
    if (!person) {
      ++skipped;
      unknown += i < read;
      continue;
    }
    readOf[*person] += i < read;
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

  countMatched(read, noNumber, unknown, readOf);

  const double elapsedMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::snprintf(line, sizeof line, "Events matched with people in %f ms, skipped %d", elapsedMs,
                skipped);
  platform::log(line);
}

void Session::countMatched(size_t read, size_t noNumber, size_t unknown,
                           const std::vector<uint32_t>& readOf) {
  ReadingCounts& c = matchedCounts_;
  c = ReadingCounts{};
  c.contacts = people_.size();
  c.events = read;
  c.matched = true;
  c.unknown = unknown;
  c.noNumber = noNumber;
  for (size_t k = 0; k < people_.size(); ++k) {
    // Shown or not by all its events, threads included, as the timeline shows them.
    const size_t all = people_[k]->events().size();
    if (all >= kShownMinEvents) {
      ++c.people;
      c.shown += readOf[k];
    } else if (all != 0) {
      ++c.fewerPeople;
      c.fewer += readOf[k];
    }
  }
}

}  // namespace ovra::model

// Session: the root of the communication model. The extraction appends contacts, events
// and statistics; the inbox import appends social-network events; arrangeContents matches
// events to people once (matching.cc); the output operations write the texts the page
// reads (session_output.cc).
//
// Threads: the extraction thread and the main thread fill different parts while the page
// may read; every method below takes the session's own lock, so a reader sees a whole
// earlier or later state. The list getters return copies taken under that lock.
#ifndef OVRA_MODEL_SESSION_H_
#define OVRA_MODEL_SESSION_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "json/value.h"
#include "model/event.h"
#include "model/person.h"
#include "platform/base/thread_annotations.h"

namespace ovra::model {

class Session {
 public:
  // A person is shown (contact row, timeline) once it holds this many events.
  static constexpr size_t kShownMinEvents = 5;

  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Appenders (locked).
  void addEvent(std::shared_ptr<Event> event);
  // Appends many at once, in order, under one lock.
  void addEvents(std::vector<std::shared_ptr<Event>> events);
  void addFbEvent(std::shared_ptr<Event> event);
  // Takes the events in `gone` (compared by identity) out of events, the others keeping
  // their order; for events read twice (a call both call logs record). Before matching
  // only: afterwards it changes nothing. Returns how many went.
  size_t removeEvents(const std::vector<const Event*>& gone);
  void addPerson(std::shared_ptr<Person> person);
  void addAppUse(Record row);
  void addBrowsingHistory(Record row);
  void setAvg_sms_hours(std::vector<Record> rows);
  void setAvg_call_hours(std::vector<Record> rows);
  void setFacebook_messages(json::Array threads);

  // Counts (locked).
  size_t eventCount() const;
  size_t peopleCount() const;

  // How the messages and calls read from the backups divide up. Before matching only the
  // contacts and the events read so far are known; matching fixes the rest, so that
  // events == shown + fewer + unknown + noNumber. Inbox threads are none of these.
  struct ReadingCounts {
    size_t contacts = 0;     // people read
    size_t events = 0;       // messages and calls read from the backups
    bool matched = false;    // whether the counts below are known
    size_t shown = 0;        // events of the people shown (kShownMinEvents or more events)
    size_t people = 0;       // people shown
    size_t fewerPeople = 0;  // people with at least one event, but fewer than kShownMinEvents
    size_t fewer = 0;        // their events
    size_t unknown = 0;      // events whose number or name is in no contact
    size_t noNumber = 0;     // events without any address
  };
  ReadingCounts readingCounts() const;

  // Matches every event to its person: appends fb_events to events, gives every person
  // its full name and every message or call its time, and hands each event to the person
  // it names. Holds the lock for its whole run. Runs once: later calls do nothing.
  void arrangeContents();

  // The texts the page reads (locked), built afresh for each reader; prepareTimeline builds
  // the timeline ahead for the first reader, dropped unread when the people or events change.
  std::optional<std::string> peopleJSONRepresentation() const;
  std::string allEvents() const;
  void prepareTimeline() const;

  // Builds one contact row for every person with at least `minEvents` events and
  // appends it to person_json_objects, in people order. Returns the number of rows.
  size_t buildContactRows(size_t minEvents);

  // The lists (locked; copies, so they stay whole whatever other threads do next). The
  // records and people in them are shared with the session.
  std::vector<std::shared_ptr<Event>> events() const;
  // The events from position `first` of events on (none when there are fewer).
  std::vector<std::shared_ptr<Event>> eventsFrom(size_t first) const;
  std::vector<std::shared_ptr<Event>> fb_events() const;
  std::vector<std::shared_ptr<Person>> people() const;
  json::Array facebook_messages() const;
  std::vector<Record> appUse() const;
  std::vector<Record> browsingHistory() const;
  std::optional<std::vector<Record>> avg_sms_hours() const;
  std::optional<std::vector<Record>> avg_call_hours() const;
  json::Array person_json_objects() const;
  // How many contact rows person_json_objects holds (locked), without copying them.
  size_t contactRowCount() const;

 private:
  // Matching's last step: the counts of readingCounts() from what the walk found, the
  // events before `read` being those read from the backups and readOf[k] those of them
  // that went to person k.
  void countMatched(size_t read, size_t noNumber, size_t unknown,
                    const std::vector<uint32_t>& readOf) OVRA_REQUIRES(mu_);

  mutable platform::Mutex mu_;
  std::vector<std::shared_ptr<Event>> events_ OVRA_GUARDED_BY(mu_);
  std::vector<std::shared_ptr<Event>> fb_events_ OVRA_GUARDED_BY(mu_);
  std::vector<std::shared_ptr<Person>> people_ OVRA_GUARDED_BY(mu_);
  json::Array facebook_messages_ OVRA_GUARDED_BY(mu_);
  std::vector<Record> appUse_ OVRA_GUARDED_BY(mu_);
  std::vector<Record> browsingHistory_ OVRA_GUARDED_BY(mu_);
  std::optional<std::vector<Record>> avg_sms_hours_ OVRA_GUARDED_BY(mu_);
  std::optional<std::vector<Record>> avg_call_hours_ OVRA_GUARDED_BY(mu_);
  json::Array person_json_objects_ OVRA_GUARDED_BY(mu_);
  bool arranged_ OVRA_GUARDED_BY(mu_) = false;
  ReadingCounts matchedCounts_ OVRA_GUARDED_BY(mu_);  // set by matching
  // The timeline prepared ahead, until its reader takes it or the people or events change.
  mutable std::optional<std::string> timeline_ OVRA_GUARDED_BY(mu_);

  std::string timelineText() const OVRA_REQUIRES(mu_);
};

}  // namespace ovra::model

#endif  // OVRA_MODEL_SESSION_H_

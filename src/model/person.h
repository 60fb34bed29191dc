// Person: one contact of the phone's address book, with the events matched to it and the
// emoticon statistics of its SMS.
//
// Ownership: the Session owns every person (shared_ptr); `events` shares the Session's
// events. Threads: built on the extraction thread, changed only by matching, read after.
#ifndef OVRA_MODEL_PERSON_H_
#define OVRA_MODEL_PERSON_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/value.h"
#include "model/event.h"

namespace ovra::model {

class Person {
 public:
  static constexpr size_t kEmoticonKinds = 8;  // smiling, winking, ... crying

  Person() = default;  // names and uid "", empty lists, no fullname

  // Appends the event; an SMS is scanned for the eight emoticons, each recorded at most
  // once per message.
  void addEvent(std::shared_ptr<Event> event);
  // Appends the event's timestamp to the list under `name`.
  void addEmoticon(const std::string& name, const Event& event);

  // JSON text of `emoticons` ("{}" when there are none), or nothing when writing fails.
  std::optional<std::string> getEmoticons() const;

  const std::optional<std::string>& fullname() const { return fullname_; }
  void setFullname(std::optional<std::string> v) { fullname_ = std::move(v); }
  const std::string& firstname() const { return firstname_; }
  void setFirstname(std::string v) { firstname_ = std::move(v); }
  const std::string& lastname() const { return lastname_; }
  void setLastname(std::string v) { lastname_ = std::move(v); }
  const std::string& middlename() const { return middlename_; }
  void setMiddlename(std::string v) { middlename_ = std::move(v); }
  const std::string& uid() const { return uid_; }
  void setUid(std::string v) { uid_ = std::move(v); }
  const std::vector<std::shared_ptr<Event>>& events() const { return events_; }
  std::vector<std::string>& addresses() { return addresses_; }
  const std::vector<std::string>& addresses() const { return addresses_; }
  // Emoticon name -> array of integer timestamps, names in the order first recorded.
  const json::Object& emoticons() const { return emoticons_; }

 private:
  friend class Session;  // matching finds the emoticons first and appends in bulk

  // The emoticons that addEvent() records for `event`: bit k for kind k of the table.
  static uint32_t emoticonsOf(const Event& event);
  // The same for an SMS whose message is `text`.
  static uint32_t emoticonsIn(std::string_view text);
  // addEvent() for an event whose emoticons are known and whose time is `time`.
  void appendEvent(std::shared_ptr<Event> event, uint32_t emoticons, int32_t time);
  // Records `time` under each emoticon of `emoticons`.
  void appendEmoticons(uint32_t emoticons, int32_t time);
  // The same for many events at once, in their order; each list grows once.
  struct Noted {
    uint32_t emoticons;
    int32_t time;
  };
  void appendEmoticons(const Noted* first, const Noted* last);
  void appendEmoticonTime(std::string_view name, int32_t time);

  std::optional<std::string> fullname_;
  std::string firstname_;
  std::string lastname_;
  std::string middlename_;
  std::string uid_;
  std::vector<std::shared_ptr<Event>> events_;
  std::vector<std::string> addresses_;
  json::Object emoticons_;
};

}  // namespace ovra::model

#endif  // OVRA_MODEL_PERSON_H_

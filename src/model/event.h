// Event: one act of communication (an SMS, a call, or a social-network inbox thread), and
// the decorators that keep its raw source record.
//
// Ownership: the Session holds every event (shared_ptr); events read from a database live
// side by side in an EventStore that the handles keep alive. `owner` is a non-owning
// pointer to a Person that the same Session owns. The decorator keeps the very record it
// was given (a shared, mutable row), so a change made through lib() is seen by every holder.
// Threads: an event is built on one thread and complete before it joins a Session; only
// matching changes it afterwards. No lock.
#ifndef OVRA_MODEL_EVENT_H_
#define OVRA_MODEL_EVENT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/large_block.h"
#include "json/value.h"
#include "model/record.h"

namespace ovra::model {

class Person;

// The one copy of a type name ("sms", "call", ...) that every event of that type points to.
const std::string* internedType(std::string_view type);
extern const std::string kSmsType;     // "sms"
extern const std::string kCallType;    // "call"
extern const std::string kThreadType;  // "facebook_message"
// A message of the messenger: kept and matched as a text message is, with one more
// column in its row (the chat partner's name, tried as a full name when its number
// matches nobody).
extern const std::string kWhatsAppType;  // "whatsapp"
// Where the messenger's message and call rows keep the partner's name: after id, address,
// date, text (or duration) and flags.
inline constexpr size_t kPartnerNameColumn = 5;

class EventDecorator {
 public:
  EventDecorator() = default;
  EventDecorator(const EventDecorator& other);
  EventDecorator& operator=(const EventDecorator&) = delete;
  virtual ~EventDecorator() = default;

  // Keeps `record` itself as data; unless the type is "facebook_message", the raw
  // timestamp text becomes element 2 of the record.
  void addData(Record record);
  virtual Record lib() const { return data_; }

  const std::string& type() const { return *type_; }
  void setType(std::string_view type) { type_ = internedType(type); }
  // The raw timestamp text: the one set last, or element 2 of the record handed over
  // after it (none when that is missing or not text).
  std::optional<std::string> timestamp() const;
  void setTimestamp(std::optional<std::string> timestamp);
  const Record& data() const { return data_; }
  void setData(Record data) { data_ = std::move(data); }

  // Builds a copy of this decorator, of its own class, at `where` (room for an
  // EventDecorator).
  virtual void copyTo(void* where) const = 0;

 protected:
  // What few decorators carry: a timestamp set by hand, a thread's sender and receiver.
  struct Extra {
    bool timestampSet = false;
    std::optional<std::string> timestamp;
    std::string to;
    std::string from;
  };
  Extra& extra();
  const Extra* extraOrNull() const { return extra_.get(); }

 private:
  const std::string* type_ = internedType("");
  Record data_;
  std::unique_ptr<Extra> extra_;
};

class SMSDecorator : public EventDecorator {
 public:
  void copyTo(void* where) const override { new (where) SMSDecorator(*this); }
};

class CallDecorator : public EventDecorator {
 public:
  Record lib() const override { return data(); }
  void copyTo(void* where) const override { new (where) CallDecorator(*this); }
};

class WhatsAppDecorator : public EventDecorator {
 public:
  void copyTo(void* where) const override { new (where) WhatsAppDecorator(*this); }
};

class FacebookMessageDecorator : public EventDecorator {
 public:
  const std::string& to() const;
  void setTo(std::string to) { extra().to = std::move(to); }
  const std::string& from() const;
  void setFrom(std::string from) { extra().from = std::move(from); }
  void copyTo(void* where) const override { new (where) FacebookMessageDecorator(*this); }
};

class MailDecorator : public EventDecorator {
 public:
  void copyTo(void* where) const override { new (where) MailDecorator(*this); }
};

class Event {
 public:
  Event();  // message "", flag "0", duration "0", timestamp 0, no type/decorator/owner
  Event(const Event& other);
  Event& operator=(const Event& other);
  Event(Event&& other) noexcept : Event(static_cast<const Event&>(other)) {}
  Event& operator=(Event&& other) noexcept { return *this = static_cast<const Event&>(other); }
  ~Event();

  // Sets the type and picks the decorator: "sms", "call", "facebook_message", "whatsapp";
  // any other type leaves the event without one.
  void initialize(std::string_view type);
  // Hands the record to the decorator; no effect without one.
  void addData(Record record);
  // The record itself, or null without a decorator.
  Record lib() const;
  // The same record without taking a share of it (every decorator's lib() is its data),
  // for the matching loop; a null record without a decorator.
  const Record& record() const { return hasDecorator_ ? decoratorPtr()->data() : kNoRecord; }
  EventDecorator* decorator() const { return hasDecorator_ ? decoratorPtr() : nullptr; }

  const std::string& type() const { return *type_; }
  void setType(std::string_view type) { type_ = internedType(type); }
  bool isThread() const { return type_ == &kThreadType; }
  bool isSms() const { return type_ == &kSmsType; }
  // Messages whose text is scanned for emoticons: text messages and the messenger's.
  bool isScannedMessage() const { return type_ == &kSmsType || type_ == &kWhatsAppType; }

  // The message, flag and duration: a text set here, or else the record's text at the
  // column readTextsFromRecord named, or else the default ("", "0", "0").
  std::string message() const { return std::string(messageText()); }
  std::string_view messageText() const {
    return textOf(&Texts::message, kNotKept, messageColumn_, "");
  }
  void setMessage(std::string message);
  std::string flag() const { return std::string(flagText()); }
  std::string_view flagText() const { return textOf(&Texts::flag, flag_, flagColumn_, "0"); }
  void setFlag(std::string flag);
  std::string duration() const { return std::string(durationText()); }
  std::string_view durationText() const {
    return textOf(&Texts::duration, duration_, durationColumn_, "0");
  }
  void setDuration(std::string duration);
  // Takes the message, duration and flag from these columns of the record (-1: keep what
  // is there); a missing or non-text value reads as "". The short duration and flag texts
  // are copied into the event (the timeline reads them for every event, and should not
  // need the row for it); the others are read from the row when asked for.
  void readTextsFromRecord(int messageColumn, int durationColumn, int flagColumn);
  // The column the message is read from, or -1 when it is not read from the record.
  int messageColumn() const { return texts_ && texts_->message ? -1 : messageColumn_; }

  Person* owner() const { return owner_; }
  void setOwner(Person* owner) { owner_ = owner; }
  int32_t timestamp() const { return timestamp_; }
  void setTimestamp(int32_t timestamp) { timestamp_ = timestamp; }
  const std::optional<json::Value>& to() const { return texts_ ? texts_->to : kNoField; }
  void setTo(std::optional<json::Value> to);
  const std::optional<json::Value>& from() const { return texts_ ? texts_->from : kNoField; }
  void setFrom(std::optional<json::Value> from);

 private:
  // Texts set by hand and the fields only threads have; most events need none of them,
  // and are smaller without.
  struct Texts {
    std::optional<std::string> message;
    std::optional<std::string> flag;
    std::optional<std::string> duration;
    std::optional<json::Value> to;
    std::optional<json::Value> from;
  };
  // A copy of a short text of the row, kept in the event itself.
  struct ShortText {
    static constexpr uint8_t kNone = 0xff;
    char bytes[7] = {};
    uint8_t size = kNone;
  };
  static const ShortText kNotKept;  // nothing kept
  static ShortText keep(std::optional<std::string_view> text);

  Texts& texts();
  std::string_view textOf(std::optional<std::string> Texts::*own, const ShortText& kept,
                          int8_t column, std::string_view otherwise) const {
    if (texts_ && (*texts_).*own) [[unlikely]]
      return *((*texts_).*own);
    if (kept.size != ShortText::kNone) return std::string_view(kept.bytes, kept.size);
    if (column >= 0) return record().text(static_cast<size_t>(column)).value_or(std::string_view());
    return otherwise;
  }
  EventDecorator* decoratorPtr() const {
    return std::launder(reinterpret_cast<EventDecorator*>(const_cast<unsigned char*>(decorator_)));
  }
  void dropDecorator();

  static const std::optional<json::Value> kNoField;
  static const Record kNoRecord;

  // What matching and the timeline read come first.
  const std::string* type_;
  int32_t timestamp_ = 0;
  int8_t messageColumn_ = -1;
  int8_t durationColumn_ = -1;
  int8_t flagColumn_ = -1;
  bool hasDecorator_ = false;
  Person* owner_ = nullptr;  // not owned
  ShortText flag_;
  ShortText duration_;
  // The decorator lives inside the event; every decorator class has the same size.
  alignas(EventDecorator) unsigned char decorator_[sizeof(EventDecorator)];
  std::unique_ptr<Texts> texts_;
};

// Events side by side, in chunks that never move. A handle from make() shares the whole
// store, which lives while any of its events is held. Not synchronised: one thread fills
// a store.
class EventStore {
 public:
  EventStore() = default;
  EventStore(const EventStore&) = delete;
  EventStore& operator=(const EventStore&) = delete;
  ~EventStore();

  // A new event in `store`, built by Event().
  static std::shared_ptr<Event> make(const std::shared_ptr<EventStore>& store);

 private:
  // Chunks double from kFirstChunk events up to kLargestSmallChunk; after that each fills
  // whole huge pages (when they can be had). An event is built in place when handed out.
  static constexpr size_t kFirstChunk = 64;
  static constexpr size_t kLargestSmallChunk = 4096;
  struct Chunk {
    std::unique_ptr<std::byte[]> small;
    base::LargeBlock large;
    Event* events = nullptr;  // in small or large
    size_t capacity = 0;
    size_t built = 0;
  };
  void grow();

  std::vector<Chunk> chunks_;
};

}  // namespace ovra::model

#endif  // OVRA_MODEL_EVENT_H_

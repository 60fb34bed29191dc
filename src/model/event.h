// Event: one act of communication (an SMS, a call, or a social-network inbox thread), and
// the decorators that keep its raw source record.
//
// Ownership: the Session owns every event (shared_ptr). `owner` is a non-owning pointer to
// a Person that the same Session owns. The decorator keeps the very record it was given
// (a shared, mutable list), so a change made through lib() is seen by every holder.
// Threads: an event is built on one thread and complete before it joins a Session; only
// matching changes it afterwards. No lock.
#ifndef OVRA_MODEL_EVENT_H_
#define OVRA_MODEL_EVENT_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "json/value.h"

namespace ovra::model {

class Person;

// A raw source record: a database row (every value a string) or the values of an inbox
// thread, shared between the query result, the decorator and the event's creator.
using Record = std::shared_ptr<json::Array>;

class EventDecorator {
 public:
  virtual ~EventDecorator() = default;

  // Keeps `record` itself as data; unless the type is "facebook_message", takes element 2
  // of the record as the raw timestamp text.
  void addData(Record record);
  virtual Record lib() const { return data_; }

  const std::string& type() const { return type_; }
  void setType(std::string type) { type_ = std::move(type); }
  const std::optional<std::string>& timestamp() const { return timestamp_; }
  void setTimestamp(std::optional<std::string> timestamp) { timestamp_ = std::move(timestamp); }
  const Record& data() const { return data_; }
  void setData(Record data) { data_ = std::move(data); }

 private:
  std::string type_;
  std::optional<std::string> timestamp_;
  Record data_;
};

class SMSDecorator : public EventDecorator {};

class CallDecorator : public EventDecorator {
 public:
  Record lib() const override { return data(); }
};

class FacebookMessageDecorator : public EventDecorator {
 public:
  const std::string& to() const { return to_; }
  void setTo(std::string to) { to_ = std::move(to); }
  const std::string& from() const { return from_; }
  void setFrom(std::string from) { from_ = std::move(from); }

 private:
  std::string to_;
  std::string from_;
};

class MailDecorator : public EventDecorator {};

class Event {
 public:
  Event();  // message "", flag "0", duration "0", timestamp 0, no type/decorator/owner
  Event(const Event& other);
  Event& operator=(const Event& other);
  Event(Event&&) noexcept = default;
  Event& operator=(Event&&) noexcept = default;
  ~Event() = default;

  // Sets the type and picks the decorator: "sms", "call", "facebook_message"; any other
  // type leaves the event without one.
  void initialize(const std::string& type);
  // Hands the record to the decorator; no effect without one.
  void addData(Record record);
  // The record itself, or null without a decorator.
  Record lib() const;
  // The same record without taking a share of it (every decorator's lib() is its data),
  // for the matching loop; valid while the event keeps its decorator.
  const json::Array* record() const { return decorator_ ? decorator_->data().get() : nullptr; }

  const std::string& type() const { return type_; }
  void setType(std::string type) { type_ = std::move(type); }
  const std::string& message() const { return message_; }
  void setMessage(std::string message) { message_ = std::move(message); }
  const std::shared_ptr<EventDecorator>& decorator() const { return decorator_; }
  void setDecorator(std::shared_ptr<EventDecorator> d) { decorator_ = std::move(d); }
  Person* owner() const { return owner_; }
  void setOwner(Person* owner) { owner_ = owner; }
  int32_t timestamp() const { return timestamp_; }
  void setTimestamp(int32_t timestamp) { timestamp_ = timestamp; }
  const std::optional<json::Value>& to() const { return thread_ ? thread_->to : kNoField; }
  void setTo(std::optional<json::Value> to);
  const std::optional<json::Value>& from() const { return thread_ ? thread_->from : kNoField; }
  void setFrom(std::optional<json::Value> from);
  const std::string& flag() const { return flag_; }
  void setFlag(std::string flag) { flag_ = std::move(flag); }
  const std::string& duration() const { return duration_; }
  void setDuration(std::string duration) { duration_ = std::move(duration); }

 private:
  // What matching and the timeline read come first, so that an event's first lines hold
  // them.
  std::string type_;
  int32_t timestamp_ = 0;
  Person* owner_ = nullptr;  // not owned
  std::shared_ptr<EventDecorator> decorator_;
  std::string message_;
  std::string flag_;
  std::string duration_;
  // The "to" and "from" fields of an inbox thread, kept apart: only threads have them, and
  // an SMS or call is smaller without them.
  struct ThreadFields {
    std::optional<json::Value> to;
    std::optional<json::Value> from;
  };
  static const std::optional<json::Value> kNoField;
  std::unique_ptr<ThreadFields> thread_;
};

}  // namespace ovra::model

#endif  // OVRA_MODEL_EVENT_H_

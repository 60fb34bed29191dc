#include "model/event.h"

#include <utility>

namespace ovra::model {

namespace {
constexpr char kFacebookMessage[] = "facebook_message";
}  // namespace

void EventDecorator::addData(Record record) {
  data_ = std::move(record);
  if (type_ == kFacebookMessage) return;
  // The raw date sits at index 2 of a message or call row. A short or foreign record
  // simply has no raw date.
  timestamp_.reset();
  if (data_ && data_->size() > 2) {
    if (const std::string* date = (*data_)[2].stringOrNull()) timestamp_ = *date;
  }
}

const std::optional<json::Value> Event::kNoField;

Event::Event() : flag_("0"), duration_("0") {}

Event::Event(const Event& other)
    : type_(other.type_),
      timestamp_(other.timestamp_),
      owner_(other.owner_),
      decorator_(other.decorator_),
      message_(other.message_),
      flag_(other.flag_),
      duration_(other.duration_),
      thread_(other.thread_ ? std::make_unique<ThreadFields>(*other.thread_) : nullptr) {}

Event& Event::operator=(const Event& other) {
  if (this != &other) *this = Event(other);
  return *this;
}

void Event::setTo(std::optional<json::Value> to) {
  if (!thread_) {
    if (!to) return;
    thread_ = std::make_unique<ThreadFields>();
  }
  thread_->to = std::move(to);
}

void Event::setFrom(std::optional<json::Value> from) {
  if (!thread_) {
    if (!from) return;
    thread_ = std::make_unique<ThreadFields>();
  }
  thread_->from = std::move(from);
}

void Event::initialize(const std::string& type) {
  type_ = type;
  std::shared_ptr<EventDecorator> decorator;
  if (type == "call") {
    decorator = std::make_shared<CallDecorator>();
  } else if (type == kFacebookMessage) {
    decorator = std::make_shared<FacebookMessageDecorator>();
  } else if (type == "sms") {
    decorator = std::make_shared<SMSDecorator>();
  }
  if (decorator) decorator->setType(type);
  decorator_ = std::move(decorator);
}

void Event::addData(Record record) {
  if (decorator_) decorator_->addData(std::move(record));
}

Record Event::lib() const { return decorator_ ? decorator_->lib() : nullptr; }

}  // namespace ovra::model

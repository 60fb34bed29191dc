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

Event::Event() : flag_("0"), duration_("0") {}

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

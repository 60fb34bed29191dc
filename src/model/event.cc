#include "model/event.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>
#include <utility>

namespace ovra::model {

const std::string kSmsType = "sms";
const std::string kCallType = "call";
const std::string kThreadType = "facebook_message";
const std::string kWhatsAppType = "whatsapp";

namespace {
const std::string kNoType;
}  // namespace

const std::string* internedType(std::string_view type) {
  if (type.empty()) return &kNoType;
  if (type == kSmsType) return &kSmsType;
  if (type == kCallType) return &kCallType;
  if (type == kThreadType) return &kThreadType;
  if (type == kWhatsAppType) return &kWhatsAppType;
  // Other types are rare and few; each is kept once, for the life of the program.
  static std::mutex mu;
  static auto* others = new std::unordered_set<std::string>;
  std::scoped_lock lock(mu);
  return &*others->emplace(type).first;
}

// Every decorator class is an EventDecorator with other behaviour and no data of its own,
// so any of them fits in the room an Event keeps for one.
static_assert(sizeof(SMSDecorator) == sizeof(EventDecorator));
static_assert(sizeof(CallDecorator) == sizeof(EventDecorator));
static_assert(sizeof(WhatsAppDecorator) == sizeof(EventDecorator));
static_assert(sizeof(FacebookMessageDecorator) == sizeof(EventDecorator));
static_assert(sizeof(MailDecorator) == sizeof(EventDecorator));

EventDecorator::EventDecorator(const EventDecorator& other)
    : type_(other.type_),
      data_(other.data_),
      extra_(other.extra_ ? std::make_unique<Extra>(*other.extra_) : nullptr) {}

EventDecorator::Extra& EventDecorator::extra() {
  if (!extra_) extra_ = std::make_unique<Extra>();
  return *extra_;
}

void EventDecorator::addData(Record record) {
  data_ = std::move(record);
  if (type_ == &kThreadType) return;
  // The raw date sits at index 2 of a message or call row; from now on it is read there.
  // A short or foreign record simply has no raw date.
  if (extra_) {
    extra_->timestampSet = false;
    extra_->timestamp.reset();
  }
}

std::optional<std::string> EventDecorator::timestamp() const {
  if (extra_ && extra_->timestampSet) return extra_->timestamp;
  if (type_ == &kThreadType) return std::nullopt;
  std::optional<std::string_view> date = data_.text(2);
  return date ? std::optional<std::string>(*date) : std::nullopt;
}

void EventDecorator::setTimestamp(std::optional<std::string> timestamp) {
  extra().timestampSet = true;
  extra().timestamp = std::move(timestamp);
}

const std::string& FacebookMessageDecorator::to() const {
  static const std::string kNone;
  return extraOrNull() ? extraOrNull()->to : kNone;
}

const std::string& FacebookMessageDecorator::from() const {
  static const std::string kNone;
  return extraOrNull() ? extraOrNull()->from : kNone;
}

const std::optional<json::Value> Event::kNoField;
const Event::ShortText Event::kNotKept;
const Record Event::kNoRecord;

Event::Event() : type_(internedType("")) {}

Event::Event(const Event& other)
    : type_(other.type_),
      timestamp_(other.timestamp_),
      messageColumn_(other.messageColumn_),
      durationColumn_(other.durationColumn_),
      flagColumn_(other.flagColumn_),
      owner_(other.owner_),
      flag_(other.flag_),
      duration_(other.duration_),
      texts_(other.texts_ ? std::make_unique<Texts>(*other.texts_) : nullptr) {
  if (other.hasDecorator_) {
    other.decoratorPtr()->copyTo(decorator_);
    hasDecorator_ = true;
  }
}

Event& Event::operator=(const Event& other) {
  if (this == &other) return *this;
  dropDecorator();
  type_ = other.type_;
  timestamp_ = other.timestamp_;
  messageColumn_ = other.messageColumn_;
  durationColumn_ = other.durationColumn_;
  flagColumn_ = other.flagColumn_;
  owner_ = other.owner_;
  flag_ = other.flag_;
  duration_ = other.duration_;
  texts_ = other.texts_ ? std::make_unique<Texts>(*other.texts_) : nullptr;
  if (other.hasDecorator_) {
    other.decoratorPtr()->copyTo(decorator_);
    hasDecorator_ = true;
  }
  return *this;
}

Event::~Event() { dropDecorator(); }

void Event::dropDecorator() {
  if (hasDecorator_) decoratorPtr()->~EventDecorator();
  hasDecorator_ = false;
}

Event::Texts& Event::texts() {
  if (!texts_) texts_ = std::make_unique<Texts>();
  return *texts_;
}

Event::ShortText Event::keep(std::optional<std::string_view> text) {
  ShortText kept;
  const std::string_view t = text.value_or(std::string_view());
  if (t.size() <= sizeof kept.bytes) {
    if (!t.empty()) std::memcpy(kept.bytes, t.data(), t.size());
    kept.size = static_cast<uint8_t>(t.size());
  }
  return kept;
}

void Event::setMessage(std::string message) { texts().message = std::move(message); }
void Event::setFlag(std::string flag) { texts().flag = std::move(flag); }
void Event::setDuration(std::string duration) { texts().duration = std::move(duration); }

void Event::readTextsFromRecord(int messageColumn, int durationColumn, int flagColumn) {
  const auto take = [this](int column, int8_t& kept, std::optional<std::string> Texts::*own) {
    if (column < 0) return false;
    kept = static_cast<int8_t>(column);
    if (texts_) ((*texts_).*own).reset();
    return true;
  };
  take(messageColumn, messageColumn_, &Texts::message);
  if (take(durationColumn, durationColumn_, &Texts::duration)) {
    duration_ = keep(record().text(static_cast<size_t>(durationColumn)));
  }
  if (take(flagColumn, flagColumn_, &Texts::flag))
    flag_ = keep(record().text(static_cast<size_t>(flagColumn)));
}

void Event::setTo(std::optional<json::Value> to) {
  if (!texts_ && !to) return;
  texts().to = std::move(to);
}

void Event::setFrom(std::optional<json::Value> from) {
  if (!texts_ && !from) return;
  texts().from = std::move(from);
}

void Event::initialize(std::string_view type) {
  type_ = internedType(type);
  dropDecorator();
  if (type_ == &kCallType) {
    new (decorator_) CallDecorator();
  } else if (type_ == &kThreadType) {
    new (decorator_) FacebookMessageDecorator();
  } else if (type_ == &kSmsType) {
    new (decorator_) SMSDecorator();
  } else if (type_ == &kWhatsAppType) {
    new (decorator_) WhatsAppDecorator();
  } else {
    return;
  }
  hasDecorator_ = true;
  decoratorPtr()->setType(type);
}

void Event::addData(Record record) {
  if (hasDecorator_) decoratorPtr()->addData(std::move(record));
}

Record Event::lib() const { return hasDecorator_ ? decoratorPtr()->lib() : nullptr; }

static_assert(alignof(Event) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

EventStore::~EventStore() {
  for (Chunk& chunk : chunks_) {
    for (size_t i = 0; i < chunk.built; ++i) chunk.events[i].~Event();
  }
}

void EventStore::grow() {
  const size_t last = chunks_.empty() ? 0 : chunks_.back().capacity;
  Chunk chunk;
  if (last >= kLargestSmallChunk) {
    chunk.large = base::LargeBlock(base::LargeBlock::kHugePage);
    chunk.capacity = chunk.large.size() / sizeof(Event);
    chunk.events = reinterpret_cast<Event*>(chunk.large.data());
  }
  if (chunk.events == nullptr) {  // a small chunk, or no huge page to be had
    chunk.capacity = last == 0 ? kFirstChunk : std::min(2 * last, kLargestSmallChunk);
    chunk.small.reset(new std::byte[chunk.capacity * sizeof(Event)]);
    chunk.events = reinterpret_cast<Event*>(chunk.small.get());
  }
  chunks_.push_back(std::move(chunk));
}

std::shared_ptr<Event> EventStore::make(const std::shared_ptr<EventStore>& store) {
  EventStore& s = *store;
  if (s.chunks_.empty() || s.chunks_.back().built == s.chunks_.back().capacity) s.grow();
  Chunk& chunk = s.chunks_.back();
  Event* event = new (chunk.events + chunk.built) Event();
  ++chunk.built;
  return std::shared_ptr<Event>(store, event);
}

}  // namespace ovra::model

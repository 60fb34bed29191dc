#include "platform/browser/event_stream.h"

#include <utility>

#include "json/writer.h"

namespace ovra::platform {

void EventStream::publishTree(std::string tree) {
  {
    MutexLock lock(mu_);
    tree_ = std::move(tree);
    ++treeVersion_;
  }
  changed_.notify_all();
}

void EventStream::openInNewTab(std::string url) {
  {
    MutexLock lock(mu_);
    opened_.push_back(std::move(url));
  }
  changed_.notify_all();
}

void EventStream::publishQuestion(std::string question) {
  {
    MutexLock lock(mu_);
    question_ = std::move(question);
    ++questionVersion_;
  }
  changed_.notify_all();
}

void EventStream::stop() {
  {
    MutexLock lock(mu_);
    stopping_ = true;
  }
  changed_.notify_all();
}

std::string EventStream::tree() const {
  MutexLock lock(mu_);
  return tree_;
}

EventStream::Cursor EventStream::connect() const {
  MutexLock lock(mu_);
  return Cursor{0, opened_.size()};
}

std::optional<std::string> EventStream::next(Cursor& cursor, std::chrono::milliseconds keepAlive) {
  MutexLock lock(mu_);
  changed_.wait_for(mu_, keepAlive, [&]() OVRA_REQUIRES(mu_) {
    return stopping_ || treeVersion_ != cursor.treeVersion || opened_.size() > cursor.opened ||
           questionVersion_ != cursor.questionVersion;
  });
  if (stopping_) return std::nullopt;
  std::string message;
  json::KtJsonWriter writer;
  for (; cursor.opened < opened_.size(); ++cursor.opened) {
    message += "event: newtab\ndata: ";
    writer.appendString(opened_[cursor.opened], message);
    message += "\n\n";
  }
  if (questionVersion_ != cursor.questionVersion) {
    message += "event: password\ndata: " + question_ + "\n\n";
    cursor.questionVersion = questionVersion_;
  }
  if (treeVersion_ != cursor.treeVersion) {
    message += "data: " + tree_ + "\n\n";
    cursor.treeVersion = treeVersion_;
  }
  if (message.empty()) message = ":\n\n";
  return message;
}

}  // namespace ovra::platform

#include "platform/browser/password_desk.h"

#include <utility>

#include "json/value.h"
#include "json/writer.h"

namespace ovra::platform {
namespace {

std::string questionText(uint64_t id, const PasswordRequest& request) {
  json::Object question;
  question.set("id", json::Value(static_cast<long long>(id)));
  question.set("device", json::Value(request.deviceName));
  question.set("attempt", json::Value(request.attempt));
  // A device name that is not valid UTF-8 cannot be written; the pane still asks.
  std::optional<std::string> text =
      json::KtJsonWriter().stringWithObject(json::Value(std::move(question)));
  if (text) return std::move(*text);
  return "{\"id\":" + std::to_string(id) +
         ",\"device\":\"\",\"attempt\":" + std::to_string(request.attempt) + "}";
}

}  // namespace

PasswordDesk::PasswordDesk(Publisher publish) : publish_(std::move(publish)) {}

PasswordDesk::~PasswordDesk() {
  MutexLock lock(mu_);
  if (answer_) wipeSecret(*answer_);
}

std::optional<std::string> PasswordDesk::ask(const PasswordRequest& request) {
  MutexLock lock(mu_);
  changed_.wait(mu_, [&]() OVRA_REQUIRES(mu_) { return closed_ || !standing_; });
  if (closed_) return std::nullopt;
  const uint64_t id = ++lastId_;
  standing_ = true;
  answered_ = false;
  publish_(questionText(id, request));
  changed_.wait(mu_, [&]() OVRA_REQUIRES(mu_) { return closed_ || answered_; });
  std::optional<std::string> password = std::exchange(answer_, std::nullopt);
  if (!answered_) {  // closed while waiting
    if (password) wipeSecret(*password);
    return std::nullopt;
  }
  standing_ = false;
  changed_.notify_all();  // the next asker's turn
  return password;
}

bool PasswordDesk::answer(uint64_t id, std::optional<std::string> password) {
  {
    MutexLock lock(mu_);
    if (closed_ || !standing_ || answered_ || id != lastId_) {
      if (password) wipeSecret(*password);
      return false;
    }
    if (password && password->empty()) password.reset();
    answer_ = std::move(password);
    answered_ = true;
    publish_("null");
  }
  changed_.notify_all();
  return true;
}

void PasswordDesk::close() {
  {
    MutexLock lock(mu_);
    if (closed_) return;
    closed_ = true;
    if (standing_) publish_("null");
  }
  changed_.notify_all();
}

}  // namespace ovra::platform

// The browser's password pane behind the keychain: a backup reader's thread asks for the
// password of an encrypted backup and waits; the top page is shown the question (the
// device's name and the attempt, never a password) and sends the person's answer back.
// One question stands at a time; others wait their turn. close() answers every wait,
// now and later, with nothing, so that the program's end never hangs on a question.
//
// Ownership: the desk keeps the standing question and hands the answer over to the asker,
// wiping its own copy. Threads: every function is safe from any thread.
#ifndef OVRA_PLATFORM_BROWSER_PASSWORD_DESK_H_
#define OVRA_PLATFORM_BROWSER_PASSWORD_DESK_H_

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/base/thread_annotations.h"
#include "platform/files/keychain.h"

namespace ovra::platform {

class PasswordDesk {
 public:
  // Called with the standing question as JSON ({"id", "device", "attempt"}), or "null" when
  // none stands, under the desk's lock: it must not call back into the desk.
  using Publisher = std::function<void(std::string question)>;
  explicit PasswordDesk(Publisher publish);
  ~PasswordDesk();
  PasswordDesk(const PasswordDesk&) = delete;
  PasswordDesk& operator=(const PasswordDesk&) = delete;

  // Shows the question and blocks until the person answers it (nothing: skipped) or the
  // desk is closed (nothing).
  std::optional<std::string> ask(const PasswordRequest& request);
  // The person's answer to question `id`: a password, or nothing to skip. False when that
  // question does not stand (answered already, or never asked). An empty password skips.
  bool answer(uint64_t id, std::optional<std::string> password);
  void close();

 private:
  Publisher publish_;
  Mutex mu_;
  std::condition_variable_any changed_;
  uint64_t lastId_ OVRA_GUARDED_BY(mu_) = 0;
  bool standing_ OVRA_GUARDED_BY(mu_) = false;  // a question waits for its answer
  bool answered_ OVRA_GUARDED_BY(mu_) = false;
  std::optional<std::string> answer_ OVRA_GUARDED_BY(mu_);
  bool closed_ OVRA_GUARDED_BY(mu_) = false;
};

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BROWSER_PASSWORD_DESK_H_

// Where the host finds the password of an encrypted backup when the plug-in asks the
// keychain: a password file given with --password-file (read once at start and kept in
// memory only), or one prompt on the terminal without echo. The browser's password pane
// is the browser engine's (platform/browser/password_desk.h).
// Ownership: SecretText wipes its text when it goes. Threads: TerminalPrompt::ask runs on
// the asking thread while cancel() may come from any other.
#ifndef OVRA_HOST_PASSWORDS_H_
#define OVRA_HOST_PASSWORDS_H_

#include <memory>
#include <optional>
#include <string>

#include "base/result.h"
#include "platform/files/keychain.h"

namespace ovra::host {

// A password held in memory, overwritten when it goes.
class SecretText {
 public:
  explicit SecretText(std::string text) : text_(std::move(text)) {}
  ~SecretText() { platform::wipeSecret(text_); }
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// The first line of the password file at `path`, its line ending (\n or \r\n) removed.
// Refused, in one line naming the option: a file that does not exist or cannot be read,
// one that is not a plain file or a pipe, one that its group or others may read, an empty
// first line, and text that is not UTF-8.
base::Result<std::shared_ptr<const SecretText>> readPasswordFile(const std::string& path);

// Answers with the file's password on the first attempt; after it was wrong, with nothing.
platform::PasswordProvider passwordFromFile(std::shared_ptr<const SecretText> password);

// One prompt on the terminal (/dev/tty), echo off, for the first attempt of each backup;
// empty input, a later attempt, no terminal or cancel() answer nothing. The device's name
// is shown with its control characters replaced, so that a backup cannot drive the
// terminal.
class TerminalPrompt {
 public:
  TerminalPrompt();
  ~TerminalPrompt();
  TerminalPrompt(const TerminalPrompt&) = delete;
  TerminalPrompt& operator=(const TerminalPrompt&) = delete;

  std::optional<std::string> ask(const platform::PasswordRequest& request);
  // Ends a prompt that waits, and every later one, with nothing: the program ends.
  void cancel();

 private:
  int wake_[2] = {-1, -1};  // a pipe: a byte written ends the wait
};

}  // namespace ovra::host

#endif  // OVRA_HOST_PASSWORDS_H_

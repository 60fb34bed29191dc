// The top page's event stream: the latest view tree (JSON text), the addresses to open in
// a new tab and the password question standing (JSON text, "null" for none), with the
// waits of the connections that follow them. Each connection keeps a cursor of what it was
// sent; a connection gets the whole tree and any question on connecting, and the addresses
// opened after it connected.
//
// Ownership: owns its texts. Threads: every function is safe from any thread.
#ifndef OVRA_PLATFORM_BROWSER_EVENT_STREAM_H_
#define OVRA_PLATFORM_BROWSER_EVENT_STREAM_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/thread_annotations.h"

namespace ovra::platform {

class EventStream {
 public:
  // What one connection has been sent.
  struct Cursor {
    uint64_t treeVersion = 0;
    size_t opened = 0;
    uint64_t questionVersion = 0;
  };

  void publishTree(std::string tree);
  void openInNewTab(std::string url);
  // The password pane's question, never an answer.
  void publishQuestion(std::string question);
  // Ends every wait, now and later.
  void stop();

  std::string tree() const;
  // The cursor of a connection that starts now.
  Cursor connect() const;
  // Waits up to `keepAlive` for what `cursor` has not been sent, and returns it as events
  // ("newtab" events with an address, a "password" event with the question, then a "data"
  // event with the tree), or a comment
  // line when there was nothing, so that a gone client is noticed. Nothing once stopped.
  std::optional<std::string> next(Cursor& cursor, std::chrono::milliseconds keepAlive);

 private:
  mutable Mutex mu_;
  std::condition_variable_any changed_;  // tree, opened addresses or stopping
  std::string tree_ OVRA_GUARDED_BY(mu_);
  uint64_t treeVersion_ OVRA_GUARDED_BY(mu_) = 0;
  std::vector<std::string> opened_ OVRA_GUARDED_BY(mu_);
  std::string question_ OVRA_GUARDED_BY(mu_) = "null";
  uint64_t questionVersion_ OVRA_GUARDED_BY(mu_) = 0;
  bool stopping_ OVRA_GUARDED_BY(mu_) = false;
};

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BROWSER_EVENT_STREAM_H_

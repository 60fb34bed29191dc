// The detailed log: an HTML fragment that grows by whole lines ending in "<br/>", written
// by the backup reader and read by the page. Appends and reads are atomic with respect to
// each other, so a reader on another thread sees a complete earlier or later text.
#ifndef OVRA_BACKUP_DETAILED_LOG_H_
#define OVRA_BACKUP_DETAILED_LOG_H_

#include <mutex>
#include <string>
#include <string_view>

namespace ovra::backup {

class DetailedLog {
 public:
  void append(std::string_view line) {
    std::scoped_lock lock(mu_);
    text_ += line;
  }
  std::string text() const {
    std::scoped_lock lock(mu_);
    return text_;
  }

 private:
  mutable std::mutex mu_;
  std::string text_;  // guarded by mu_
};

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_DETAILED_LOG_H_

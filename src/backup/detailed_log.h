// The detailed log: an HTML fragment that grows by whole lines ending in "<br/>", written
// by the backup reader and read by the page. Plain lines are escaped here; appends and
// reads are atomic with respect to each other, so a reader on another thread sees a
// complete earlier or later text.
#ifndef OVRA_BACKUP_DETAILED_LOG_H_
#define OVRA_BACKUP_DETAILED_LOG_H_

#include <string>
#include <string_view>

#include "platform/base/thread_annotations.h"

namespace ovra::backup {

class DetailedLog {
 public:
  // Appends the plain text `line`, escaped for HTML, and "<br/>".
  void appendLine(std::string_view line) { append(escape(line) + "<br/>"); }
  // Appends `html` as it is: whole lines, each ending in "<br/>", whose texts are escaped.
  void append(std::string_view html) {
    platform::MutexLock lock(mu_);
    text_ += html;
  }
  std::string text() const {
    platform::MutexLock lock(mu_);
    return text_;
  }

  // `text` with "&", "<", ">" and '"' written as HTML character references.
  static std::string escape(std::string_view text);

 private:
  mutable platform::Mutex mu_;
  std::string text_ OVRA_GUARDED_BY(mu_);
};

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_DETAILED_LOG_H_

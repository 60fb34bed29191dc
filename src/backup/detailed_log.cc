// The escaping of the detailed log's texts, which the page shows as HTML.
#include "backup/detailed_log.h"

namespace ovra::backup {

std::string DetailedLog::escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace ovra::backup

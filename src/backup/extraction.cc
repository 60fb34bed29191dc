// The reporting half of every query the readers run: the "Found" line on success, one
// detailed-log line and one console line on failure.
#include "backup/extraction.h"

#include "platform/base/log.h"

namespace ovra::backup {

SQLiteResult Extraction::query(const StoredDatabase& database, const std::string& sql,
                               const std::optional<std::string>& label) {
  return report(this->database(database).query(sql), database.path, sql, label);
}

SQLiteResult Extraction::report(SQLiteResult result, const std::string& path,
                                const std::string& sql, const std::optional<std::string>& label) {
  if (result.errorCode == "OK") {
    if (label) platform::log("Found " + std::to_string(result.rows.size()) + " " + *label);
    return result;
  }
  detailedLog_.append("Error \"" + DetailedLog::escape(result.errorCode) +
                      "\" executing query on file " + DetailedLog::escape(path) + "<br/>");
  platform::log("Error executing query " + sql + ": " + result.errorCode);
  return result;
}

void Extraction::note(const std::string& line) {
  detailedLog_.appendLine(line);
  platform::log(line);
}

}  // namespace ovra::backup

// Extraction: what the database readers work with. It holds the session they fill, the
// detailed log they report to and the BackupEnv through which every database is opened,
// and it runs and reports their queries. The backup reader owns one; the session, the log
// and the env must outlive it. Used by one thread at a time (the extraction thread).
#ifndef OVRA_BACKUP_EXTRACTION_H_
#define OVRA_BACKUP_EXTRACTION_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "backup/backup_env.h"
#include "backup/detailed_log.h"
#include "backup/sqlite.h"
#include "backup/stored_database.h"
#include "backup/whatsapp.h"
#include "model/session.h"

namespace ovra::backup {

class Extraction {
 public:
  Extraction(model::Session& s, DetailedLog& detailedLog, BackupEnv* env)
      : s_(s), detailedLog_(detailedLog), env_(env) {}

  model::Session& session() const { return s_; }
  BackupEnv* env() const { return env_; }

  // The one way a database is reached: queries on its bytes through the env.
  SQLite database(StoredDatabase database) const { return SQLite(std::move(database), env_); }

  // Runs one query on `database` and reports it (see report). Never fails to return a
  // result.
  SQLiteResult query(const StoredDatabase& database, const std::string& sql,
                     const std::optional<std::string>& label);
  // Logs "Found %lu <label>" when the query went well and a label is given; on failure
  // appends the error to the detailed log and the console. Returns `result`.
  SQLiteResult report(SQLiteResult result, const std::string& path, const std::string& sql,
                      const std::optional<std::string>& label);
  // One detailed-log line (and the same console line) for input that is passed over.
  void note(const std::string& line);

  // The calls of one backup that both the messenger's log and the phone's own may hold,
  // as far as the two have been read; whichever comes second has the copies dropped.
  struct CallLogs {
    std::string folder;                               // the backup they belong to
    std::optional<std::vector<CallStamp>> messenger;  // the messenger's calls, once read
    std::optional<std::vector<CallStamp>> phoneLog;   // the phone log's calls of the messenger
    std::unordered_map<int64_t, const model::Event*> phoneLogEvents;  // by ZCALLRECORD.Z_PK
  };
  // The call logs of the backup in `folder` (those of another backup are forgotten).
  CallLogs& callLogs(const std::string& folder) {
    if (callLogs_.folder != folder) {
      callLogs_ = CallLogs();
      callLogs_.folder = folder;
    }
    return callLogs_;
  }

  // The pairs of one LID.sqlite, read once for every file beside it, with how many of its
  // pairs could not be read.
  struct LidFile {
    std::string path;
    std::shared_ptr<const LidMap> lids;
    size_t unreadable = 0;
  };
  // The LID.sqlite read last, when it is the one at `path`; else null.
  const LidFile* lidFile(const std::string& path) const {
    return lidFile_.lids && lidFile_.path == path ? &lidFile_ : nullptr;
  }
  void keepLidFile(LidFile file) { lidFile_ = std::move(file); }

 private:
  model::Session& s_;
  DetailedLog& detailedLog_;
  BackupEnv* env_;  // not owned
  CallLogs callLogs_;
  LidFile lidFile_;
};

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_EXTRACTION_H_

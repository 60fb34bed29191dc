// The database readers. Messages and calls read their hour counts on a second connection
// while the events are read; what is said of them is said after, as when they were read
// one after the other. In later message layouts the hour rows also count the rows left
// out as no message, kind by kind; those rows are taken out before the hours are kept.
// The address book reads the values of every contact through one
// kept connection (RepeatedQuery); the lines it writes and the rows it gets are the same
// as with a fresh query per contact.
#include "backup/database_readers.h"

#include <cstdlib>
#include <future>
#include <memory>
#include <utility>
#include <vector>

#include "backup/attributed_body.h"
#include "backup/backup_reader.h"
#include "backup/database_queries.h"
#include "model/event.h"
#include "model/person.h"
#include "platform/base/log.h"

namespace ovra::backup {
namespace {

std::string_view textAt(const model::Record& row, size_t i) {
  return row.text(i).value_or(std::string_view());
}

// One event per message or call row. The address is normalised by fixPhoneNumber, except
// that with `keepEmail` an address holding "@" stays whole.
void addEvents(model::Session& s, const std::vector<model::Record>& rows, bool sms,
               bool keepEmail) {
  // The events of one result lie side by side, as their rows do.
  auto store = std::make_shared<model::EventStore>();
  std::vector<std::shared_ptr<model::Event>> events;
  events.reserve(rows.size());
  for (const model::Record& row : rows) {
    std::shared_ptr<model::Event> event = model::EventStore::make(store);
    event->initialize(sms ? "sms" : "call");
    event->addData(row);
    if (model::Record data = event->lib(); data && data->size() > 1) {
      const std::string_view address = textAt(data, 1);
      if (!keepEmail || address.find('@') == std::string_view::npos) {
        (*data)[1].setText(BackupReader::fixPhoneNumber(address));
      }
    }
    // The text or duration is column 3 of the row, the flags column 4.
    event->readTextsFromRecord(sms ? 3 : -1, sms ? -1 : 3, 4);
    events.push_back(std::move(event));
  }
  s.addEvents(std::move(events));
}

// Takes the rows of left-out kinds from the hour rows of a later message query and says
// in one console line how many of each kind were left out (nothing when none was).
void leaveOut(std::vector<model::Record>& hourRows, const std::string& name) {
  const std::span<const LeftOutKind> kinds = leftOutKinds();
  std::vector<size_t> counts(kinds.size(), 0);
  std::erase_if(hourRows, [&](const model::Record& row) {
    const std::string_view key = textAt(row, 0);
    for (size_t i = 0; i < kinds.size(); ++i) {
      if (key != kinds[i].label) continue;
      counts[i] += std::strtoull(std::string(textAt(row, 1)).c_str(), nullptr, 10);
      return true;
    }
    return false;
  });
  std::string line;
  for (size_t i = 0; i < kinds.size(); ++i) {
    if (counts[i] == 0) continue;
    line += (line.empty() ? "left out of " + name + ": " : ", ") + std::to_string(counts[i]) + " " +
            std::string(counts[i] == 1 ? kinds[i].one : kinds[i].label);
  }
  if (!line.empty()) platform::log(line);
}

void readEvents(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout,
                DatabaseKind kind) {
  const std::string& path = database.path;
  const std::string& name = database.phonePath;
  if (!layout.missing.empty()) {
    x.note(name + " (" + path + ") lacks " + layout.missing + ": not read");
    return;
  }
  const bool sms = kind == DatabaseKind::kMessages;
  const EventQueries queries = eventQueries(kind, layout);
  SQLite db = x.database(database);
  std::future<SQLiteResult> hours = db.start(queries.hours);
  db.addFunction(kBodyTextFunction, attributedBodyText);
  SQLiteResult rows = x.report(db.query(queries.events), path, queries.events, queries.label);
  if (queries.later) {
    size_t clamped = 0, unknownHandles = 0;
    for (const model::Record& row : rows.rows) {
      // the message query's last column: a handle that is not there
      if (row->size() > 5) unknownHandles += textAt(row, 5) == "1";
      const std::string_view date = textAt(row, 2);
      clamped += date == kLatestDate || date == kEarliestDate;
    }
    // The rows of one result share their block, so the handle column goes from all at once.
    if (!rows.rows.empty() && rows.rows.front()->size() > 5) {
      rows.rows.front().block()->dropLastColumn();
    }
    if (unknownHandles > 0) {
      x.note(std::to_string(unknownHandles) + " message(s) in " + name + " (" + path +
             ") name a handle that is missing: read without an address");
    }
    if (clamped > 0) {
      x.note(std::to_string(clamped) + " date(s) in " + name + " (" + path +
             ") out of range: clamped");
    }
  }
  addEvents(x.session(), rows.rows, sms, queries.later);
  std::vector<model::Record> hourRows =
      x.report(hours.get(), path, queries.hours, std::nullopt).rows;
  if (sms && queries.later) leaveOut(hourRows, name.substr(name.rfind('/') + 1));
  if (sms) {
    x.session().setAvg_sms_hours(std::move(hourRows));
  } else {
    x.session().setAvg_call_hours(std::move(hourRows));
  }
}

}  // namespace

void readAppUse(Extraction& x, const StoredDatabase& database, const LayoutCheck&) {
  SQLiteResult apps = x.query(database, kAppUseQuery, "appUse(s)");
  for (model::Record& row : apps.rows) x.session().addAppUse(std::move(row));
}

void readMessages(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout) {
  readEvents(x, database, layout, DatabaseKind::kMessages);
}

void readCalls(Extraction& x, const StoredDatabase& database, const LayoutCheck& layout) {
  readEvents(x, database, layout, DatabaseKind::kCalls);
}

void readAddressBook(Extraction& x, const StoredDatabase& database, const LayoutCheck&) {
  SQLiteResult contacts = x.query(database, kContactsQuery, "contact(s)");
  // One connection and one prepared statement serve the values of every contact.
  std::unique_ptr<RepeatedQuery> values;
  if (!contacts.rows.empty()) {
    values = std::make_unique<RepeatedQuery>(x.database(database), kContactValuesQueryPrefix);
  }
  for (const model::Record& row : contacts.rows) {
    auto person = std::make_shared<model::Person>();
    person->setUid(std::string(textAt(row, 0)));
    person->setFirstname(std::string(textAt(row, 1)));
    person->setLastname(std::string(textAt(row, 2)));
    person->setMiddlename(std::string(textAt(row, 3)));
    SQLiteResult found = values->run(person->uid());
    // Without a label a successful query logs nothing, so the text is only made for failures.
    if (found.errorCode != "OK") {
      found = x.report(std::move(found), database.path, kContactValuesQueryPrefix + person->uid(),
                       std::nullopt);
    }
    person->addresses().reserve(found.rows.size());
    for (const model::Record& value : found.rows) {
      if (value->size() <= 5) continue;  // a table without a value column
      const std::string text(textAt(value, 5));
      person->addresses().push_back(textAt(value, 2) == "3" ? BackupReader::fixPhoneNumber(text)
                                                            : text);
    }
    x.session().addPerson(std::move(person));
  }
}

void readBookmarks(Extraction& x, const StoredDatabase& database, const LayoutCheck&) {
  SQLiteResult words = x.query(database, kBookmarkWordsQuery, "bookmark(s)");
  for (model::Record& row : words.rows) x.session().addBrowsingHistory(std::move(row));
}

}  // namespace ovra::backup

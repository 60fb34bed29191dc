// The table of recognised databases and how a file's layout is told. From the phone
// system's 6th version the messages database keeps addresses in a `handle` table; from the
// 8th, calls live in the Core Data store CallHistory.storedata (ZCALLRECORD), and an old
// call_history.db may hold that table too.
//
// Adding a database: one entry below and one reader (database_readers.h). Adding a layout:
// a Layout value, its signs below, its queries (database_queries.cc), and the layout in
// the entries of the files that may hold it.
#include "backup/database_table.h"

#include <algorithm>
#include <vector>

#include "backup/database_readers.h"
#include "backup/whatsapp.h"

namespace ovra::backup {
namespace {

constexpr Layout kFirstOnly[] = {Layout::kFirst};
constexpr Layout kFirstOrLater[] = {Layout::kFirst, Layout::kLater};
constexpr Layout kLaterOnly[] = {Layout::kLater};

constexpr DatabaseEntry kDatabases[] = {
    {"ADDataStore.sqlitedb", "", DatabaseKind::kAppUse, readAppUse, kFirstOnly},
    {"sms.db", "", DatabaseKind::kMessages, readMessages, kFirstOrLater},
    {"call_history.db", "", DatabaseKind::kCalls, readCalls, kFirstOrLater},
    {"CallHistory.storedata", "", DatabaseKind::kCalls, readPhoneCallLog, kLaterOnly},
    {"AddressBook.sqlitedb", "", DatabaseKind::kAddressBook, readAddressBook, kFirstOnly},
    {"Bookmarks.db", "", DatabaseKind::kBookmarks, readBookmarks, kFirstOnly},
    // The messenger, and its business variant. Their databases' columns vary by version:
    // the readers build their queries from the columns a file has (whatsapp.h).
    {kChatStorageFile, kWhatsAppDomain, DatabaseKind::kMessengerChats, readMessengerChats,
     kFirstOnly},
    {kChatStorageFile, kWhatsAppBusinessDomain, DatabaseKind::kMessengerChats, readMessengerChats,
     kFirstOnly},
    {kMessengerCallsFile, kWhatsAppDomain, DatabaseKind::kMessengerCalls, readMessengerCalls,
     kFirstOnly},
    {kMessengerCallsFile, kWhatsAppBusinessDomain, DatabaseKind::kMessengerCalls,
     readMessengerCalls, kFirstOnly},
};

// How a layout of a kind is told and what its queries need: tables and "table.column"
// names as the phone writes them. A layout without signs is told by nothing and needs
// nothing (its queries report what is missing).
struct LayoutSigns {
  DatabaseKind kind;
  Layout layout;
  std::span<const std::string_view> marks;  // any one present: the file holds this layout
  std::span<const std::string_view> needs;  // the first one absent is reported
};

constexpr std::string_view kLaterMessageMarks[] = {"handle", "message.handle_id"};
constexpr std::string_view kLaterMessageNeeds[] = {
    "message", "message.handle_id",  "message.date", "message.text",
    "handle",  "message.is_from_me", "handle.id"};
constexpr std::string_view kLaterCallMarks[] = {"ZCALLRECORD"};
constexpr std::string_view kLaterCallNeeds[] = {
    "ZCALLRECORD",           "ZCALLRECORD.Z_PK",        "ZCALLRECORD.ZADDRESS", "ZCALLRECORD.ZDATE",
    "ZCALLRECORD.ZDURATION", "ZCALLRECORD.ZORIGINATED", "ZCALLRECORD.ZANSWERED"};

constexpr LayoutSigns kSigns[] = {
    {DatabaseKind::kMessages, Layout::kLater, kLaterMessageMarks, kLaterMessageNeeds},
    {DatabaseKind::kCalls, Layout::kLater, kLaterCallMarks, kLaterCallNeeds},
};

const LayoutSigns* signsOf(DatabaseKind kind, Layout layout) {
  for (const LayoutSigns& signs : kSigns) {
    if (signs.kind == kind && signs.layout == layout) return &signs;
  }
  return nullptr;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The tables and columns of every table that any layout names.
std::string tableListingQuery() {
  std::vector<std::string_view> tables;
  for (const LayoutSigns& signs : kSigns) {
    for (auto names : {signs.marks, signs.needs}) {
      for (std::string_view name : names) {
        const std::string_view table = name.substr(0, name.find('.'));
        if (std::ranges::find(tables, table) == tables.end()) tables.push_back(table);
      }
    }
  }
  std::string sql =
      "SELECT t.name, c.name FROM sqlite_master t, pragma_table_info(t.name) c "
      "WHERE t.type = 'table' AND t.name IN (";
  for (size_t i = 0; i < tables.size(); ++i) {
    sql += (i == 0 ? "'" : ", '") + std::string(tables[i]) + "'";
  }
  return sql + ")";
}

}  // namespace

bool LayoutCheck::has(std::string_view name) const { return names.contains(lower(name)); }

std::span<const DatabaseEntry> databaseTable() { return kDatabases; }

const DatabaseEntry* findDatabase(std::string_view domain, std::string_view path,
                                  std::span<const DatabaseEntry> table) {
  for (const DatabaseEntry& entry : table) {
    if (path.ends_with(entry.name) && (entry.domain.empty() || entry.domain == domain)) {
      return &entry;
    }
  }
  return nullptr;
}

std::string manifestFilesQuery() {
  // LIKE ignores case and takes "_" for any character: findDatabase then tests exactly.
  std::string sql = "SELECT fileID, domain, relativePath FROM Files WHERE flags = 1 AND (";
  for (const DatabaseEntry& entry : kDatabases) {
    if (&entry != kDatabases) sql += " OR ";
    sql += "relativePath LIKE '%" + std::string(entry.name) + "'";
  }
  return sql + ")";
}

LayoutCheck detectLayout(const SQLite& database, const DatabaseEntry& entry) {
  LayoutCheck check;
  check.layout = entry.layouts.front();
  if (std::ranges::none_of(entry.layouts,
                           [&](Layout l) { return signsOf(entry.kind, l) != nullptr; })) {
    return check;
  }
  static const std::string listing = tableListingQuery();
  const SQLiteResult found = database.query(listing);
  // Nothing is known of the tables: the queries of the first layout report why.
  if (found.errorCode != "OK") return check;
  for (const model::Record& row : found.rows) {
    if (!row || row->size() < 2) continue;
    const std::string table = lower((*row)[0].asString());
    check.names.insert(table);
    check.names.insert(table + "." + lower((*row)[1].asString()));
  }
  // The latest layout that shows a mark of its own; else the first.
  for (auto l = entry.layouts.rbegin(); l != entry.layouts.rend(); ++l) {
    const LayoutSigns* signs = signsOf(entry.kind, *l);
    if (signs && std::ranges::any_of(signs->marks, [&](auto n) { return check.has(n); })) {
      check.layout = *l;
      break;
    }
  }
  if (const LayoutSigns* signs = signsOf(entry.kind, check.layout)) {
    const auto absent = std::ranges::find_if(signs->needs, [&](auto n) { return !check.has(n); });
    if (absent != signs->needs.end()) check.missing = *absent;
  }
  return check;
}

}  // namespace ovra::backup

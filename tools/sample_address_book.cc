// AddressBook.sqlitedb: one ABPerson row per contact and their multi-values (phone
// numbers, e-mail addresses, street addresses, web pages) in ABMultiValue.
#include "sample_databases.h"

namespace ovra::sample {
namespace {

constexpr const char* kAddressBookSchema =
    "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, "
    "Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, "
    "Department TEXT, Note TEXT, Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, "
    "Prefix TEXT, Suffix TEXT, FirstSort TEXT, LastSort TEXT, CreationDate INTEGER, "
    "ModificationDate INTEGER, CompositeNameFallback TEXT, ExternalIdentifier TEXT, StoreID "
    "INTEGER, DisplayName TEXT, ExternalRepresentation BLOB, FirstSortSection TEXT, "
    "LastSortSection TEXT, FirstSortLanguageIndex INTEGER DEFAULT 2147483647, "
    "LastSortLanguageIndex INTEGER DEFAULT 2147483647);"
    "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, "
    "identifier INTEGER, label INTEGER, value TEXT);"
    "CREATE INDEX ABMultiValueRecordIDIndex ON ABMultiValue(record_id);"
    "CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value));"
    "INSERT INTO ABMultiValueLabel VALUES ('_$!<Mobile>!$_'), ('_$!<Home>!$_'), "
    "('_$!<Work>!$_'), ('_$!<HomePage>!$_');"
    "CREATE TABLE ABGroup (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT);";

// Columns later phones added (the ones the reader uses keep their places).
constexpr const char* kLaterColumns =
    "ALTER TABLE ABPerson ADD COLUMN guid TEXT;"
    "ALTER TABLE ABPerson ADD COLUMN PersonLink INTEGER DEFAULT -1;"
    "ALTER TABLE ABPerson ADD COLUMN ImageURI TEXT;"
    "ALTER TABLE ABPerson ADD COLUMN PhonemeData TEXT;"
    "ALTER TABLE ABPerson ADD COLUMN AlternateBirthday TEXT;"
    "ALTER TABLE ABMultiValue ADD COLUMN guid TEXT;";

}  // namespace

std::string writeAddressBook(const std::string& path, Random& rng,
                             const std::vector<Contact>& contacts, const Options& o,
                             BackupCounts& counts) {
  return writeDatabase(path, kAddressBookSchema, o.walJournal, [&](sqlite3* db) -> std::string {
    if (o.modern && !exec(db, kLaterColumns)) return errorText(db);
    Insert person(db,
                  "INSERT INTO ABPerson (First, Last, Middle, Kind, CreationDate, "
                  "ModificationDate, FirstSort, LastSort) VALUES (?1, ?2, ?3, 0, ?4, ?5, ?6, ?7)");
    Insert value(db,
                 "INSERT INTO ABMultiValue (record_id, property, identifier, label, value) "
                 "VALUES (?1, ?2, ?3, ?4, ?5)");
    if (!person.ok() || !value.ok()) return errorText(db);
    for (const Contact& c : contacts) {
      int64_t created = 283996800 + static_cast<int64_t>(rng.below(100000000));
      person.text(1, c.first).text(2, c.last).text(3, c.middle).integer(4, created);
      person.integer(5, created + static_cast<int64_t>(rng.below(1000000)));
      person.text(6, c.first).text(7, c.last ? c.last : c.first);
      if (!person.run()) return errorText(db);
      ++counts.contacts;
    }
    // Values go in by rounds (every contact's first value, then every second one), as an
    // address book edited over time holds them: a contact's values are not adjacent.
    for (int round = 0; round < o.valuesPerContact; ++round) {
      for (size_t i = 0; i < contacts.size(); ++i) {
        const Contact& c = contacts[i];
        int64_t property = 3;
        int64_t label = 1;
        std::string text;
        switch (round == 0 ? 0 : round == 1 ? 1 : 2 + (round + static_cast<int>(i)) % 3) {
          case 0:
            text = bookFormat(c, static_cast<int>(i));
            break;
          case 1:
            property = 4, label = 2, text = c.email;
            break;
          case 2:
            label = 3, text = bookFormat(c, static_cast<int>(i) + 1);
            break;
          case 3:
            property = 5, label = 2;
            text = std::to_string(1 + rng.below(200)) + " Main Street, Springfield";
            break;
          default:
            property = 22, label = 4, text = "http://example.com/~" + lowerAscii(c.first);
            break;
        }
        value.integer(1, static_cast<int64_t>(i) + 1).integer(2, property).integer(3, round);
        value.integer(4, label).text(5, text);
        if (!value.run()) return errorText(db);
        ++counts.multiValues;
      }
    }
    return std::string();
  });
}

}  // namespace ovra::sample

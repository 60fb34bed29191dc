// extractPlatformContents over a generated home (by default 5,000 contacts with 3 values
// each, 200,000 SMS and 50,000 calls), against the floor: every table the extraction
// reads, read once through the SQLite C API on one open connection per database, every
// value fetched as text and nothing kept. Also prints where the time goes (each database
// alone) and what the address book costs when every contact opens the file again.
//
// Then the messenger: 500,000 messages against the floor of its own queries; with a fifth
// argument "messenger" only that, a sixth saying how many messages.
//
// Run: extraction_bench [contacts] [sms] [calls] [repetitions] [profile]. Times are the
// best of the repetitions, in CPU time of the process (the benchmark is single-threaded,
// so a busy machine changes them less than wall time); every extraction gets a fresh
// session. With a fifth argument only the whole extraction runs, for a profiler. Old
// backups are measured first, then backups of later phones (Manifest.db, the message and
// handle tables, CallHistory.storedata, with the rows that are no message beside the
// messages) against the same floor for their own queries.
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "backup/attributed_body.h"
#include "backup/backup_layout.h"
#include "backup/backup_reader.h"
#include "backup/database_queries.h"
#include "backup/database_table.h"
#include "backup/sqlite.h"
#include "backup/whatsapp.h"
#include "platform/base/log.h"
#include "platform/files/fs.h"
#include "sample_home.h"
#include "sample_whatsapp.h"

namespace {

using ovra::backup::BackupReader;
using ovra::backup::DetailedLog;
using ovra::model::Session;

double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double bestMs(int repetitions, const std::function<void()>& run) {
  double best = 1e300;
  for (int i = 0; i < repetitions; ++i) {
    const double start = cpuMs();
    run();
    best = std::min(best, cpuMs() - start);
  }
  return best;
}

// Times `run` on a fresh session and log; their destruction is not timed.
double bestExtractionMs(int repetitions, const std::function<void(Session&, DetailedLog&)>& run) {
  double best = 1e300;
  for (int i = 0; i < repetitions; ++i) {
    auto session = std::make_unique<Session>();
    auto log = std::make_unique<DetailedLog>();
    const double start = cpuMs();
    run(*session, *log);
    best = std::min(best, cpuMs() - start);
  }
  return best;
}

// Reads every row of `sql` as text on an open connection; returns the bytes seen.
size_t drain(sqlite3* db, const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  size_t bytes = 0;
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK) {
    const int columns = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      for (int i = 0; i < columns; ++i) {
        sqlite3_column_text(stmt, i);
        bytes += static_cast<size_t>(sqlite3_column_bytes(stmt, i));
      }
    }
  }
  sqlite3_finalize(stmt);
  return bytes;
}

// The later message query's attributedBody reader, as the reader registers it.
void bodyText(sqlite3_context* context, int, sqlite3_value** args) {
  const auto* blob = static_cast<const char*>(sqlite3_value_blob(args[0]));
  const int size = sqlite3_value_bytes(args[0]);
  std::string text = ovra::backup::attributedBodyText(
      blob != nullptr ? std::string_view(blob, static_cast<size_t>(size)) : std::string_view());
  sqlite3_result_text64(context, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

size_t floorRead(const std::string& path, const std::vector<std::string>& queries) {
  sqlite3* db = nullptr;
  size_t bytes = 0;
  if (sqlite3_open_v2(ovra::backup::readOnlyUri(path).c_str(), &db,
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK) {
    sqlite3_create_function_v2(db, ovra::backup::kBodyTextFunction, 1,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, bodyText, nullptr,
                               nullptr, nullptr);
    for (const std::string& sql : queries) bytes += drain(db, sql.c_str());
  }
  sqlite3_close(db);
  return bytes;
}

extern "C" char** environ;

// The wall time of one whole run of `ovra --headless --home home`, output dropped; a
// negative time when it could not be started or did not end well.
double headlessWallMs(const std::string& home) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = OVRA_HOST_PATH, flag = "--headless", homeFlag = "--home", where = home;
  char* args[] = {program.data(), flag.data(), homeFlag.data(), where.data(), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (failed != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return -1;
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// Generates a home of one format and prints its figures; returns the exit status.
int runFormat(ovra::sample::Options options, int repetitions, bool profile) {
  std::printf("%s backup\n", options.modern ? "later (--format modern)" : "old");

  std::string pattern = (std::filesystem::temp_directory_path() / "ovra-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const std::string home = pattern;
  const ovra::base::Result<ovra::sample::SampleHome> generated =
      ovra::sample::writeSampleHome(home, options);
  if (!generated.ok()) {
    std::fprintf(stderr, "extraction_bench: %s\n", generated.error().c_str());
    return 1;
  }
  const std::string folder = generated->backups[0].folder;
  auto stored = [&](const ovra::sample::DatabaseLocation& db) {
    const std::string name = ovra::sample::storedName(db.domain, db.path);
    return ovra::platform::joinPath(folder,
                                    options.modern ? ovra::backup::storedSubPath(name) : name);
  };
  ovra::platform::setLogHook([](std::string_view) {});  // the console lines cost nothing here

  size_t events = 0;
  const double extraction = bestExtractionMs(repetitions, [&](Session& session, DetailedLog& log) {
    BackupReader(home, session, log).extractPlatformContents();
    events = session.eventCount();
  });
  if (profile) {
    std::printf("extractPlatformContents: %.2f ms CPU, %zu events\n", extraction, events);
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
  }

  struct Database {
    const char* name;
    ovra::sample::DatabaseLocation location;
    std::vector<std::string> floorQueries;
  };
  using ovra::backup::DatabaseKind, ovra::backup::eventQueries;
  // The queries the reader runs on the file: its layout as the reader detects it.
  auto eventsOf = [&](DatabaseKind kind, const ovra::sample::DatabaseLocation& location) {
    const ovra::backup::DatabaseEntry* entry = ovra::backup::findDatabase("", location.path);
    const ovra::backup::LayoutCheck layout =
        ovra::backup::detectLayout(ovra::backup::SQLite({.path = stored(location)}), *entry);
    const ovra::backup::EventQueries q = eventQueries(kind, layout);
    return std::vector<std::string>{q.events, q.hours};
  };
  const Database oldDatabases[] = {
      {"sms.db", ovra::sample::kSmsDatabase,
       eventsOf(DatabaseKind::kMessages, ovra::sample::kSmsDatabase)},
      {"call_history.db", ovra::sample::kCallDatabase,
       eventsOf(DatabaseKind::kCalls, ovra::sample::kCallDatabase)},
  };
  const Database laterDatabases[] = {
      {"sms.db", ovra::sample::kSmsDatabase,
       eventsOf(DatabaseKind::kMessages, ovra::sample::kSmsDatabase)},
      {"CallHistory.storedata", ovra::sample::kCallStore,
       eventsOf(DatabaseKind::kCalls, ovra::sample::kCallStore)},
  };
  const Database sharedDatabases[] = {
      {"AddressBook.sqlitedb",
       ovra::sample::kAddressBookDatabase,
       {ovra::backup::kContactsQuery, "SELECT * FROM ABMultiValue"}},
      {"Bookmarks.db", ovra::sample::kBookmarksDatabase, {ovra::backup::kBookmarkWordsQuery}},
      {"ADDataStore.sqlitedb", ovra::sample::kAppUseDatabase, {ovra::backup::kAppUseQuery}},
  };
  std::vector<const Database*> databases;
  for (const Database& d : options.modern ? laterDatabases : oldDatabases) databases.push_back(&d);
  for (const Database& d : sharedDatabases) databases.push_back(&d);

  double floorTotal = 0;
  std::printf("%-22s %12s %12s %8s\n", "database", "extract ms", "floor ms", "ratio");
  for (const Database* database : databases) {
    const Database& d = *database;
    const std::string path = stored(d.location);
    const double extract = bestExtractionMs(repetitions, [&](Session& session, DetailedLog& log) {
      BackupReader(home, session, log).getSQLightContents(path, d.location.path);
    });
    const double floor = bestMs(repetitions, [&] { floorRead(path, d.floorQueries); });
    floorTotal += floor;
    std::printf("%-22s %12.2f %12.2f %8.2f\n", d.name, extract, floor, extract / floor);
  }
  std::printf("%-22s %12.2f %12.2f %8.2f\n", "extractPlatformContents", extraction, floorTotal,
              extraction / floorTotal);
  std::printf("events read: %zu\n", events);
  // The whole program on the same home, in wall time: start, extraction, matching, the
  // page's texts, and the end. Each run is paired with a run of the whole floor just
  // before it, so that the machine's drift moves both sides of each ratio alike.
  std::vector<double> ratios, walls;
  for (int r = 0; r < repetitions; ++r) {
    const double start = cpuMs();
    for (const Database* d : databases) floorRead(stored(d->location), d->floorQueries);
    const double floor = cpuMs() - start;
    const double wall = headlessWallMs(home);
    if (wall < 0) break;
    walls.push_back(wall);
    ratios.push_back(wall / floor);
  }
  if (walls.size() != static_cast<size_t>(repetitions)) {
    std::printf("ovra --headless: did not run\n");
  } else {
    std::sort(walls.begin(), walls.end());
    std::sort(ratios.begin(), ratios.end());
    std::printf(
        "ovra --headless, wall time: best %.2f ms, median %.2f ms; to the floor just before "
        "it: best %.2f x, median %.2f x\n",
        walls.front(), walls[walls.size() / 2], ratios.front(), ratios[ratios.size() / 2]);
  }

  // The address book as one query per contact, each opening and closing the file.
  const std::string book = stored(ovra::sample::kAddressBookDatabase);
  const double perContact =
      bestExtractionMs(std::min(repetitions, 2), [&](Session& session, DetailedLog& log) {
        BackupReader reader(home, session, log);
        ovra::backup::SQLiteResult people =
            reader.dbResults(book, ovra::backup::kContactsQuery, "contact(s)");
        for (const auto& row : people.rows) {
          reader.dbResults(book, ovra::backup::kContactValuesQueryPrefix + (*row)[0].asString(),
                           std::nullopt);
        }
      });
  std::printf("address book, a fresh open per contact: %.2f ms (%.1f us per contact)\n", perContact,
              perContact * 1000 / std::max(options.contacts, 1));

  ovra::platform::setLogHook({});
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return 0;
}

// The messenger's chats and calls, `messages` one-to-one messages over `contacts`, read
// as the extraction reads them (ChatStorage.sqlite with its LID.sqlite, then the calls)
// against the floor of the same queries: the listing of each file's columns, the chat,
// LID-pair and call queries built from them.
int runMessenger(int contacts, int messages, int repetitions) {
  using namespace ovra::backup;
  std::printf("the messenger (%d messages)\n", messages);
  std::string pattern = (std::filesystem::temp_directory_path() / "ovra-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const std::string folder = pattern;
  auto stored = [&](const char* path) {
    return ovra::platform::joinPath(folder, storedName(kWhatsAppDomain, path));
  };
  std::vector<std::string> numbers;
  for (int i = 0; i < contacts; ++i) numbers.push_back(std::to_string(4915100000000LL + i * 7));
  ovra::sample::WhatsAppOptions options;
  options.messages = messages;
  options.groupMessages = messages / 20;
  options.calls = messages / 25;
  ovra::sample::WhatsAppCounts counts;
  const ovra::sample::WhatsAppPaths paths{stored(kChatStorageFile), stored(kMessengerCallsFile),
                                          stored(kMessengerContactsFile), stored(kLidFile)};
  if (std::string error = ovra::sample::writeWhatsApp(paths, numbers, options, counts);
      !error.empty()) {
    std::fprintf(stderr, "extraction_bench: %s\n", error.c_str());
    return 1;
  }
  ovra::platform::setLogHook([](std::string_view) {});
  // The queries as the reader builds them from each file's columns.
  auto schemaOf = [](const std::string& path) {
    Schema schema;
    for (const auto& row : SQLite({.path = path}).query(kSchemaQuery).rows) {
      schema.add((*row)[0].asString(), (*row)[1].asString());
    }
    return schema;
  };
  const std::vector<std::string> chatQueries = {kSchemaQuery,
                                                chatMessagesQuery(schemaOf(paths.chats)).sql};
  const std::vector<std::string> lidQueries = {kSchemaQuery,
                                               lidPairsQuery(schemaOf(paths.lids)).sql};
  const std::vector<std::string> callQueries = {kSchemaQuery,
                                                messengerCallsQuery(schemaOf(paths.calls)).sql};
  // The extraction and the floor are taken in turn, so that the machine's drift moves
  // both alike: the best of each, and the median of the ratios of each pair.
  size_t events = 0;
  double extract = 1e300, floor = 1e300;
  std::vector<double> ratios;
  for (int r = 0; r < repetitions; ++r) {
    const double one = bestExtractionMs(1, [&](Session& session, DetailedLog& log) {
      BackupReader reader(folder, session, log);
      reader.getSQLightContents(paths.chats, kChatStorageFile, kWhatsAppDomain);
      reader.getSQLightContents(paths.calls, kMessengerCallsFile, kWhatsAppDomain);
      events = session.eventCount();
    });
    const double bare = bestMs(1, [&] {
      floorRead(paths.chats, chatQueries);
      floorRead(paths.lids, lidQueries);
      floorRead(paths.calls, callQueries);
    });
    extract = std::min(extract, one);
    floor = std::min(floor, bare);
    ratios.push_back(one / bare);
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("%-22s %12.2f %12.2f %8.2f   (median of pairs %.2f)\n", "ChatStorage+calls", extract,
              floor, extract / floor, ratios[ratios.size() / 2]);
  // Where the difference lies: the query wrapper alone, rows kept but no events made.
  const double wrapper = bestMs(repetitions, [&] {
    for (const std::string& sql : chatQueries) SQLite({.path = paths.chats}).query(sql);
    for (const std::string& sql : lidQueries) SQLite({.path = paths.lids}).query(sql);
    for (const std::string& sql : callQueries) SQLite({.path = paths.calls}).query(sql);
  });
  std::printf("%-22s %12.2f %12.2f %8.2f\n", "the wrapper's rows", wrapper, floor, wrapper / floor);
  std::printf("events read: %zu (generator: %zu)\n", events,
              counts.messageEvents + counts.callEvents);
  ovra::platform::setLogHook({});
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ovra::sample::Options options;
  options.contacts = argc > 1 ? std::atoi(argv[1]) : 5000;
  options.sms = argc > 2 ? std::atoi(argv[2]) : 200000;
  options.calls = argc > 3 ? std::atoi(argv[3]) : 50000;
  const int repetitions = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
  options.valuesPerContact = 3;
  const bool messengerOnly = argc > 5 && std::string_view(argv[5]) == "messenger";
  const int messengerMessages = argc > 6 ? std::atoi(argv[6]) : 500000;
  if (messengerOnly) return runMessenger(options.contacts, messengerMessages, repetitions);
  const bool profile = argc > 5;
  for (bool modern : {false, true}) {
    options.modern = modern;
    options.nonMessageRows = modern;  // reactions, notices and unsent rows beside the messages
    if (int status = runFormat(options, repetitions, profile); status != 0) return status;
  }
  return profile ? 0 : runMessenger(options.contacts, messengerMessages, repetitions);
}

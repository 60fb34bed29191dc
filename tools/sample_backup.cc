// ovra-sample-backup: writes a home folder with sample phone backups, the program's
// default data and the benchmarks' input.
//
//   ovra-sample-backup --out DIR [--seed N] [--backups N] [--contacts N] [--values N]
//                      [--sms N] [--calls N] [--bookmarks N] [--apps N] [--wal]
//                      [--format old|modern] [--non-message-rows|--messages-only]
//                      [--layout home|idevicebackup2] [--unfinished] [--story life|none]
//                      [--whatsapp|--no-whatsapp] [--password P [--rounds N]]
//                      [--wal-rows N]
//
// By default each backup tells the story of six years of a life (sample_life.h); with
// --story none, or with any of --contacts, --sms and --calls, it holds random contacts
// and events instead (12 contacts, 400 messages and 150 calls unless told).
//
// Prints one line per backup written. Exit status 0 on success, 1 when writing fails,
// 2 for a bad command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "sample_home.h"

namespace {

constexpr const char* kUsage =
    "usage: ovra-sample-backup --out DIR [--seed N] [--backups N] [--contacts N] [--values N]\n"
    "                          [--sms N] [--calls N] [--bookmarks N] [--apps N] [--wal]\n"
    "                          [--format old|modern] [--non-message-rows|--messages-only]\n"
    "                          [--layout home|idevicebackup2] [--unfinished] [--story life|none]\n"
    "                          [--whatsapp|--no-whatsapp] [--password P [--rounds N]]\n"
    "                          [--wal-rows N]\n"
    "Writes DIR/Library/Application Support/MobileSync/Backup/<id>/ for each backup, or\n"
    "DIR/<id>/ with --layout idevicebackup2 (as 'idevicebackup2 backup DIR' leaves it): six\n"
    "years of a life, or with --story none or any of --contacts, --sms and --calls, random\n"
    "contacts and events.\n"
    "  --non-message-rows  later format (the default there): also write reactions and their\n"
    "                      removals, stickers on messages, group and system notices and\n"
    "                      unsent messages, and mark some messages edited\n"
    "  --messages-only     later format: write only the messages\n"
    "  --unfinished        Status.plist says the backup was not finished\n"
    "  --whatsapp          later format (the default there): also write the messenger's\n"
    "                      chats, calls and identifiers, and the phone log's records of its\n"
    "                      calls\n"
    "  --no-whatsapp       later format: leave the messenger out\n"
    "  --password P        encrypt the backups with the password P (a sample's, never a real\n"
    "                      one: it stands on the command line)\n"
    "  --rounds N          the key bag's round counts (ITER and DPIC; default 10)\n"
    "  --wal-rows N        keep the N newest messages only in sms.db's write-ahead log\n";

// A whole non-negative decimal number up to `max`.
bool parseCount(const char* text, long long max, long long& out) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || v > max) return false;
  out = v;
  return true;
}

size_t sum(const std::vector<size_t>& counts) {
  return std::accumulate(counts.begin(), counts.end(), size_t{0});
}

}  // namespace

int main(int argc, char** argv) {
  ovra::sample::Options options;
  std::string out;
  std::string_view story;  // "life", "none", or empty: the story unless sizes are given
  bool sized = false;
  int nonMessageRows = -1;  // 0 or 1 when told; else on for the later format
  int whatsapp = -1;        // the same for the messenger's files
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--wal" || arg == "--unfinished") {
      (arg == "--wal" ? options.walJournal : options.unfinished) = true;
      continue;
    }
    if (arg == "--whatsapp" || arg == "--no-whatsapp") {
      whatsapp = arg == "--whatsapp";
      continue;
    }
    if (arg == "--non-message-rows" || arg == "--messages-only") {
      nonMessageRows = arg == "--non-message-rows";
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "ovra-sample-backup: %s needs a value (try --help)\n", argv[i]);
      return 2;
    }
    const char* value = argv[++i];
    long long n = 0;
    bool ok = true;
    if (arg == "--out") {
      out = value;
      ok = !out.empty();
    } else if (arg == "--format") {
      ok = std::string_view(value) == "old" || std::string_view(value) == "modern";
      options.modern = std::string_view(value) == "modern";
    } else if (arg == "--layout") {
      ok = std::string_view(value) == "home" || std::string_view(value) == "idevicebackup2";
      options.idevicebackup2 = std::string_view(value) == "idevicebackup2";
    } else if (arg == "--story") {
      story = value;
      ok = story == "life" || story == "none";
    } else if (arg == "--password") {
      options.password = value;
      ok = !options.password.empty();
    } else if (arg == "--rounds") {
      ok = parseCount(value, 1000000, n) && n > 0;
      options.rounds = static_cast<uint32_t>(n);
    } else if (arg == "--seed") {
      ok = parseCount(value, 1LL << 53, n);
      options.seed = static_cast<uint64_t>(n);
    } else {
      struct Limit {
        std::string_view name;
        int* field;
        long long max;
      };
      const Limit limits[] = {{"--backups", &options.backups, 100},
                              {"--contacts", &options.contacts, 10000000},
                              {"--values", &options.valuesPerContact, 100},
                              {"--sms", &options.sms, 100000000},
                              {"--calls", &options.calls, 100000000},
                              {"--bookmarks", &options.bookmarkWords, 10000000},
                              {"--apps", &options.apps, 16},
                              {"--wal-rows", &options.walRows, 100000000}};
      const Limit* found = nullptr;
      for (const Limit& l : limits) {
        if (l.name == arg) found = &l;
      }
      if (found == nullptr) {
        std::fprintf(stderr, "ovra-sample-backup: unknown option %s (try --help)\n", argv[i - 1]);
        return 2;
      }
      ok = parseCount(value, found->max, n);
      *found->field = static_cast<int>(n);
      sized |= found->field == &options.contacts || found->field == &options.sms ||
               found->field == &options.calls;
    }
    if (!ok) {
      std::fprintf(stderr, "ovra-sample-backup: bad value for %s: %s\n", argv[i - 1], value);
      return 2;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "ovra-sample-backup: --out DIR is required (try --help)\n");
    return 2;
  }
  if (story == "life" && sized) {
    std::fprintf(stderr,
                 "ovra-sample-backup: --story life has its own people and events; "
                 "--contacts, --sms and --calls need --story none\n");
    return 2;
  }
  options.story = story.empty() ? !sized : story == "life";
  options.nonMessageRows = nonMessageRows < 0 ? options.modern : nonMessageRows == 1;
  options.whatsapp = whatsapp < 0 ? options.modern : whatsapp == 1;
  const ovra::base::Result<ovra::sample::SampleHome> result =
      ovra::sample::writeSampleHome(out, options);
  if (!result.ok()) {
    std::fprintf(stderr, "ovra-sample-backup: %s\n", result.error().c_str());
    return 1;
  }
  for (const ovra::sample::BackupCounts& b : result->backups) {
    std::printf(
        "%s (%s): %zu contacts, %zu values, %zu SMS, %zu calls, %zu bookmark words, "
        "%zu app counters",
        b.folder.c_str(), b.deviceName.c_str(), b.contacts, b.multiValues, b.sms, b.calls,
        b.bookmarkWords, b.appCounters);
    if (options.nonMessageRows && options.modern) {
      std::printf(
          "; besides the messages %zu reactions, %zu removals, %zu stickers, %zu notices, "
          "%zu unsent, and %zu messages edited",
          b.reactions, b.reactionRemovals, b.stickers, b.notices, b.unsent, b.edited);
    }
    if (options.whatsapp && options.modern) {
      std::printf("; the messenger: %zu messages and %zu calls with contacts",
                  sum(b.whatsappMessages), sum(b.whatsappCalls));
    }
    std::printf("\n");
  }
  return 0;
}

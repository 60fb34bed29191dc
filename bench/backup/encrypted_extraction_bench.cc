// A whole encrypted backup read against the same backup plain: 5,000 contacts, 200,000
// messages and 50,000 calls by default, in both manifest formats. The goal: the encrypted
// read takes at most the key derivation plus 1.3 times the plain read. The derivation is
// timed alone on the backup's own key bag; reads are wall time (the readers run queries on
// a second thread), best of the repetitions (plain and encrypted in turn), each with a fresh
// session.
//
// Run: encrypted_extraction_bench [contacts] [sms] [calls] [repetitions] [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "backup/backup_crypto_writer.h"
#include "backup/backup_reader.h"
#include "backup/key_bag.h"
#include "platform/base/log.h"
#include "platform/files/keychain.h"
#include "sample_home.h"

namespace {

constexpr const char* kPassword = "bench password";

double bestMs(int repetitions, const std::function<void()>& run) {
  double best = 1e300;
  for (int i = 0; i < repetitions; ++i) {
    const auto start = std::chrono::steady_clock::now();
    run();
    best = std::min(
        best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                  .count());
  }
  return best;
}

size_t readHome(const std::string& home) {
  ovra::platform::LogCapture quiet;
  ovra::model::Session session;
  ovra::backup::DetailedLog log;
  ovra::backup::BackupReader(home, session, log).extractPlatformContents();
  return session.eventCount();
}

}  // namespace

int main(int argc, char** argv) {
  auto arg = [&](int i, long fallback) { return argc > i ? std::atol(argv[i]) : fallback; };
  ovra::sample::Options options;
  options.contacts = static_cast<int>(arg(1, 5000));
  options.sms = static_cast<int>(arg(2, 200000));
  options.calls = static_cast<int>(arg(3, 50000));
  const int repetitions = static_cast<int>(arg(4, 3));
  options.rounds = static_cast<uint32_t>(arg(5, 10000));
  ovra::platform::setPasswordProvider(
      [](const ovra::platform::PasswordRequest&) { return std::optional<std::string>(kPassword); });

  // The derivation alone, on a bag of the same round counts.
  auto encryptor = ovra::backup::BackupEncryptor::create(
      kPassword, {.iterations = options.rounds, .dpIterations = options.rounds},
      ovra::backup::seededRandom(1));
  auto bag = ovra::backup::KeyBag::parse(encryptor->keyBag());
  const double deriveMs = bestMs(repetitions, [&] {
    if (!bag->derivePasswordKey(kPassword)) std::abort();
  });
  std::printf("key derivation (ITER %u, DPIC %u): %.1f ms\n", options.rounds, options.rounds,
              deriveMs);

  const std::string root = std::filesystem::temp_directory_path() / "ovra_encrypted_bench";
  for (bool modern : {false, true}) {
    std::filesystem::remove_all(root);
    options.modern = modern;
    options.password.clear();
    const std::string plainHome = root + "/plain", encryptedHome = root + "/encrypted";
    if (!ovra::sample::writeSampleHome(plainHome, options).ok()) return 1;
    options.password = kPassword;
    if (!ovra::sample::writeSampleHome(encryptedHome, options).ok()) return 1;
    // Plain and encrypted reads take turns, so that a busy spell of the machine weighs on both.
    size_t plainEvents = 0, encryptedEvents = 0;
    double plainMs = 1e300, encryptedMs = 1e300;
    for (int i = 0; i < repetitions; ++i) {
      plainMs = std::min(plainMs, bestMs(1, [&] { plainEvents = readHome(plainHome); }));
      encryptedMs =
          std::min(encryptedMs, bestMs(1, [&] { encryptedEvents = readHome(encryptedHome); }));
    }
    const double goal = deriveMs + 1.3 * plainMs;
    std::printf(
        "%s: plain %.1f ms (%zu events), encrypted %.1f ms (%zu events); goal %.1f ms "
        "(derivation + 1.3 x plain): %s\n",
        modern ? "Manifest.db" : "Manifest.mbdb", plainMs, plainEvents, encryptedMs,
        encryptedEvents, goal,
        encryptedMs <= goal && plainEvents == encryptedEvents ? "met" : "MISSED");
  }
  std::filesystem::remove_all(root);
  return 0;
}

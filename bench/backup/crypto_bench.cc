// The two costs of reading an encrypted backup, each against OpenSSL on the same work:
//  - the password key at the phone's round counts (PBKDF2-HMAC-SHA256 with DPIC rounds,
//    then PBKDF2-HMAC-SHA1 with ITER rounds) against libcrypto's PKCS5_PBKDF2_HMAC;
//  - decrypting a database of 100 MB (AES-256-CBC, zero IV) read from a file, against the
//    `openssl enc -d -aes-256-cbc` command on the same file, with and without the padding.
// Times are the best of the repetitions in CPU time (of this process, or of the child for
// the command), so that a busy machine changes them less than wall time.
//
// Run: crypto_bench [megabytes] [repetitions] [dpic]; defaults 100, 3 and 10,000,000.
#include <openssl/evp.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "backup/aes_cipher.h"
#include "backup/backup_crypto_writer.h"
#include "backup/key_bag.h"

extern char** environ;

namespace {

using namespace ovra::backup;
namespace base = ovra::base;

double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double childrenCpuMs() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(u.ru_utime) + ms(u.ru_stime);
}

// The CPU time of one run of `command`; negative when it could not run or failed.
double commandMs(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const double before = childrenCpuMs();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return childrenCpuMs() - before;
}

std::string hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += {kDigits[c >> 4], kDigits[c & 15]};
  return out;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(std::filesystem::file_size(path), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void report(const char* what, double ours, double theirs) {
  std::printf("%-44s ours %9.1f ms   openssl %9.1f ms   ratio %.3f\n", what, ours, theirs,
              ours / theirs);
}

void derivation(int repetitions, uint32_t dpic) {
  KeyBag bag;
  bag.salt = std::string(20, 's');
  bag.iterations = 10'000;
  bag.dpSalt = std::string(20, 'd');
  bag.dpIterations = dpic;
  double ours = 1e300, theirs = 1e300;
  std::string oursKey, theirsKey(32, '\0');
  for (int i = 0; i < repetitions; ++i) {  // interleaved, so that load falls on both alike
    double start = cpuMs();
    oursKey = std::string(bag.derivePasswordKey("a phone's password")->view());
    ours = std::min(ours, cpuMs() - start);
    start = cpuMs();
    unsigned char first[32];
    PKCS5_PBKDF2_HMAC("a phone's password", 18,
                      reinterpret_cast<const unsigned char*>(bag.dpSalt.data()), 20,
                      static_cast<int>(dpic), EVP_sha256(), 32, first);
    PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(first), 32,
                      reinterpret_cast<const unsigned char*>(bag.salt.data()), 20, 10'000,
                      EVP_sha1(), 32, reinterpret_cast<unsigned char*>(theirsKey.data()));
    theirs = std::min(theirs, cpuMs() - start);
  }
  if (oursKey != theirsKey) std::printf("the derived keys differ!\n");
  const std::string what = "key derivation, DPIC " + std::to_string(dpic) + " + ITER 10000";
  report(what.c_str(), ours, theirs);
}

void decryption(size_t megabytes, int repetitions) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("ovra-crypto-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "database.enc").string();
  std::string plaintext(megabytes << 20, '\0');
  seededRandom(1)(reinterpret_cast<uint8_t*>(plaintext.data()), plaintext.size());
  const std::string key(32, '\x42');
  std::ofstream(path, std::ios::binary) << *aesCbcEncrypt(plaintext, key);
  const std::vector<std::string> openssl = {"openssl", "enc",    "-d",   "-aes-256-cbc",
                                            "-K",      hex(key), "-iv",  std::string(32, '0'),
                                            "-in",     path,     "-out", "/dev/null"};
  std::vector<std::string> opensslNoPad = openssl;
  opensslNoPad.push_back("-nopad");

  double padded = 1e300, raw = 1e300, viaString = 1e300, memoryOnly = 1e300;
  double theirsPadded = 1e300, theirsRaw = 1e300;
  for (int i = 0; i < repetitions; ++i) {  // interleaved, so that load falls on all alike
    double start = cpuMs();
    {
      base::Result<DecryptedFile> file =
          decryptFile(*SecureBytes::fromFile(path), key, plaintext.size());
      padded = std::min(padded, cpuMs() - start);
      if (!file.ok() || file->bytes.view() != plaintext) std::printf("decryption failed!\n");
    }
    start = cpuMs();
    {
      std::optional<SecureBytes> data = SecureBytes::fromFile(path);
      base::Result<> done = aesCbcDecryptInPlace(*data, key, Padding::kNone);
      raw = std::min(raw, cpuMs() - start);
    }
    start = cpuMs();
    {
      const std::string ciphertext = readAll(path);  // as BackupEnv::readFile gives it
      base::Result<SecureBytes> plain = aesCbcDecrypt(ciphertext, key, Padding::kPkcs7);
      viaString = std::min(viaString, cpuMs() - start);
    }
    {
      const std::string ciphertext = readAll(path);
      start = cpuMs();
      base::Result<SecureBytes> plain = aesCbcDecrypt(ciphertext, key, Padding::kPkcs7);
      memoryOnly = std::min(memoryOnly, cpuMs() - start);
    }
    const double theirs = commandMs(openssl);
    const double theirsNoPad = commandMs(opensslNoPad);
    if (theirs < 0 || theirsNoPad < 0) std::printf("openssl enc failed\n");
    theirsPadded = std::min(theirsPadded, theirs);
    theirsRaw = std::min(theirsRaw, theirsNoPad);
  }
  std::filesystem::remove_all(dir);
  const std::string mb = std::to_string(megabytes) + " MB";
  report(("read + decrypt " + mb + " in place").c_str(), padded, theirsPadded);
  report(("read + decrypt " + mb + " in place, -nopad").c_str(), raw, theirsRaw);
  report(("read as a string + decrypt " + mb).c_str(), viaString, theirsPadded);
  std::printf("%-44s ours %9.1f ms\n", ("decrypt " + mb + " already in memory").c_str(),
              memoryOnly);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 3;
  const auto dpic =
      static_cast<uint32_t>(argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 10'000'000);
  decryption(megabytes, repetitions);
  derivation(repetitions, dpic);
  return 0;
}

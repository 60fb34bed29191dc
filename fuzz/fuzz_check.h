// How a fuzz target reports a broken property: it names the check's line and aborts, so
// that libFuzzer keeps the input. Header only; for the targets in this folder.
#ifndef OVRA_FUZZ_FUZZ_CHECK_H_
#define OVRA_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

namespace ovra::fuzz {

inline void check(bool condition, int line = __builtin_LINE(),
                  const char* file = __builtin_FILE()) {
  if (condition) return;
  std::fprintf(stderr, "property broken at %s:%d\n", file, line);
  std::abort();
}

}  // namespace ovra::fuzz

#endif  // OVRA_FUZZ_FUZZ_CHECK_H_

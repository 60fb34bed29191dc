// The generator's random stream: splitmix64, small, fast, and the same on every platform,
// so the same seed gives the same backups everywhere. One stream per backup; not shared
// between threads.
#ifndef OVRA_TOOLS_SAMPLE_RANDOM_H_
#define OVRA_TOOLS_SAMPLE_RANDOM_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace ovra::sample {

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // In [0, n); n > 0.
  uint64_t below(uint64_t n) { return next() % n; }
  // In [0, 1).
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
  bool chance(double p) { return unit() < p; }
  template <typename T, size_t N>
  const T& pick(const std::array<T, N>& items) {
    return items[below(N)];
  }

 private:
  uint64_t state_;
};

}  // namespace ovra::sample

#endif  // OVRA_TOOLS_SAMPLE_RANDOM_H_

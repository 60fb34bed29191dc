// Thread contracts the compiler can check: Clang's thread-safety annotations (empty under
// other compilers) and a mutex and scoped lock that carry them. A field marked
// OVRA_GUARDED_BY(mu_) may be touched only while mu_ is held through a MutexLock; a
// function marked OVRA_REQUIRES(mu_) may be called only with it held. Clang checks both
// with -Wthread-safety. Mutex is safe from any thread; a MutexLock belongs to its thread.
#ifndef OVRA_PLATFORM_BASE_THREAD_ANNOTATIONS_H_
#define OVRA_PLATFORM_BASE_THREAD_ANNOTATIONS_H_

#include <mutex>

#if defined(__clang__)
#define OVRA_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define OVRA_THREAD_ANNOTATION(x)
#endif

#define OVRA_CAPABILITY(name) OVRA_THREAD_ANNOTATION(capability(name))
#define OVRA_SCOPED_CAPABILITY OVRA_THREAD_ANNOTATION(scoped_lockable)
#define OVRA_GUARDED_BY(mu) OVRA_THREAD_ANNOTATION(guarded_by(mu))
#define OVRA_PT_GUARDED_BY(mu) OVRA_THREAD_ANNOTATION(pt_guarded_by(mu))
#define OVRA_REQUIRES(...) OVRA_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define OVRA_EXCLUDES(...) OVRA_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define OVRA_ACQUIRE(...) OVRA_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define OVRA_RELEASE(...) OVRA_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

namespace ovra::platform {

// A std::mutex the analysis knows. It is BasicLockable, so std::condition_variable_any
// can wait on it while a MutexLock holds it.
class OVRA_CAPABILITY("mutex") Mutex {
 public:
  void lock() OVRA_ACQUIRE() { mu_.lock(); }
  void unlock() OVRA_RELEASE() { mu_.unlock(); }

 private:
  std::mutex mu_;
};

// Holds a Mutex for its scope.
class OVRA_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mu) OVRA_ACQUIRE(mu) : mu_(mu) { mu_.lock(); }
  ~MutexLock() OVRA_RELEASE() { mu_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mu_;
};

// A value with the mutex that guards it, for state shared across the process.
template <typename T>
struct Guarded {
  Mutex mu;
  T value OVRA_GUARDED_BY(mu){};
};

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BASE_THREAD_ANNOTATIONS_H_

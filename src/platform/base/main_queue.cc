#include "platform/base/main_queue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/log.h"
#include "platform/base/thread_annotations.h"

// One process-wide queue. Queued calls wait in a FIFO; timers sit in a small list and are
// checked on every turn of the loop. Background threads are kept with a "finished" flag
// so that ended threads are joined on the next start and all of them at the end.

namespace ovra::platform {
namespace {

using Clock = std::chrono::steady_clock;

const std::thread::id kMainThreadId = std::this_thread::get_id();

struct Waiter {
  Mutex mu;
  std::condition_variable_any cv;
  bool done OVRA_GUARDED_BY(mu) = false;
};

struct Task {
  std::function<void()> fn;
  std::shared_ptr<Waiter> waiter;  // set when the poster waits
};

struct TimerEntry {
  uint64_t id;
  Clock::duration interval;
  Clock::time_point next;
  std::shared_ptr<std::function<void()>> fn;
};

struct BackgroundThread {
  std::thread thread;
  std::shared_ptr<bool> finished;  // the flag is guarded by State::mu
};

struct State {
  Mutex mu;
  std::condition_variable_any cv;
  std::deque<Task> tasks OVRA_GUARDED_BY(mu);
  std::vector<TimerEntry> timers OVRA_GUARDED_BY(mu);
  std::vector<BackgroundThread> threads OVRA_GUARDED_BY(mu);
  size_t running OVRA_GUARDED_BY(mu) = 0;
  uint64_t nextTimerId OVRA_GUARDED_BY(mu) = 1;
  bool stopRequested OVRA_GUARDED_BY(mu) = false;
  // Set while a SimulatedTime is held: the present of the queue's clock.
  std::optional<Clock::time_point> simulatedNow OVRA_GUARDED_BY(mu);
};

// Never destroyed: calls still queued at exit must not run during static destruction.
State& state() {
  static State* s = new State;
  return *s;
}

void runGuarded(const std::function<void()>& fn, const char* where) {
  try {
    fn();
  } catch (const std::exception& e) {
    log(std::string("uncaught exception in ") + where + ": " + e.what());
  } catch (...) {
    log(std::string("uncaught exception in ") + where);
  }
}

void runTask(Task& task) {
  runGuarded(task.fn, "a main-thread call");
  if (task.waiter) {
    MutexLock lock(task.waiter->mu);
    task.waiter->done = true;
    task.waiter->cv.notify_all();
  }
}

// Joins the threads whose functions have returned.
void reapFinishedThreads(State& s) OVRA_REQUIRES(s.mu) {
  for (auto it = s.threads.begin(); it != s.threads.end();) {
    if (*it->finished) {
      it->thread.join();
      it = s.threads.erase(it);
    } else {
      ++it;
    }
  }
}

// The present on the queue's clock.
Clock::time_point now(State& s) OVRA_REQUIRES(s.mu) {
  return s.simulatedNow ? *s.simulatedNow : Clock::now();
}

}  // namespace

bool isMainThread() { return std::this_thread::get_id() == kMainThreadId; }

void performOnMainThread(std::function<void()> fn, bool wait) {
  if (wait && isMainThread()) {
    runGuarded(fn, "a main-thread call");
    return;
  }
  State& s = state();
  std::shared_ptr<Waiter> waiter = wait ? std::make_shared<Waiter>() : nullptr;
  {
    MutexLock lock(s.mu);
    s.tasks.push_back(Task{std::move(fn), waiter});
  }
  s.cv.notify_all();
  if (waiter) {
    MutexLock lock(waiter->mu);
    while (!waiter->done) waiter->cv.wait(waiter->mu);
  }
}

void releaseOnMainThread(std::shared_ptr<const void> object) {
  if (!object || isMainThread()) return;  // dropped here, on the main thread
  performOnMainThread([held = std::move(object)]() mutable { held.reset(); }, false);
}

void detachNewThread(std::function<void()> fn) {
  State& s = state();
  auto finished = std::make_shared<bool>(false);
  MutexLock lock(s.mu);
  reapFinishedThreads(s);
  ++s.running;
  std::thread thread([fn = std::move(fn), finished]() mutable {
    runGuarded(fn, "a background thread");
    fn = nullptr;  // release what the function holds before the thread counts as ended
    State& st = state();
    {
      MutexLock done(st.mu);
      *finished = true;
      --st.running;
    }
    st.cv.notify_all();
  });
  s.threads.push_back(BackgroundThread{std::move(thread), finished});
}

bool runMainQueueUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  State& s = state();
  Clock::time_point deadline;
  {
    MutexLock lock(s.mu);
    deadline = now(s) + timeout;
  }
  for (;;) {
    if (done()) return true;
    std::optional<Task> task;
    std::shared_ptr<std::function<void()>> timerFn;
    {
      MutexLock lock(s.mu);
      if (s.stopRequested) {
        s.stopRequested = false;
        return false;
      }
      const Clock::time_point present = now(s);
      if (!s.tasks.empty()) {
        task = std::move(s.tasks.front());
        s.tasks.pop_front();
      } else {
        Clock::time_point wake = deadline;
        for (TimerEntry& t : s.timers) {
          if (t.next <= present) {
            t.next = present + t.interval;
            timerFn = t.fn;
            break;
          }
          if (t.next < wake) wake = t.next;
        }
        if (!timerFn) {
          if (present >= deadline) return done();
          if (s.simulatedNow) {
            s.simulatedNow = wake;
          } else {
            s.cv.wait_until(s.mu, wake);
          }
          continue;
        }
      }
    }
    if (task) runTask(*task);
    if (timerFn) runGuarded(*timerFn, "a timer");
  }
}

void stopMainQueue() {
  State& s = state();
  {
    MutexLock lock(s.mu);
    s.stopRequested = true;
  }
  s.cv.notify_all();
}

void wakeMainQueue() {
  performOnMainThread([] {}, false);
}

void waitForBackgroundWork() {
  State& s = state();
  for (;;) {
    std::optional<Task> task;
    {
      MutexLock lock(s.mu);
      while (s.tasks.empty() && s.running != 0) s.cv.wait(s.mu);
      if (!s.tasks.empty()) {
        task = std::move(s.tasks.front());
        s.tasks.pop_front();
      } else {
        reapFinishedThreads(s);
        return;
      }
    }
    runTask(*task);
  }
}

size_t runningBackgroundThreads() {
  State& s = state();
  MutexLock lock(s.mu);
  return s.running;
}

Timer::Timer(std::chrono::milliseconds interval, std::function<void()> fn) {
  State& s = state();
  {
    MutexLock lock(s.mu);
    id_ = s.nextTimerId++;
    const Clock::duration step = std::max<Clock::duration>(interval, std::chrono::milliseconds(1));
    s.timers.push_back(TimerEntry{id_, step, now(s) + step,
                                  std::make_shared<std::function<void()>>(std::move(fn))});
  }
  s.cv.notify_all();
}

Timer::~Timer() { invalidate(); }

void Timer::invalidate() {
  State& s = state();
  MutexLock lock(s.mu);
  std::erase_if(s.timers, [this](const TimerEntry& t) { return t.id == id_; });
}

SimulatedTime::SimulatedTime() {
  State& s = state();
  MutexLock lock(s.mu);
  start_ = Clock::now();
  s.simulatedNow = start_;
}

SimulatedTime::~SimulatedTime() {
  State& s = state();
  {
    MutexLock lock(s.mu);
    s.simulatedNow.reset();
  }
  s.cv.notify_all();
}

std::chrono::milliseconds SimulatedTime::elapsed() const {
  State& s = state();
  MutexLock lock(s.mu);
  return std::chrono::duration_cast<std::chrono::milliseconds>(now(s) - start_);
}

}  // namespace ovra::platform

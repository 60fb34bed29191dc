// The main queue and run loop: the one thread that owns views, web views and page calls,
// the calls queued to it from other threads, its repeating timers, and the background
// threads started with detachNewThread.
//
// The main thread is the thread that started the process. Queued calls and timers run
// only while the main thread is inside one of the run functions below. Every function
// is safe from any thread unless it says "main thread only". Queued calls and threads
// own what their functions capture until they have run.
#ifndef OVRA_PLATFORM_BASE_MAIN_QUEUE_H_
#define OVRA_PLATFORM_BASE_MAIN_QUEUE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace ovra::platform {

bool isMainThread();

// Queues `fn` to the main thread. With `wait`, blocks until it has run; called with
// `wait` on the main thread itself, runs `fn` at once. Without `wait`, always queues,
// even from the main thread.
void performOnMainThread(std::function<void()> fn, bool wait);

// Drops `object` on the main thread: at once when called there, otherwise through the
// queue. For the last reference to something that must end on the main thread (a view,
// or what owns views) held by a background thread.
void releaseOnMainThread(std::shared_ptr<const void> object);

// Starts `fn` on a new background thread and returns at once. The thread is tracked so
// that waitForBackgroundWork() can wait for it.
void detachNewThread(std::function<void()> fn);

// Main thread only. Runs queued calls and due timers until `done()` holds (checked before
// waiting and after every call), stopMainQueue() is called, or `timeout` has passed.
// Returns whether `done()` held.
bool runMainQueueUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Makes the current or next runMainQueueUntil() return; safe from any thread. A stop
// that arrives while no run is in progress ends the next run at once.
void stopMainQueue();

// Makes a waiting runMainQueueUntil() look at its `done()` again; safe from any thread.
// For a thread that changed what `done()` reads without queueing a call.
void wakeMainQueue();

// Main thread only. Runs queued calls (not timers) until every background thread has
// ended and nothing is left in the queue, then joins the threads. Work queued by a
// finishing thread is run too, so nothing that was queued is left behind.
void waitForBackgroundWork();

// How many background threads are still running; for tests.
size_t runningBackgroundThreads();

// The main queue's clock, simulated while a test holds one of these: time then stands
// still while calls run, and where the queue would wait, it jumps at once to the next due
// timer or the run's deadline instead. Timers fire at exact simulated times and a run of
// 700 ms takes no time at all. Main thread only; one at a time; calls queued from other
// threads are still run, but a run does not wait for them.
class SimulatedTime {
 public:
  SimulatedTime();   // starts from the steady clock's present
  ~SimulatedTime();  // the queue follows the steady clock again
  SimulatedTime(const SimulatedTime&) = delete;
  SimulatedTime& operator=(const SimulatedTime&) = delete;

  // Simulated time since this clock was taken.
  std::chrono::milliseconds elapsed() const;

 private:
  std::chrono::steady_clock::time_point start_;
};

// A repeating timer on the main queue: `fn` runs on the main thread every `interval`
// while the queue runs. Destroying the owner (or invalidate()) stops it.
class Timer {
 public:
  Timer(std::chrono::milliseconds interval, std::function<void()> fn);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void invalidate();

 private:
  uint64_t id_;
};

}  // namespace ovra::platform

#endif  // OVRA_PLATFORM_BASE_MAIN_QUEUE_H_

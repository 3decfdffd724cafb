#include "dispatch/SystemClock.h"

#include <atomic>
#include <memory>

#include "dispatch/Semaphore.h"
#include "dispatch/ThreadStart.h"

namespace platform {

SystemClock::SystemClock() {
  // Without its thread no timer would ever fire.
  if (auto refused = ThreadStart::start(thread_, [this] { run(); }))
    ThreadStart::cannotGoOn("the clock's timers", *refused);
}

SystemClock::~SystemClock() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

Clock::TimePoint SystemClock::now() const { return std::chrono::steady_clock::now(); }

Clock::WallTime SystemClock::wallNow() const { return std::chrono::system_clock::now(); }

Clock::TimerId SystemClock::callAt(TimePoint when, Task task) {
  TimerId id;
  {
    std::lock_guard lock(mutex_);
    id = nextId_++;
    timers_.emplace(when, std::make_pair(id, std::move(task)));
  }
  wake_.notify_all();
  return id;
}

void SystemClock::cancel(TimerId id) {
  std::unique_lock lock(mutex_);
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.first == id) {
      timers_.erase(it);
      break;
    }
  }
  // A task of its own that is running is let finish; waiting for it from inside would deadlock.
  if (std::this_thread::get_id() != thread_.get_id()) {
    runningDone_.wait(lock, [&] { return running_ != id; });
  }
}

void SystemClock::run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (timers_.empty()) {
      wake_.wait(lock);
      continue;
    }
    auto first = timers_.begin();
    if (first->first > std::chrono::steady_clock::now()) {
      // A copy: wait_until reads the deadline after waking, and a cancel may have erased it.
      const TimePoint deadline = first->first;
      wake_.wait_until(lock, deadline);
      continue;
    }
    auto [id, task] = std::move(first->second);
    timers_.erase(first);
    running_ = id;
    lock.unlock();
    task();
    lock.lock();
    running_ = 0;
    runningDone_.notify_all();
  }
}

namespace {
std::atomic<Clock*> installedClock{nullptr};
}

Clock& Clock::shared() {
  static SystemClock systemClock;
  Clock* clock = installedClock.load(std::memory_order_acquire);
  return clock ? *clock : systemClock;
}

void Clock::setShared(Clock* clock) { installedClock.store(clock, std::memory_order_release); }

void Clock::sleepFor(Duration duration) {
  // Shared with the timer task, which may still be leaving signal() when the wait returns.
  auto woken = std::make_shared<Semaphore>();
  Clock& clock = shared();
  clock.callAt(clock.now() + duration, [woken] { woken->signal(); });
  woken->wait();
}

}  // namespace platform

#include "ManualClock.h"

namespace testsupport {

ManualClock::ManualClock()
    : now_(std::chrono::steady_clock::time_point{} + std::chrono::hours(1)),
      wallStart_(std::chrono::system_clock::now()),
      steadyStart_(now_) {}

void ManualClock::setWallTime(WallTime time) {
  std::lock_guard lock(mutex_);
  wallStart_ = time;
  steadyStart_ = now_;
}

platform::Clock::TimePoint ManualClock::now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

platform::Clock::WallTime ManualClock::wallNow() const {
  std::lock_guard lock(mutex_);
  return wallStart_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(now_ - steadyStart_);
}

platform::Clock::TimerId ManualClock::callAt(TimePoint when, platform::Task task) {
  std::lock_guard lock(mutex_);
  TimerId id = nextId_++;
  timers_.emplace(when, std::make_pair(id, std::move(task)));
  return id;
}

void ManualClock::cancel(TimerId id) {
  std::lock_guard lock(mutex_);
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.first == id) {
      timers_.erase(it);
      return;
    }
  }
}

void ManualClock::advance(Duration by) {
  TimePoint target;
  {
    std::lock_guard lock(mutex_);
    target = now_ + by;
  }
  for (;;) {
    platform::Task task;
    {
      std::lock_guard lock(mutex_);
      auto first = timers_.begin();
      if (first == timers_.end() || first->first > target) {
        now_ = target;
        return;
      }
      if (first->first > now_) now_ = first->first;
      task = std::move(first->second.second);
      timers_.erase(first);
    }
    task();
  }
}

size_t ManualClock::pendingTimers() const {
  std::lock_guard lock(mutex_);
  return timers_.size();
}

}  // namespace testsupport

#pragma once

#include <map>
#include <mutex>

#include "dispatch/Clock.h"

namespace testsupport {

// A clock that moves only when the test advances it; due timers run on the advancing thread,
// in deadline order, with now() showing each timer's own deadline while it runs.
class ManualClock : public platform::Clock {
 public:
  ManualClock();
  // Sets the wall time (the steady time is unaffected).
  void setWallTime(WallTime time);

  TimePoint now() const override;
  WallTime wallNow() const override;
  TimerId callAt(TimePoint when, platform::Task task) override;
  void cancel(TimerId id) override;

  void advance(Duration by);
  size_t pendingTimers() const;

 private:
  mutable std::mutex mutex_;
  TimePoint now_;
  WallTime wallStart_;
  TimePoint steadyStart_;
  std::multimap<TimePoint, std::pair<TimerId, platform::Task>> timers_;
  TimerId nextId_ = 1;
};

// Installs a clock as the process's clock for the life of a scope.
class ScopedClock {
 public:
  explicit ScopedClock(platform::Clock& clock) { platform::Clock::setShared(&clock); }
  ~ScopedClock() { platform::Clock::setShared(nullptr); }
};

}  // namespace testsupport

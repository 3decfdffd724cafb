#pragma once

#include <ctime>
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

// The wall time of a date and time of day in the local time zone (as the day log and the kept
// copies of settings files name them).
inline platform::Clock::WallTime localTime(int year, int month, int day, int hour, int minute,
                                           int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

// Installs a clock as the process's clock for the life of a scope.
class ScopedClock {
 public:
  explicit ScopedClock(platform::Clock& clock) { platform::Clock::setShared(&clock); }
  ~ScopedClock() { platform::Clock::setShared(nullptr); }
};

}  // namespace testsupport

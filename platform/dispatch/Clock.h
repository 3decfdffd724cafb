#pragma once

#include <chrono>
#include <cstdint>

#include "dispatch/Queue.h"

namespace platform {

// The seam through which time passes: tests put a manual clock in its place, so timers,
// retries and watchdogs run in milliseconds without sleeping.
class Clock {
 public:
  using Duration = std::chrono::nanoseconds;
  using TimePoint = std::chrono::steady_clock::time_point;
  using WallTime = std::chrono::system_clock::time_point;
  using TimerId = uint64_t;

  virtual ~Clock() = default;
  virtual TimePoint now() const = 0;
  virtual WallTime wallNow() const = 0;
  // Calls the task once, on a thread of the clock's, when now() reaches `when`.
  virtual TimerId callAt(TimePoint when, Task task) = 0;
  // After cancel returns the task is not started any more (one already running may finish).
  virtual void cancel(TimerId id) = 0;

  // The process's clock: the system clock unless a test installed another.
  static Clock& shared();
  // nullptr puts the system clock back.
  static void setShared(Clock* clock);
  // Blocks the calling thread until the shared clock has moved on by `duration` (a worker's
  // fixed wait that tests pass by advancing a manual clock).
  static void sleepFor(Duration duration);
};

}  // namespace platform

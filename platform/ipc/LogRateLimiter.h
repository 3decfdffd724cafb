#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "dispatch/Clock.h"

namespace platform {

// Keeps a hostile peer from flooding the system log: at most `burst` lines per `interval`; the
// lines past that are counted, and the first line let through afterwards says how many were
// left out. Safe to call from any thread.
class LogRateLimiter {
 public:
  LogRateLimiter(size_t burst, Clock::Duration interval, Clock* clock = nullptr);

  // The line to write now (with the count of left-out lines before it when there were any),
  // or none when the line is left out.
  std::optional<std::string> admit(const std::string& line);
  uint64_t suppressed() const;

 private:
  const size_t burst_;
  const Clock::Duration interval_;
  Clock* clock_;
  mutable std::mutex mutex_;
  Clock::TimePoint windowStart_{};
  size_t inWindow_ = 0;
  uint64_t pending_ = 0;     // left out since the last line written
  uint64_t suppressed_ = 0;  // left out in all
};

}  // namespace platform

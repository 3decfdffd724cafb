#include "ipc/LogRateLimiter.h"

namespace platform {

LogRateLimiter::LogRateLimiter(size_t burst, Clock::Duration interval, Clock* clock)
    : burst_(burst), interval_(interval), clock_(clock) {}

std::optional<std::string> LogRateLimiter::admit(const std::string& line) {
  Clock& clock = clock_ ? *clock_ : Clock::shared();
  Clock::TimePoint now = clock.now();
  std::lock_guard lock(mutex_);
  if (inWindow_ == 0 || now - windowStart_ >= interval_) {
    windowStart_ = now;
    inWindow_ = 0;
  }
  if (inWindow_ >= burst_) {
    ++pending_;
    ++suppressed_;
    return std::nullopt;
  }
  ++inWindow_;
  if (pending_ == 0) return line;
  std::string out = "(" + std::to_string(pending_) + " similar lines left out) " + line;
  pending_ = 0;
  return out;
}

uint64_t LogRateLimiter::suppressed() const {
  std::lock_guard lock(mutex_);
  return suppressed_;
}

}  // namespace platform

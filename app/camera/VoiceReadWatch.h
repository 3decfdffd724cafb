#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "dispatch/Clock.h"

namespace corvane {

// Whether the voice direction can be read, told once at each change: the first failed read says
// why, the first good read after failed ones says so with how long and how often it failed. The
// reads in between say nothing, however often the polling asks.
class VoiceReadWatch {
 public:
  // One read's outcome: `failure` is empty for a read that worked. Returns the line to write
  // when the outcome changes what can be read.
  std::optional<std::string> outcome(const std::string& failure, platform::Clock::TimePoint now);

  bool readable() const { return !failingSince_; }

 private:
  std::optional<platform::Clock::TimePoint> failingSince_;
  int64_t failures_ = 0;
};

}  // namespace corvane

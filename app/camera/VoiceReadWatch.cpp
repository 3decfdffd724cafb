#include "camera/VoiceReadWatch.h"

#include <cstdio>

namespace corvane {

std::optional<std::string> VoiceReadWatch::outcome(const std::string& failure,
                                                   platform::Clock::TimePoint now) {
  if (!failure.empty()) {
    ++failures_;
    if (failingSince_) return std::nullopt;
    failingSince_ = now;
    failures_ = 1;
    return "[DOA] The voice direction cannot be read (" + failure +
           "): the picture follows no voice until it can";
  }
  if (!failingSince_) return std::nullopt;
  const double seconds = std::chrono::duration<double>(now - *failingSince_).count();
  char text[160];
  std::snprintf(text, sizeof text,
                "[DOA] The voice direction can be read again, after %lld failed read%s in %.1f s",
                static_cast<long long>(failures_), failures_ == 1 ? "" : "s", seconds);
  failingSince_.reset();
  failures_ = 0;
  return std::string(text);
}

}  // namespace corvane

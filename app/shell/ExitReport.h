#pragma once

#include <cstdint>
#include <string>

#include "cloud/KestovaAPIManager.h"
#include "dispatch/Clock.h"

namespace corvane {

class LogManager;

// The usage report sent as the program ends. By then the event loop is gone, so the answer is
// taken off the main thread and the end waits for it a bounded time; a later answer is lost.
class ExitReport {
 public:
  struct Facts {
    int64_t usageSeconds = 0;
    std::string version;
    std::string firmwareVersion;
    std::string vendor;
    std::string osVersion;
    std::string vendorID;
    std::string productID;
  };

  // Whole seconds between the two times, truncated toward zero.
  static int64_t usageSeconds(platform::Clock::TimePoint start, platform::Clock::TimePoint end);

  // Sends the report through a client over `api` (its delivery queue is replaced) and waits until
  // the answer or an error arrives, or `deadline` has come on `clock`. True when it arrived in
  // time; whatever comes later is dropped unseen. The answer is read off this thread and logged
  // cut, so the wait is all the report takes.
  static bool send(const KestovaAPIManager::Environment& api, const Facts& facts,
                   platform::Clock& clock, platform::Clock::TimePoint deadline, LogManager& logger);
};

}  // namespace corvane

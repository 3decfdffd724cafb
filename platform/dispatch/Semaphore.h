#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

// A counting semaphore with timed waits.
class Semaphore {
 public:
  explicit Semaphore(long count = 0);

  void signal();
  void wait();
  // False when the time-out passed first; a zero time-out only tries.
  bool wait(std::chrono::nanoseconds timeout);
  bool tryWait() { return wait(std::chrono::nanoseconds(0)); }

 private:
  std::mutex mutex_;
  std::condition_variable available_;
  long count_;
};

}  // namespace platform

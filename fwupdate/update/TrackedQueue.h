#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "dispatch/Queue.h"

namespace qd4718 {

// A view of a queue that counts the tasks given to it until they have run, so a caller can wait
// until the driver's thread is idle, including what its own tasks queue while they run.
class TrackedQueue : public platform::Queue {
 public:
  explicit TrackedQueue(platform::Queue& queue) : queue_(queue) {}

  void async(platform::Task task) override;
  void sync(platform::Task task) override;
  // Waits until every task given to this queue, and every task those gave it, has run.
  void waitIdle();

 private:
  platform::Queue& queue_;
  std::mutex mutex_;
  std::condition_variable idle_;
  size_t outstanding_ = 0;
};

}  // namespace qd4718

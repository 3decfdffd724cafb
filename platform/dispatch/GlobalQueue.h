#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "dispatch/Queue.h"

namespace platform {

// A concurrent pool for work that must not run on the main thread (device and network I/O).
class GlobalQueue : public Queue {
 public:
  static GlobalQueue& shared();
  explicit GlobalQueue(unsigned threads);
  ~GlobalQueue() override;

  void async(Task task) override;
  void sync(Task task) override;

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace platform

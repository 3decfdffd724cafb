#include "update/TrackedQueue.h"

namespace qd4718 {

void TrackedQueue::async(platform::Task task) {
  if (!task) return;
  {
    std::lock_guard lock(mutex_);
    ++outstanding_;
  }
  queue_.async([this, task = std::move(task)] {
    task();
    std::lock_guard lock(mutex_);
    if (--outstanding_ == 0) idle_.notify_all();
  });
}

void TrackedQueue::sync(platform::Task task) { queue_.sync(std::move(task)); }

void TrackedQueue::waitIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return outstanding_ == 0; });
}

}  // namespace qd4718

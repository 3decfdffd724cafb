#include "dispatch/Semaphore.h"

namespace platform {

Semaphore::Semaphore(long count) : count_(count) {}

void Semaphore::signal() {
  // Notified under the lock: a waiter may destroy the semaphore as soon as it wakes.
  std::lock_guard lock(mutex_);
  ++count_;
  available_.notify_one();
}

void Semaphore::wait() {
  std::unique_lock lock(mutex_);
  available_.wait(lock, [this] { return count_ > 0; });
  --count_;
}

bool Semaphore::wait(std::chrono::nanoseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!available_.wait_for(lock, timeout, [this] { return count_ > 0; })) return false;
  --count_;
  return true;
}

}  // namespace platform

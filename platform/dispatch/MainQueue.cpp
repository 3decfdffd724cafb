#include "dispatch/MainQueue.h"

#include <future>

namespace platform {

MainQueue& MainQueue::shared() {
  static MainQueue queue;
  return queue;
}

MainQueue::MainQueue() : mainThread_(std::this_thread::get_id()) {}

void MainQueue::setPoster(Poster poster) {
  std::deque<Task> waiting;
  {
    std::lock_guard lock(mutex_);
    poster_ = std::move(poster);
    if (poster_) waiting.swap(pump_);
  }
  for (auto& task : waiting) async(std::move(task));
}

void MainQueue::async(Task task) {
  if (!task) return;
  Poster poster;
  {
    std::lock_guard lock(mutex_);
    if (!poster_) {
      pump_.push_back(std::move(task));
      return;
    }
    poster = poster_;
  }
  poster(std::move(task));
}

void MainQueue::sync(Task task) {
  if (!task) return;
  if (isMainThread()) {
    task();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  async([&] {
    task();
    done.set_value();
  });
  finished.wait();
}

size_t MainQueue::drain() {
  size_t ran = 0;
  for (;;) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (pump_.empty()) return ran;
      task = std::move(pump_.front());
      pump_.pop_front();
    }
    task();
    ++ran;
  }
}

size_t MainQueue::pendingCount() const {
  std::lock_guard lock(mutex_);
  return pump_.size();
}

void MainQueue::setMainThread(std::thread::id id) {
  std::lock_guard lock(mutex_);
  mainThread_ = id;
}

bool MainQueue::isMainThread() const {
  std::lock_guard lock(mutex_);
  return mainThread_ == std::this_thread::get_id();
}

}  // namespace platform

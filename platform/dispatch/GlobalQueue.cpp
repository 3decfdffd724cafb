#include "dispatch/GlobalQueue.h"

#include <future>

#include "dispatch/ThreadStart.h"

namespace platform {

GlobalQueue& GlobalQueue::shared() {
  static GlobalQueue queue(4);
  return queue;
}

GlobalQueue::GlobalQueue(unsigned threads) {
  if (threads == 0) threads = 1;
  for (unsigned i = 0; i < threads; ++i) {
    std::thread thread;
    if (auto refused = ThreadStart::start(thread, [this] { run(); })) {
      // Fewer threads serve the queue more slowly; none could serve it at all.
      if (threads_.empty()) ThreadStart::cannotGoOn("the global queue", *refused);
      break;
    }
    threads_.push_back(std::move(thread));
  }
}

GlobalQueue::~GlobalQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& t : threads_) t.join();
}

void GlobalQueue::async(Task task) {
  if (!task) return;
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void GlobalQueue::sync(Task task) {
  if (!task) return;
  std::promise<void> done;
  auto finished = done.get_future();
  async([&] {
    task();
    done.set_value();
  });
  finished.wait();
}

void GlobalQueue::run() {
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

}  // namespace platform

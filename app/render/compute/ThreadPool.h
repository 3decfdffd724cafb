#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane::compute {

// Worker threads that run one range of work items at a time, the caller taking part.
// Items are handed out in small chunks from a shared counter, so uneven rows balance.
class ThreadPool {
 public:
  // 0 threads means one per hardware thread (the caller counts as one).
  // `name` names the workers (15 characters at most show) for per-thread figures.
  explicit ThreadPool(size_t threads = 0, const char* name = nullptr);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  size_t threadCount() const { return workers_.size() + 1; }

  // Calls body(begin, end) over [0, count) in chunks of `chunk` items and returns when all are
  // done. Calls from several threads are served one after another.
  void parallelFor(size_t count, size_t chunk, const std::function<void(size_t, size_t)>& body);

 private:
  struct Job {
    const std::function<void(size_t, size_t)>* body = nullptr;
    size_t count = 0;
    size_t chunk = 1;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
  };
  void workerLoop();
  static void runChunks(Job& job);

  std::mutex submitMutex_;  // one job at a time
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  Job* job_ = nullptr;
  size_t generation_ = 0;
  size_t active_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace corvane::compute

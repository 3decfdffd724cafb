#include "render/compute/ThreadPool.h"

#include <pthread.h>

#include <algorithm>
#include <string>

#include "dispatch/ThreadStart.h"
#include "log/LogManager.h"

namespace corvane::compute {

ThreadPool::ThreadPool(size_t threads, const char* name) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  for (size_t i = 1; i < threads; ++i) {
    std::thread worker;
    // A worker the system cannot give leaves the pool smaller: the caller does its part anyway.
    if (auto refused = platform::ThreadStart::start(worker, [this] { workerLoop(); })) {
      CV_LOG_WARNING(std::string(name ? name : "thread pool") + ": " + std::to_string(i) + " of " +
                     std::to_string(threads) + " threads (no more can be started: " + *refused +
                     ")");
      break;
    }
    if (name) pthread_setname_np(worker.native_handle(), std::string(name).substr(0, 15).c_str());
    workers_.push_back(std::move(worker));
  }
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& worker : workers_) worker.join();
}

void ThreadPool::runChunks(Job& job) {
  for (;;) {
    size_t begin = job.next.fetch_add(job.chunk, std::memory_order_relaxed);
    if (begin >= job.count) return;
    size_t end = std::min(job.count, begin + job.chunk);
    (*job.body)(begin, end);
    job.done.fetch_add(end - begin, std::memory_order_acq_rel);
  }
}

void ThreadPool::workerLoop() {
  size_t seen = 0;
  for (;;) {
    Job* job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || (job_ && generation_ != seen); });
      if (stopping_) return;
      seen = generation_;
      job = job_;
      ++active_;
    }
    runChunks(*job);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --active_;
    }
    finished_.notify_all();
  }
}

void ThreadPool::parallelFor(size_t count, size_t chunk,
                             const std::function<void(size_t, size_t)>& body) {
  if (count == 0) return;
  chunk = std::max<size_t>(1, chunk);
  if (workers_.empty() || count <= chunk) {
    body(0, count);
    return;
  }
  std::lock_guard<std::mutex> submit(submitMutex_);
  Job job;
  job.body = &body;
  job.count = count;
  job.chunk = chunk;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = &job;
    ++generation_;
  }
  // Only as many workers as there are chunks beside the caller's own.
  size_t helpers = std::min(workers_.size(), (count + chunk - 1) / chunk - 1);
  if (helpers == workers_.size())
    wake_.notify_all();
  else
    for (size_t i = 0; i < helpers; ++i) wake_.notify_one();
  runChunks(job);
  // Wait for the items and for every worker to have let go of the job before it goes away.
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock,
                 [&] { return job.done.load(std::memory_order_acquire) == count && active_ == 0; });
  job_ = nullptr;
}

}  // namespace corvane::compute

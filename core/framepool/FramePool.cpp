#include "framepool/FramePool.h"

#include <string>

#include "OrlithLog.h"
#include "dispatch/ThreadStart.h"

namespace orlith {

FramePool::FramePool(int poolCount) : poolCount_(poolCount > 0 ? poolCount : 1) {}

FramePool::~FramePool() { stop(); }

void FramePool::setupQueue(int processWidth, int processHeight) {
  std::lock_guard lock(mutex_);
  inWorkingThread_ = true;
  queue_.clear();
  pool_.clear();
  cursor_ = 0;
  for (int i = 0; i < poolCount_; ++i) {
    auto slot = std::make_shared<VideoSampleParams>();
    slot->pixelBuffer = platform::PixelBuffer::create(processWidth, processHeight,
                                                      platform::PixelFormat::NV12FullRange);
    ORLITH_LOG_INFO("Create [" + std::to_string(i) +
                    "] pixel buffer :: " + (slot->pixelBuffer ? "Success" : "Failed"));
    pool_.push_back(std::move(slot));
  }
  changed_.notify_all();
}

std::shared_ptr<VideoSampleParams> FramePool::getEmptyParams() {
  std::unique_lock lock(mutex_);
  if (pool_.empty()) return nullptr;
  int n = int(pool_.size());
  changed_.wait(lock, [&] {
    return !inWorkingThread_ || pool_.empty() || !pool_[size_t(cursor_ % n)]->inProcess;
  });
  if (!inWorkingThread_ || pool_.empty()) return nullptr;
  cursor_ = (cursor_ + 1) % n;
  return pool_[size_t(cursor_)];
}

void FramePool::queueFilledSlot(int index) {
  {
    std::lock_guard lock(mutex_);
    if (index < 0 || size_t(index) >= pool_.size()) return;
    queue_.push_back(index);
  }
  changed_.notify_all();
}

bool FramePool::checkQueue() {
  std::shared_ptr<VideoSampleParams> slot;
  ProcessStep step;
  {
    std::lock_guard lock(mutex_);
    if (inCheckQueue_ || queue_.empty()) return false;
    inCheckQueue_ = true;
    slot = pool_[size_t(queue_.front())];
    slot->inProcess = true;
    step = step_;
  }
  if (step && slot->pixelBuffer) step(slot->pixelBuffer);
  {
    std::lock_guard lock(mutex_);
    slot->inProcess = false;
    if (!queue_.empty()) queue_.pop_front();
    inCheckQueue_ = false;
  }
  changed_.notify_all();
  return true;
}

bool FramePool::startWorkingThread(ProcessStep step) {
  std::lock_guard lock(mutex_);
  if (worker_.joinable()) return true;
  step_ = std::move(step);
  inWorkingThread_ = true;
  auto refused = platform::ThreadStart::start(worker_, [this] {
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !inWorkingThread_ || !queue_.empty(); });
        if (!inWorkingThread_) return;
      }
      checkQueue();
    }
  });
  if (refused) inWorkingThread_ = false;
  return !refused;
}

void FramePool::stop() {
  {
    std::lock_guard lock(mutex_);
    inWorkingThread_ = false;
  }
  changed_.notify_all();
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
  std::lock_guard lock(mutex_);
  queue_.clear();
  pool_.clear();
}

size_t FramePool::slotCount() const {
  std::lock_guard lock(mutex_);
  return pool_.size();
}

size_t FramePool::queuedCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

bool FramePool::inWorkingThread() const {
  std::lock_guard lock(mutex_);
  return inWorkingThread_;
}

}  // namespace orlith

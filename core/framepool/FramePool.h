#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "framepool/VideoSampleParams.h"

namespace orlith {

// A second way to feed the facade: pre-allocated process-size buffers, a queue of filled slots
// and a worker that processes them one after another. Nothing in the programs starts it.
// Waiting is done on condition variables, never by sleeping and polling.
class FramePool {
 public:
  // Runs the processing part of the frame pipeline on one slot's buffer.
  using ProcessStep = std::function<void(const platform::PixelBufferRef& buffer)>;

  explicit FramePool(int poolCount = 3);
  ~FramePool();

  // Makes (or remakes) pool_count slots of that size; every slot is kept, a failed one too.
  void setupQueue(int processWidth, int processHeight);
  // The slot after the cursor, waiting while the cursor's slot is being processed.
  // Null when the pool is empty or stopped.
  std::shared_ptr<VideoSampleParams> getEmptyParams();
  // Marks a filled slot for the worker.
  void queueFilledSlot(int index);
  // Starts the worker; false when its thread cannot be started (no slot is processed then).
  bool startWorkingThread(ProcessStep step);
  // Processes the oldest filled slot, if any; false when there was none.
  bool checkQueue();
  // Stops the worker and empties the queue and the pool.
  void stop();

  int poolCount() const { return poolCount_; }
  size_t slotCount() const;
  size_t queuedCount() const;
  bool inWorkingThread() const;

 private:
  const int poolCount_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<VideoSampleParams>> pool_;
  std::deque<int> queue_;
  int cursor_ = 0;
  bool inWorkingThread_ = false;
  bool inCheckQueue_ = false;
  ProcessStep step_;
  std::thread worker_;
};

}  // namespace orlith

#pragma once

#include <memory>

#include "render/compute/ComputePass.h"
#include "render/compute/ThreadPool.h"

namespace corvane::compute {

// The device's queue of work: hands out compute passes that run on the device's pool.
class CommandQueue {
 public:
  explicit CommandQueue(std::shared_ptr<ThreadPool> pool) : pool_(std::move(pool)) {}
  std::unique_ptr<ComputePass> makeComputePass() const {
    return pool_ ? std::make_unique<ComputePass>(*pool_) : nullptr;
  }
  ThreadPool& pool() const { return *pool_; }

 private:
  std::shared_ptr<ThreadPool> pool_;
};

}  // namespace corvane::compute

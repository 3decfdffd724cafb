#pragma once

#include <cstdint>

#include "render/compute/ArgumentTable.h"
#include "render/compute/KernelLibrary.h"
#include "render/compute/ThreadPool.h"

namespace corvane::compute {

struct Size3 {
  uint32_t width = 1;
  uint32_t height = 1;
  uint32_t depth = 1;
};

// One compute pass: a kernel, its bound arguments and a dispatch over threadgroups. The pass
// runs when dispatched and is complete when dispatch returns (the rows run on the pool).
class ComputePass {
 public:
  explicit ComputePass(ThreadPool& pool) : pool_(pool) {}

  void setKernel(KernelFunction kernel) { kernel_ = kernel; }
  ArgumentTable& arguments() { return arguments_; }
  void setTexture(const TextureRef& texture, size_t index) {
    arguments_.setTexture(texture, index);
  }
  void setBytes(const void* bytes, size_t length, size_t index) {
    arguments_.setBytes(bytes, length, index);
  }
  void setBuffer(const void* bytes, size_t length, size_t index) {
    arguments_.setBuffer(bytes, length, index);
  }
  void setSampler(const Sampler& sampler, size_t index) { arguments_.setSampler(sampler, index); }

  // Runs the kernel over groups x threadsPerGroup threads, grid rows in parallel.
  // False when no kernel is set.
  bool dispatchThreadgroups(Size3 groups, Size3 threadsPerGroup);

 private:
  ThreadPool& pool_;
  KernelFunction kernel_ = nullptr;
  ArgumentTable arguments_;
};

}  // namespace corvane::compute

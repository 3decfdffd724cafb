#pragma once

#include <memory>
#include <optional>

#include "render/compute/CommandQueue.h"
#include "render/compute/KernelLibrary.h"
#include "render/compute/TextureCache.h"
#include "render/compute/ThreadPool.h"

namespace platform {
class SerialQueue;
}

namespace corvane {

// The compute objects every render view shares: the device (a pool of worker threads), its
// command queue, the kernel library and the texture cache over pixel buffers, and the render
// queue: the one thread that runs the effect pass and the compositions in the order they were
// handed over (taking part in each pass with the pool), so the main thread only hands over and
// paints.
class MetalContext {
 public:
  static MetalContext& shared();
  // 0 threads: half the hardware threads (at least two), so the capture decode and the
  // detector keep cores of their own beside the render passes.
  explicit MetalContext(size_t threads = 0);
  ~MetalContext();
  MetalContext(const MetalContext&) = delete;
  MetalContext& operator=(const MetalContext&) = delete;

  std::shared_ptr<compute::ThreadPool> device;
  std::shared_ptr<compute::CommandQueue> queue;
  std::optional<compute::KernelLibrary> library;
  std::shared_ptr<compute::TextureCache> textureCache;
  std::shared_ptr<platform::SerialQueue> renderQueue;
};

}  // namespace corvane

#include "render/MetalContext.h"

#include <algorithm>
#include <thread>

#include "dispatch/SerialQueue.h"
#include "log/LogManager.h"

namespace corvane {

MetalContext& MetalContext::shared() {
  static MetalContext context;
  return context;
}

MetalContext::MetalContext(size_t threads) {
  if (threads == 0) threads = std::max(2u, std::thread::hardware_concurrency() / 2);
  // The render queue's thread is one of the pool's: it takes part in every pass it runs.
  device = std::make_shared<compute::ThreadPool>(threads, "render pool");
  queue = std::make_shared<compute::CommandQueue>(device);
  library = compute::KernelLibrary::makeDefault();
  textureCache = std::make_shared<compute::TextureCache>();
  renderQueue = std::make_shared<platform::SerialQueue>("render");
  CV_LOG_INFO("MetalContext: Create texture cache return: 0");
}

MetalContext::~MetalContext() {
  // The queued passes run to the end before the pool they use goes.
  renderQueue.reset();
}

}  // namespace corvane

#include "render/MetalContext.h"

#include <algorithm>
#include <thread>

#include "log/LogManager.h"

namespace corvane {

MetalContext& MetalContext::shared() {
  static MetalContext context;
  return context;
}

MetalContext::MetalContext(size_t threads) {
  if (threads == 0) threads = std::max(2u, std::thread::hardware_concurrency() / 2);
  device = std::make_shared<compute::ThreadPool>(threads, "render pool");
  queue = std::make_shared<compute::CommandQueue>(device);
  library = compute::KernelLibrary::makeDefault();
  textureCache = std::make_shared<compute::TextureCache>();
  CV_LOG_INFO("MetalContext: Create texture cache return: 0");
}

}  // namespace corvane

#include "render/compute/ComputePass.h"

#include <algorithm>

namespace corvane::compute {

bool ComputePass::dispatchThreadgroups(Size3 groups, Size3 threadsPerGroup) {
  if (!kernel_) return false;
  uint32_t width = groups.width * threadsPerGroup.width;
  uint32_t height = groups.height * threadsPerGroup.height;
  KernelFunction kernel = kernel_;
  const ArgumentTable& arguments = arguments_;
  // Rows in chunks small enough to balance across the pool, and each worth a worker's wake-up:
  // work of a single chunk runs on the caller's thread alone.
  constexpr size_t kMinPixelsPerChunk = 64 * 1024;
  size_t chunk = std::max<size_t>(height / (pool_.threadCount() * 4) + 1,
                                  (kMinPixelsPerChunk + width - 1) / std::max<uint32_t>(width, 1));
  pool_.parallelFor(height, chunk, [&](size_t begin, size_t end) {
    for (size_t y = begin; y < end; ++y) kernel(arguments, GridRow{uint32_t(y), width, height});
  });
  return true;
}

}  // namespace corvane::compute

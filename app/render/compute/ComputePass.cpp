#include "render/compute/ComputePass.h"

namespace corvane::compute {

bool ComputePass::dispatchThreadgroups(Size3 groups, Size3 threadsPerGroup) {
  if (!kernel_) return false;
  uint32_t width = groups.width * threadsPerGroup.width;
  uint32_t height = groups.height * threadsPerGroup.height;
  KernelFunction kernel = kernel_;
  const ArgumentTable& arguments = arguments_;
  // Rows in chunks small enough to balance across the pool, large enough to amortise.
  size_t chunk = height / (pool_.threadCount() * 8) + 1;
  pool_.parallelFor(height, chunk, [&](size_t begin, size_t end) {
    for (size_t y = begin; y < end; ++y) kernel(arguments, GridRow{uint32_t(y), width, height});
  });
  return true;
}

}  // namespace corvane::compute

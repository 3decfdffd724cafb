#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "dispatch/Queue.h"
#include "render/MetalManager.h"
#include "video/PixelBuffer.h"

namespace corvane {

// Hands camera frames from the frame path over to the render queue, where the render state is
// told of them (the effect pass, then the preview's composition), so the delivering queue and
// the main thread never run a pass. The render queue keeps the order of what it is handed: a
// frame's picture is made before the analysis can report it finished, and that before the
// output is composed from its layout.
//
// Under load the preview gives way first: while `maxPending` frames wait for the render queue, a
// further frame is not rendered, unless the analysis took it (the output needs its picture).
class RenderHandoff {
 public:
  static RenderHandoff& shared();  // the program's render state and render queue
  RenderHandoff(MetalManager& manager, std::shared_ptr<platform::Queue> renderQueue,
                int maxPending = 2);
  RenderHandoff(const RenderHandoff&) = delete;
  RenderHandoff& operator=(const RenderHandoff&) = delete;

  // Delivering queue: the analysis takes `frame` (told before the frame is published).
  void admitted(const platform::PixelBufferRef& frame);
  // Delivering queue: a frame the load rule let through.
  void publish(const platform::PixelBufferRef& frame);
  // Main thread: the analysis finished `frame`; its layout comes next.
  void analysed(const platform::PixelBufferRef& frame);

  // Frames the preview let go because the render queue was behind.
  int64_t skipped() const { return skipped_.load(); }

 private:
  MetalManager& manager_;
  std::shared_ptr<platform::Queue> queue_;
  const int maxPending_;
  std::atomic<const platform::PixelBuffer*> admitted_{nullptr};  // identity only
  std::shared_ptr<std::atomic<int>> pending_ = std::make_shared<std::atomic<int>>(0);
  std::atomic<int64_t> skipped_{0};
};

}  // namespace corvane

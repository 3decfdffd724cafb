#include "render/RenderHandoff.h"

#include "dispatch/SerialQueue.h"
#include "render/MetalContext.h"

namespace corvane {

RenderHandoff& RenderHandoff::shared() {
  // Never destroyed: frames may still be handed over while the program's statics go.
  static auto* handoff =
      new RenderHandoff(MetalManager::shared(), MetalContext::shared().renderQueue);
  return *handoff;
}

RenderHandoff::RenderHandoff(MetalManager& manager, std::shared_ptr<platform::Queue> renderQueue,
                             int maxPending)
    : manager_(manager), queue_(std::move(renderQueue)), maxPending_(maxPending) {}

void RenderHandoff::admitted(const platform::PixelBufferRef& frame) { admitted_ = frame.get(); }

void RenderHandoff::publish(const platform::PixelBufferRef& frame) {
  if (!frame || !queue_) return;
  bool analysed = admitted_.exchange(nullptr) == frame.get();
  if (!analysed && pending_->load() >= maxPending_) {
    skipped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  pending_->fetch_add(1);
  queue_->async([&manager = manager_, pending = pending_, frame, analysed] {
    manager.notifyFrame(frame, analysed);
    pending->fetch_sub(1);
  });
}

void RenderHandoff::analysed(const platform::PixelBufferRef& frame) {
  if (!frame || !queue_) return;
  queue_->async([&manager = manager_, frame] { manager.finishAnalysis(frame); });
}

}  // namespace corvane

#include "render/RenderHandoff.h"

#include <cstdio>

#include "dispatch/SerialQueue.h"
#include "log/LogManager.h"
#include "render/MetalContext.h"

namespace corvane {

RenderHandoff& RenderHandoff::shared() {
  // Never destroyed: frames may still be handed over while the program's statics go.
  static auto* handoff =
      new RenderHandoff(MetalManager::shared(), MetalContext::shared().renderQueue);
  return *handoff;
}

RenderHandoff::RenderHandoff(MetalManager& manager, std::shared_ptr<platform::Queue> renderQueue,
                             platform::Clock& clock, Note note)
    : manager_(manager), queue_(std::move(renderQueue)), clock_(clock), note_(std::move(note)) {}

void RenderHandoff::admitted(const platform::PixelBufferRef& frame) { admitted_ = frame.get(); }

void RenderHandoff::publish(const platform::PixelBufferRef& frame) {
  if (!frame || !queue_) return;
  bool analysed = admitted_.exchange(nullptr) == frame.get();
  platform::PixelBufferRef replaced;  // released outside the lock
  {
    std::lock_guard lock(waiting_->mutex);
    replaced = std::exchange(waiting_->frame, frame);
    if (analysed) waiting_->standsFor = frame.get();
  }
  if (replaced) skipped_.fetch_add(1, std::memory_order_relaxed);
  watchRate(frame);
  // One runner waits at most; whichever runs takes the newest frame there is.
  framePass_.submit(*queue_, [&manager = manager_, waiting = waiting_, drawn = drawn_] {
    platform::PixelBufferRef frame;
    const platform::PixelBuffer* standsFor;
    {
      std::lock_guard lock(waiting->mutex);
      frame = std::move(waiting->frame);
      waiting->frame = nullptr;
      standsFor = std::exchange(waiting->standsFor, nullptr);
    }
    if (!frame) return;
    manager.notifyFrame(frame, standsFor != nullptr, standsFor);
    drawn->fetch_add(1, std::memory_order_relaxed);
  });
}

void RenderHandoff::analysed(const platform::PixelBufferRef& frame) {
  if (!frame || !queue_) return;
  // A newer report replaces a waiting one: the picture kept for the older is superseded anyway.
  analysisReport_.submit(*queue_, [&manager = manager_, frame] { manager.finishAnalysis(frame); });
}

void RenderHandoff::watchRate(const platform::PixelBufferRef& frame) {
  std::lock_guard lock(rateMutex_);
  auto now = clock_.now();
  int width = frame->width(), height = frame->height();
  bool newSize = width != windowWidth_ || height != windowHeight_;
  if (newSize) told_ = false;  // told once for each size
  if (newSize || windowOffered_ == 0) {
    windowStart_ = now;
    windowOffered_ = 0;
    windowDrawnAtStart_ = drawn_->load();
    windowWidth_ = width;
    windowHeight_ = height;
  }
  ++windowOffered_;
  auto elapsed = now - windowStart_;
  if (elapsed < kRateWindow) return;
  int64_t drawn = drawn_->load() - windowDrawnAtStart_;
  double seconds = std::chrono::duration<double>(elapsed).count();
  if (!told_ && drawn * 3 < windowOffered_) {
    told_ = true;
    char line[200];
    std::snprintf(line, sizeof line,
                  "Frames of %d x %d are drawn at %.0f of %.0f frames per second: the picture is "
                  "too large to draw at the clip's rate, the frames between are dropped",
                  width, height, double(drawn) / seconds, double(windowOffered_) / seconds);
    if (note_)
      note_(line);
    else
      CV_LOG_WARNING(line);
  }
  windowStart_ = now;
  windowOffered_ = 0;
  windowDrawnAtStart_ = drawn_->load();
}

}  // namespace corvane

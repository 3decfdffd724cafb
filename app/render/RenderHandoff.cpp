#include "render/RenderHandoff.h"

#include <algorithm>

#include "camera/PlayerManager.h"
#include "dispatch/SerialQueue.h"
#include "log/LogManager.h"
#include "render/DrawRateNote.h"
#include "render/MetalContext.h"

namespace corvane {

RenderHandoff& RenderHandoff::shared() {
  // Never destroyed: frames may still be handed over while the program's statics go.
  static auto* handoff = new RenderHandoff(
      MetalManager::shared(), MetalContext::shared().renderQueue, platform::Clock::shared(), {},
      [] { return PlayerManager::shared().clipRate(); });
  return *handoff;
}

RenderHandoff::RenderHandoff(MetalManager& manager, std::shared_ptr<platform::Queue> renderQueue,
                             platform::Clock& clock, Note note, SourceRate sourceRate)
    : manager_(manager),
      queue_(std::move(renderQueue)),
      clock_(clock),
      note_(std::move(note)),
      sourceRate_(std::move(sourceRate)) {}

void RenderHandoff::admitted(const platform::PixelBufferRef& frame) { admitted_ = frame.get(); }

void RenderHandoff::publish(const platform::PixelBufferRef& frame) {
  if (!frame || !queue_) return;
  bool analysed = admitted_.exchange(nullptr) == frame.get();
  platform::PixelBufferRef replaced, orphaned;  // released outside the lock
  {
    std::lock_guard lock(waiting_->mutex);
    replaced = std::exchange(waiting_->frame, frame);
    if (analysed) {
      // The analysed frame stood for before has no picture of its own now: its report is moot.
      waiting_->standsFor = frame.get();
      orphaned = std::move(waiting_->reportForWaiting);
    }
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
      waiting->drawing = standsFor;
      waiting->reportForDrawing = std::move(waiting->reportForWaiting);
    }
    if (!frame) return;
    manager.notifyFrame(frame, standsFor != nullptr, standsFor);
    drawn->fetch_add(1, std::memory_order_relaxed);
    platform::PixelBufferRef report;
    {
      std::lock_guard lock(waiting->mutex);
      waiting->drawing = nullptr;
      report = std::move(waiting->reportForDrawing);
    }
    if (report) manager.finishAnalysis(report);
  });
}

void RenderHandoff::analysed(const platform::PixelBufferRef& frame) {
  if (!frame || !queue_) return;
  {
    // Its picture is still to be made: the pass that makes it hands the report on.
    std::lock_guard lock(waiting_->mutex);
    if (frame.get() == waiting_->drawing) {
      waiting_->reportForDrawing = frame;
      return;
    }
    if (frame.get() == waiting_->standsFor) {
      waiting_->reportForWaiting = frame;
      return;
    }
  }
  // Its picture is made: a newer report replaces a waiting one, whose picture is superseded.
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
  // A player that cannot decode at the clip's rate publishes fewer frames than the clip has.
  double coming = std::max(double(windowOffered_) / seconds, sourceRate_ ? sourceRate_() : 0.0);
  double drawnRate = double(drawn) / seconds;
  if (!told_ && drawnRate * 3 < coming) {
    told_ = true;
    std::string line = DrawRateNote::text(width, height, drawnRate, coming);
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

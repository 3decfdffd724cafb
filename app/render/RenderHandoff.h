#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "dispatch/Clock.h"
#include "dispatch/LatestTask.h"
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
// The newest frame wins: while a frame's pass waits for the render queue, a newer frame takes
// its place (counted in skipped(), never logged per frame), so however fast frames come and
// however slowly they are drawn, one frame pass and one analysis report wait at most. A frame
// the analysis took that is replaced so hands its part on: the picture made from the newer
// frame is the one kept for that analysis's output, the nearest there is to its own.
class RenderHandoff {
 public:
  // Where the one note on a picture size drawn far below the clip's rate goes; none: the log.
  using Note = std::function<void(const std::string&)>;
  // The source's own frame rate, frames a second (a clip's, from its time stamps, whatever its
  // player could decode); 0 or none: the rate frames are published at stands for it.
  using SourceRate = std::function<double()>;

  static RenderHandoff& shared();  // the program's render state and render queue
  RenderHandoff(MetalManager& manager, std::shared_ptr<platform::Queue> renderQueue,
                platform::Clock& clock = platform::Clock::shared(), Note note = {},
                SourceRate sourceRate = {});
  RenderHandoff(const RenderHandoff&) = delete;
  RenderHandoff& operator=(const RenderHandoff&) = delete;

  // Delivering queue: the analysis takes `frame` (told before the frame is published).
  void admitted(const platform::PixelBufferRef& frame);
  // Delivering queue: a frame the load rule let through.
  void publish(const platform::PixelBufferRef& frame);
  // Main thread: the analysis finished `frame`; its layout comes next.
  void analysed(const platform::PixelBufferRef& frame);

  // Frames the preview let go because a newer one came before their pass started.
  int64_t skipped() const { return skipped_.load(); }

  // Over this stretch of frames, a size drawn at under a third of the source's rate is told.
  static constexpr platform::Clock::Duration kRateWindow = std::chrono::seconds(5);

 private:
  void watchRate(const platform::PixelBufferRef& frame);

  // The frame the waiting pass will draw, taken when the pass starts: a newer one replaces it.
  // A report that comes before its frame's picture is made (the analysis was quicker than the
  // render) waits here for that pass, which hands it on once the picture is made: a report never
  // runs ahead of its own picture, however the newest-only slots replace each other.
  struct Waiting {
    std::mutex mutex;
    platform::PixelBufferRef frame;
    // The analysed frame whose picture that pass makes (its own, or one it replaced).
    const platform::PixelBuffer* standsFor = nullptr;  // identity only
    platform::PixelBufferRef reportForWaiting;         // standsFor's report, come early
    const platform::PixelBuffer* drawing = nullptr;    // the pass running makes its picture
    platform::PixelBufferRef reportForDrawing;         // drawing's report, come early
  };

  MetalManager& manager_;
  std::shared_ptr<platform::Queue> queue_;
  platform::Clock& clock_;
  Note note_;
  SourceRate sourceRate_;
  std::atomic<const platform::PixelBuffer*> admitted_{nullptr};  // identity only
  std::shared_ptr<Waiting> waiting_ = std::make_shared<Waiting>();
  platform::LatestTask framePass_;
  platform::LatestTask analysisReport_;
  std::atomic<int64_t> skipped_{0};

  // The rate watch: frames published and passes drawn since the window began.
  std::shared_ptr<std::atomic<int64_t>> drawn_ = std::make_shared<std::atomic<int64_t>>(0);
  std::mutex rateMutex_;
  platform::Clock::TimePoint windowStart_{};
  int64_t windowOffered_ = 0, windowDrawnAtStart_ = 0;
  int windowWidth_ = 0, windowHeight_ = 0;
  bool told_ = false;
};

}  // namespace corvane

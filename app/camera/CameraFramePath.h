#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "camera/AnalysisFacade.h"
#include "capture/SampleBufferDelegate.h"
#include "dispatch/Semaphore.h"
#include "video/PixelBuffer.h"

namespace corvane {

// The road of a camera or file frame into the analysis facade: counts it, stamps the time of
// the latest frame for the connection watch, and admits one frame at a time through a gate
// that is only tried, never waited on, so the delivering queue never blocks.
//
// Counters and the time stamp are atomics: the frame path writes them on the delivery queue,
// the connection watch reads and resets them on the main thread.
class CameraFramePath : public platform::SampleBufferDelegate {
 public:
  // The facade in use, or none; called on the delivering queue.
  using FacadeProvider = std::function<std::shared_ptr<AnalysisFacade>()>;
  // Runs on the delivering queue when the capture stream ends by itself (errno).
  using StreamEndedHandler = std::function<void(int error)>;

  explicit CameraFramePath(FacadeProvider facade);

  void setStreamEndedHandler(StreamEndedHandler handler);

  // ---- SampleBufferDelegate (the capture session's delivery queue) ----
  void captureOutput(const platform::PixelBufferRef& frame, int64_t timestampUs) override;
  void captureSessionEnded(int error) override;

  // Offers one frame to the facade; dropped when the previous one is still in it.
  void processPixelBuffer(const platform::PixelBufferRef& frame);

  // The frames offered and completed since the last call, as the watch takes them.
  float takeInputFPSSum();
  float takeOutputFPSSum();
  // Seconds since 1970 of the latest frame offered.
  std::optional<double> lastFrameTime() const;
  // Stamps the time as the watch starts; no frame has been seen since.
  void setLastFrameTime(double seconds);
  // Whether a frame was offered since the last stamp.
  bool frameSinceStamp() const;
  void setResolutionChange(bool changed);
  int64_t frameSN() const;

 private:
  struct State {
    platform::Semaphore renderSignal{1};
    std::atomic<float> inputFPSSum{0};
    std::atomic<float> outputFPSSum{0};
    std::atomic<double> lastFrameTime{-1};
    std::atomic<bool> resolutionChange{false};
    std::atomic<bool> frameSinceStamp{false};
    std::atomic<int64_t> frameSN{0};
  };

  FacadeProvider facade_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
  StreamEndedHandler streamEnded_;
};

}  // namespace corvane

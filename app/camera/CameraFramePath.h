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

  // The processor load level, 0 to 3, read once per camera frame.
  using LoadLevel = std::function<int()>;
  // Hands every frame the load rule lets through on to the renderer (its latest frame and its
  // subscribers), on the delivering queue, before the facade sees it: the preview follows the
  // camera whether or not the analysis takes the frame.
  using FramePublisher = std::function<void(const platform::PixelBufferRef&)>;
  // A frame the facade takes: `admitted` on the delivering queue, before the frame is
  // published; `analysed` on the main thread when the facade completed it, before its completion
  // handler. The renderer keeps that frame's picture for the output composed from its layout.
  using AnalysisHandler = std::function<void(const platform::PixelBufferRef&)>;

  explicit CameraFramePath(FacadeProvider facade);

  // Set before frames flow.
  void setStreamEndedHandler(StreamEndedHandler handler);
  void setLoadLevel(LoadLevel level);
  void setFramePublisher(FramePublisher publisher);
  void setAnalysisHandlers(AnalysisHandler admitted, AnalysisHandler analysed);
  // Runs on the main queue after every frame the facade completed.
  void setFrameCompletedHandler(std::function<void()> handler);

  // A file frame: offered, never thinned and not counted in frameSN.
  void onPlayerBuffer(const platform::PixelBufferRef& frame);
  int dropFrameNum() const { return dropFrameNum_.load(); }

  // ---- SampleBufferDelegate ----
  // The load rule's thinning, on the capture thread: every camera frame is numbered, and under
  // load 6 or 15 of every 30 are dropped there, before they are decoded.
  bool wantsFrame() override;
  // On the capture session's delivery queue.
  void captureOutput(const platform::PixelBufferRef& frame, int64_t timestampUs) override;
  void captureSessionEnded(int error) override;

  // Offers one frame to the facade; dropped when the previous one is still in it.
  void processPixelBuffer(const platform::PixelBufferRef& frame);

  // The frames offered and completed since the last call, as the watch takes them.
  float takeInputFPSSum();
  float takeOutputFPSSum();
  // The monotonic clock's seconds of the latest frame offered.
  std::optional<double> lastFrameTime() const;
  // Stamps the time as the watch starts; no frame has been seen since.
  void setLastFrameTime(double seconds);
  // Whether a frame was offered since the last stamp.
  bool frameSinceStamp() const;
  void setResolutionChange(bool changed);
  bool resolutionChange() const { return state_->resolutionChange.load(); }
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
    std::function<void()> completed;
  };

  FacadeProvider facade_;
  LoadLevel loadLevel_;
  FramePublisher publisher_;
  AnalysisHandler admitted_;
  AnalysisHandler analysed_;
  std::atomic<int> dropFrameNum_{0};
  std::shared_ptr<State> state_ = std::make_shared<State>();
  StreamEndedHandler streamEnded_;
};

}  // namespace corvane

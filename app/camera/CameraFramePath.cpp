#include "camera/CameraFramePath.h"

#include <chrono>

#include "dispatch/Clock.h"
#include "util/RunProfile.h"

namespace corvane {

namespace {

double monotonicSeconds() {
  auto since = platform::Clock::shared().now().time_since_epoch();
  return std::chrono::duration<double>(since).count();
}

void addOne(std::atomic<float>& sum) {
  float v = sum.load();
  while (!sum.compare_exchange_weak(v, v + 1.0f)) {
  }
}

}  // namespace

CameraFramePath::CameraFramePath(FacadeProvider facade) : facade_(std::move(facade)) {}

void CameraFramePath::setStreamEndedHandler(StreamEndedHandler handler) {
  streamEnded_ = std::move(handler);
}

void CameraFramePath::setLoadLevel(LoadLevel level) { loadLevel_ = std::move(level); }
void CameraFramePath::setFramePublisher(FramePublisher publisher) {
  publisher_ = std::move(publisher);
}
void CameraFramePath::setAnalysisHandlers(AnalysisHandler admitted, AnalysisHandler analysed) {
  admitted_ = std::move(admitted);
  analysed_ = std::move(analysed);
}
void CameraFramePath::setFrameCompletedHandler(std::function<void()> handler) {
  state_->completed = std::move(handler);
}

bool CameraFramePath::wantsFrame() {
  int level = loadLevel_ ? loadLevel_() : 0;
  // The highest level keeps the thinning it had and gives up accumulated detection instead.
  if (level == 1)
    dropFrameNum_ = 6;
  else if (level == 2)
    dropFrameNum_ = 15;
  else if (level < 3)
    dropFrameNum_ = 0;
  int drop = dropFrameNum_;
  int64_t serial = state_->frameSN.fetch_add(1);
  // Under load 6 or 15 of every 30 frames reach neither the renderer nor the facade.
  return !(drop > 0 && serial % (30 / drop) == 0);
}

void CameraFramePath::captureOutput(const platform::PixelBufferRef& frame, int64_t) {
  if (!frame) return;
  int level = loadLevel_ ? loadLevel_() : 0;
  std::shared_ptr<AnalysisFacade> facade = facade_ ? facade_() : nullptr;
  if (level >= 3) {
    if (facade && facade->GetAccumulateDetectionStatus()) facade->EnableAccumulateDetection(false);
  } else if (level < 1) {
    if (facade && !facade->GetAccumulateDetectionStatus()) facade->EnableAccumulateDetection(true);
  }
  processPixelBuffer(frame);
}

void CameraFramePath::onPlayerBuffer(const platform::PixelBufferRef& frame) {
  if (!frame) return;
  processPixelBuffer(frame);
}

void CameraFramePath::captureSessionEnded(int error) {
  if (streamEnded_) streamEnded_(error);
}

void CameraFramePath::processPixelBuffer(const platform::PixelBufferRef& frame) {
  if (!frame) return;
  addOne(state_->inputFPSSum);
  RunProfile::shared().framesOffered.fetch_add(1, std::memory_order_relaxed);
  state_->lastFrameTime = monotonicSeconds();
  state_->frameSinceStamp = true;
  std::shared_ptr<AnalysisFacade> facade = facade_ ? facade_() : nullptr;
  // No facade (the program is going down): the frame is not analysed.
  bool admitted = false;
  if (facade) {
    if (state_->resolutionChange.exchange(false)) facade->reset(1280, 720);
    // The previous frame is still in the facade: this one is not analysed, never waited for.
    admitted = state_->renderSignal.tryWait();
  }
  if (admitted && admitted_) admitted_(frame);
  if (publisher_) publisher_(frame);
  if (!admitted) return;
  std::weak_ptr<State> weak = state_;
  facade->imageProcessWithPixelBuffer(frame, [weak, frame, analysed = analysed_] {
    auto state = weak.lock();
    if (!state) return;
    if (analysed) analysed(frame);
    state->renderSignal.signal();
    addOne(state->outputFPSSum);
    RunProfile::shared().framesAnalysed.fetch_add(1, std::memory_order_relaxed);
    if (state->completed) state->completed();
  });
}

float CameraFramePath::takeInputFPSSum() { return state_->inputFPSSum.exchange(0); }
float CameraFramePath::takeOutputFPSSum() { return state_->outputFPSSum.exchange(0); }

std::optional<double> CameraFramePath::lastFrameTime() const {
  double t = state_->lastFrameTime.load();
  if (t < 0) return std::nullopt;
  return t;
}

void CameraFramePath::setLastFrameTime(double seconds) {
  state_->lastFrameTime = seconds;
  state_->frameSinceStamp = false;
}

bool CameraFramePath::frameSinceStamp() const { return state_->frameSinceStamp; }
void CameraFramePath::setResolutionChange(bool changed) { state_->resolutionChange = changed; }
int64_t CameraFramePath::frameSN() const { return state_->frameSN.load(); }

}  // namespace corvane

#include "camera/SelvoAnalysisFacade.h"

namespace corvane {

SelvoAnalysisFacade::SelvoAnalysisFacade()
    : SelvoAnalysisFacade(std::make_shared<orlith::ISelvoServiceManage>()) {}

SelvoAnalysisFacade::SelvoAnalysisFacade(std::shared_ptr<orlith::ISelvoServiceManage> facade)
    : facade_(std::move(facade)) {}

AnalysisFacadeFactory SelvoAnalysisFacade::factory() {
  return [] { return std::make_shared<SelvoAnalysisFacade>(); };
}

void SelvoAnalysisFacade::initManager() { facade_->initManager(); }

void SelvoAnalysisFacade::setup(double srcWidth, double srcHeight, double dstWidth,
                                double dstHeight, double controlWidth, double controlHeight,
                                double processWidth, double processHeight, bool is360,
                                const std::string& dbPath) {
  facade_->setup({srcWidth, srcHeight}, {dstWidth, dstHeight}, {controlWidth, controlHeight},
                 {processWidth, processHeight}, char(is360), dbPath.c_str());
}

void SelvoAnalysisFacade::releaseSelvoInst() { facade_->releaseSelvoInst(); }
void SelvoAnalysisFacade::addDetectObservable(Observer o) {
  facade_->addDetectObservable(std::move(o));
}
void SelvoAnalysisFacade::addDetectOnceObservable(Observer o) {
  facade_->addDetectOnceObservable(std::move(o));
}
void SelvoAnalysisFacade::addLayoutObservable(LayoutObserver o) {
  facade_->addLayoutObservable(std::move(o));
}
void SelvoAnalysisFacade::imageProcessWithPixelBuffer(const platform::PixelBufferRef& frame,
                                                      std::function<void()> done) {
  facade_->imageProcessWithPixelBuffer(frame, std::move(done));
}
void SelvoAnalysisFacade::reset(double width, double height) { facade_->reset({width, height}); }
void SelvoAnalysisFacade::EnableAccumulateDetection(bool e) {
  facade_->EnableAccumulateDetection(e);
}
bool SelvoAnalysisFacade::GetAccumulateDetectionStatus() const {
  return facade_->GetAccumulateDetectionStatus();
}
void SelvoAnalysisFacade::EnableBeamforming(bool e) { facade_->EnableBeamforming(char(e)); }
void SelvoAnalysisFacade::setAngle(int angle, int enable) { facade_->setAngle(angle, enable); }
void SelvoAnalysisFacade::enableSmallVideoWindow(bool e) {
  facade_->enableSmallVideoWindow(char(e));
}
void SelvoAnalysisFacade::DrawNormalRect(bool d) { facade_->DrawNormalRect(d); }
void SelvoAnalysisFacade::DrawTrackingRect(bool d) { facade_->DrawTrackingRect(d); }
void SelvoAnalysisFacade::DrawIgnoreRect(bool d) { facade_->DrawIgnoreRect(d); }
void SelvoAnalysisFacade::setDisplayMode(long m) { facade_->setDisplayMode(m); }
void SelvoAnalysisFacade::setFitMode(long m) { facade_->setFitMode(m); }
void SelvoAnalysisFacade::enableAutoDetect(bool e, int interval) {
  facade_->enableAutoDetect(char(e), interval);
}
void SelvoAnalysisFacade::EnableAutoDetectTracking() { facade_->EnableAutoDetectTracking(); }
void SelvoAnalysisFacade::DisableAutoDetectTracking() { facade_->DisableAutoDetectTracking(); }
void SelvoAnalysisFacade::detectOnce() { facade_->detectOnce(); }
bool SelvoAnalysisFacade::detectionAskedPending() { return facade_->detectionAskedPending(); }

void SelvoAnalysisFacade::SetVoiceAngleOffset(int degrees) {
  facade_->SetVoiceAngleOffset(degrees);
}
void SelvoAnalysisFacade::SetStableROITolerance(int tolerance, int maximum) {
  facade_->SetStableROITolerance(tolerance, maximum);
}
void SelvoAnalysisFacade::SetBeamformingHightlightTime(int milliseconds) {
  facade_->SetBeamformingHightlightTime(milliseconds);
}
void SelvoAnalysisFacade::SetSpeakerClearTime(int milliseconds) {
  facade_->SetSpeakerClearTime(milliseconds);
}
void SelvoAnalysisFacade::SetMinRectSideLength(int side) { facade_->SetMinRectSideLength(side); }
void SelvoAnalysisFacade::SetFocusModeROIExtendPixel(unsigned pixels) {
  facade_->SetFocusModeROIExtendPixel(pixels);
}
void SelvoAnalysisFacade::SetAngleTolerance(int degrees) { facade_->SetAngleTolerance(degrees); }
void SelvoAnalysisFacade::SetDetectResultOverlappingThreshold(float threshold) {
  facade_->SetDetectResultOverlappingThreshold(threshold);
}
void SelvoAnalysisFacade::SetDetectRectDirtyThreshold(int count) {
  facade_->SetDetectRectDirtyThreshold(count);
}
void SelvoAnalysisFacade::SetPIPEnlargeScaleLimit(float limit) {
  facade_->SetPIPEnlargeScaleLimit(limit);
}
void SelvoAnalysisFacade::SetMaxGridCount(int count) { facade_->SetMaxGridCount(count); }
void SelvoAnalysisFacade::SetTrackerType(long type) { facade_->SetTrackerType(type); }
void SelvoAnalysisFacade::SetFaceEnlargeRatio(double ratio) { facade_->SetFaceEnlargeRatio(ratio); }
void SelvoAnalysisFacade::SetDetectConfThreshold(float threshold) {
  facade_->SetDetectConfThreshold(threshold);
}
void SelvoAnalysisFacade::SetVideoPanWeight(float weight) { facade_->SetVideoPanWeight(weight); }
void SelvoAnalysisFacade::SetTransitionFrameCount(int frames) {
  facade_->SetTransitionFrameCount(frames);
}
void SelvoAnalysisFacade::EnableROIAutoMerge(bool enable) { facade_->EnableROIAutoMerge(enable); }
void SelvoAnalysisFacade::SetPIPSmallWindowSize(long level) {
  facade_->SetPIPSmallWindowSize(level);
}
void SelvoAnalysisFacade::SetMinSrcHeightScale(float scale) {
  facade_->SetMinSrcHeightScale(scale);
}
AnalysisFacade::IntRect SelvoAnalysisFacade::GetFocusManualRect() {
  IntRect r;
  facade_->GetFocusManualRect(r.x, r.y, r.width, r.height);
  return r;
}
AnalysisFacade::IntRect SelvoAnalysisFacade::GetPipManualRect() {
  IntRect r;
  facade_->GetPipManualRect(r.x, r.y, r.width, r.height);
  return r;
}
AnalysisFacade::IntRect SelvoAnalysisFacade::GetViewMoveIconRect() {
  IntRect r;
  facade_->GetViewMoveIconRect(r.x, r.y, r.width, r.height);
  return r;
}
AnalysisFacade::IntRect SelvoAnalysisFacade::GetTransformingRect() {
  IntRect r;
  facade_->GetTransformingRect(r.x, r.y, r.width, r.height);
  return r;
}
void SelvoAnalysisFacade::setMirror(bool mirror) { facade_->setMirror(char(mirror)); }
void SelvoAnalysisFacade::SetManualFocusRectInitPlace(int x, int y, int width, int height) {
  facade_->SetManualFocusRectInitPlace(x, y, width, height);
}
void SelvoAnalysisFacade::SetPresentRectInitPlace(int x, int y, int width, int height) {
  facade_->SetPresentRectInitPlace(x, y, width, height);
}
void SelvoAnalysisFacade::replaceDefaultLogoPath(const std::string& path) {
  facade_->replaceDefaultLogoPath(path);
}

void SelvoAnalysisFacade::setContentOffset(int value) { facade_->setContentOffset(value); }
bool SelvoAnalysisFacade::AddNewRect(int x1, int y1, int x2, int y2) {
  return facade_->AddNewRect(x1, y1, x2, y2);
}
void SelvoAnalysisFacade::ClearAllRect() { facade_->ClearAllRect(); }
void SelvoAnalysisFacade::StartIgnoreAreaEditing() { facade_->StartIgnoreAreaEditing(); }
void SelvoAnalysisFacade::EndIgnoreAreaEditing(bool keep) { facade_->EndIgnoreAreaEditing(keep); }
long SelvoAnalysisFacade::GetIgnoredRectCount() { return facade_->GetIgnoredRectCount(); }
void SelvoAnalysisFacade::SetHeightOffsetFor180Video(int offset) {
  facade_->SetHeightOffsetFor180Video(offset);
}

// ---- editing on the preview ----

void SelvoAnalysisFacade::SetTempRect(int x1, int y1, int x2, int y2) {
  facade_->SetTempRect(x1, y1, x2, y2);
}
void SelvoAnalysisFacade::AddIgnoreNewRect(int x1, int y1, int x2, int y2) {
  facade_->AddIgnoreNewRect(x1, y1, x2, y2);
}
bool SelvoAnalysisFacade::FindRect(int x, int y, bool& isTrack, bool& isDetect, int& idx) {
  return facade_->FindRect(x, y, isTrack, isDetect, idx);
}
void SelvoAnalysisFacade::RemoveRect(bool tracked, int idx) { facade_->RemoveRect(tracked, idx); }
void SelvoAnalysisFacade::ChangeRectTracked(bool tracked, int idx) {
  facade_->ChangeRectTracked(tracked, idx);
}
void SelvoAnalysisFacade::RemoveIgnoreAreas() { facade_->RemoveIgnoreAreas(); }
void SelvoAnalysisFacade::TrackAllRects() { facade_->TrackAllRects(); }
void SelvoAnalysisFacade::UntrackAllRects() { facade_->UntrackAllRects(); }
void SelvoAnalysisFacade::PinRect(int idx) { facade_->PinRect(idx); }
bool SelvoAnalysisFacade::IsRectPinned(int idx) { return facade_->IsRectPinned(idx); }
bool SelvoAnalysisFacade::StartTransformRect(bool tracked, int idx) {
  return facade_->StartTransformRect(tracked, idx);
}
void SelvoAnalysisFacade::SetTransformingRect(int x, int y, int width, int height) {
  facade_->SetTransformingRect(x, y, width, height);
}
void SelvoAnalysisFacade::EndTransformRect() { facade_->EndTransformRect(); }
AnalysisFacade::IntRect SelvoAnalysisFacade::GetDisplayRect(int idx) {
  IntRect r;
  facade_->GetDisplayRect(idx, r.x, r.y, r.width, r.height);
  return r;
}
AnalysisFacade::IntRect SelvoAnalysisFacade::GetIgnoreRect(int index) {
  IntRect r;
  facade_->GetIgnoreRect(index, r.x, r.y, r.width, r.height);
  return r;
}
AnalysisFacade::IntRect SelvoAnalysisFacade::GetIgnoreRectById(int idx) {
  IntRect r;
  facade_->GetIgnoreRectById(idx, r.x, r.y, r.width, r.height);
  return r;
}
std::vector<orlith::SelvoRect> SelvoAnalysisFacade::GetManualRect() {
  std::vector<orlith::SelvoRect> out;
  facade_->GetManualRect(out);
  return out;
}
std::vector<orlith::SelvoRect> SelvoAnalysisFacade::GetDetectRect() {
  std::vector<orlith::SelvoRect> out;
  facade_->GetDetectRect(out);
  return out;
}
void SelvoAnalysisFacade::SetFocusModeManualRect(int x, int y, int width, int height) {
  facade_->SetFocusModeManualRect(x, y, width, height);
}
int SelvoAnalysisFacade::getContentOffset() { return facade_->getContentOffset(); }
void SelvoAnalysisFacade::enableDrawRect(bool enable) { facade_->enableDrawRect(enable); }
void SelvoAnalysisFacade::enableDrawRefLine(bool enable) {
  facade_->enableDrawRefLine(char(enable));
}

}  // namespace corvane

#include "RecordingAnalysisFacade.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "dispatch/MainQueue.h"

namespace testsupport {

namespace {

std::string num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.10g", v);
  return b;
}

}  // namespace

std::shared_ptr<RecordingAnalysisFacade> RecordingAnalysisFacade::Registry::last() {
  std::lock_guard lock(mutex);
  return made.empty() ? nullptr : made.back();
}

size_t RecordingAnalysisFacade::Registry::count() {
  std::lock_guard lock(mutex);
  return made.size();
}

corvane::AnalysisFacadeFactory RecordingAnalysisFacade::factory(
    std::shared_ptr<Registry> registry) {
  return [registry]() -> std::shared_ptr<corvane::AnalysisFacade> {
    auto facade = std::make_shared<RecordingAnalysisFacade>();
    std::lock_guard lock(registry->mutex);
    registry->made.push_back(facade);
    return facade;
  };
}

void RecordingAnalysisFacade::record(const std::string& line) {
  std::lock_guard lock(mutex_);
  calls_.push_back(line);
}

std::vector<std::string> RecordingAnalysisFacade::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> RecordingAnalysisFacade::callsStartingWith(
    const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& c : calls())
    if (c.rfind(prefix, 0) == 0) out.push_back(c);
  return out;
}

void RecordingAnalysisFacade::clearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

size_t RecordingAnalysisFacade::heldFrames() const {
  std::lock_guard lock(mutex_);
  return held_.size();
}

size_t RecordingAnalysisFacade::framesOffered() const {
  std::lock_guard lock(mutex_);
  return offered_;
}

std::vector<int> RecordingAnalysisFacade::firstLumaBytes() const {
  std::lock_guard lock(mutex_);
  return luma_;
}

void RecordingAnalysisFacade::completeFrames() {
  std::vector<std::function<void()>> done;
  {
    std::lock_guard lock(mutex_);
    done.swap(held_);
  }
  for (auto& d : done) platform::MainQueue::shared().async(std::move(d));
}

bool RecordingAnalysisFacade::waitForFrames(size_t count, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (framesOffered() < count) {
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::nanoseconds(0)) return false;
    offeredSignal_.wait(std::chrono::duration_cast<std::chrono::nanoseconds>(left));
  }
  return true;
}

void RecordingAnalysisFacade::fireDetect() {
  Observer o;
  {
    std::lock_guard lock(mutex_);
    o = detect_;
  }
  if (o) o();
}

void RecordingAnalysisFacade::fireDetectOnce() {
  Observer o;
  {
    std::lock_guard lock(mutex_);
    o = detectOnce_;
  }
  if (o) o();
}

void RecordingAnalysisFacade::fireLayout(RoiPairList a, RoiPairList b, RoiPairList c, RoiPairList d,
                                         RoiPairList e) {
  LayoutObserver o;
  {
    std::lock_guard lock(mutex_);
    o = layout_;
  }
  if (o) o(std::move(a), std::move(b), std::move(c), std::move(d), std::move(e));
}

void RecordingAnalysisFacade::addLayoutObservable(LayoutObserver observer) {
  record("addLayoutObservable");
  std::lock_guard lock(mutex_);
  layout_ = std::move(observer);
}

void RecordingAnalysisFacade::EnableAccumulateDetection(bool enable) {
  record("EnableAccumulateDetection " + num(enable));
  std::lock_guard lock(mutex_);
  accumulate_ = enable;
}

bool RecordingAnalysisFacade::GetAccumulateDetectionStatus() const {
  std::lock_guard lock(mutex_);
  return accumulate_;
}

bool RecordingAnalysisFacade::accumulateDetection() const { return GetAccumulateDetectionStatus(); }

void RecordingAnalysisFacade::initManager() { record("initManager"); }

void RecordingAnalysisFacade::setup(double sw, double sh, double dw, double dh, double cw,
                                    double ch, double pw, double ph, bool is360,
                                    const std::string& dbPath) {
  record("setup " + num(sw) + "x" + num(sh) + " dst " + num(dw) + "x" + num(dh) + " control " +
         num(cw) + "x" + num(ch) + " process " + num(pw) + "x" + num(ph) +
         (is360 ? " 360 " : " normal ") + dbPath);
}

void RecordingAnalysisFacade::releaseSelvoInst() {
  // The barrier: frames already accepted finish first.
  completeFrames();
  record("releaseSelvoInst");
  std::lock_guard lock(mutex_);
  released_ = true;
}

void RecordingAnalysisFacade::addDetectObservable(Observer observer) {
  record("addDetectObservable");
  std::lock_guard lock(mutex_);
  detect_ = std::move(observer);
}

void RecordingAnalysisFacade::addDetectOnceObservable(Observer observer) {
  record("addDetectOnceObservable");
  std::lock_guard lock(mutex_);
  detectOnce_ = std::move(observer);
}

void RecordingAnalysisFacade::imageProcessWithPixelBuffer(const platform::PixelBufferRef& frame,
                                                          std::function<void()> done) {
  int luma = frame && frame->planeCount() > 0 ? int(frame->baseAddress(0)[0]) : -1;
  {
    std::lock_guard lock(mutex_);
    ++offered_;
    luma_.push_back(luma);
    if (released_) calls_.push_back("frame after release");
    held_.push_back(std::move(done));
  }
  offeredSignal_.signal();
}

void RecordingAnalysisFacade::reset(double w, double h) {
  record("reset " + num(w) + "x" + num(h));
}
void RecordingAnalysisFacade::EnableBeamforming(bool e) { record("EnableBeamforming " + num(e)); }
void RecordingAnalysisFacade::setAngle(int a, int e) {
  record("setAngle " + num(a) + " " + num(e));
}
void RecordingAnalysisFacade::enableSmallVideoWindow(bool e) {
  record("enableSmallVideoWindow " + num(e));
}
void RecordingAnalysisFacade::DrawNormalRect(bool d) { record("DrawNormalRect " + num(d)); }
void RecordingAnalysisFacade::DrawTrackingRect(bool d) { record("DrawTrackingRect " + num(d)); }
void RecordingAnalysisFacade::DrawIgnoreRect(bool d) { record("DrawIgnoreRect " + num(d)); }
void RecordingAnalysisFacade::setDisplayMode(long m) { record("setDisplayMode " + num(m)); }
void RecordingAnalysisFacade::setFitMode(long m) { record("setFitMode " + num(m)); }
void RecordingAnalysisFacade::enableAutoDetect(bool e, int i) {
  record("enableAutoDetect " + num(e) + " " + num(i));
}
void RecordingAnalysisFacade::EnableAutoDetectTracking() { record("EnableAutoDetectTracking"); }
void RecordingAnalysisFacade::DisableAutoDetectTracking() { record("DisableAutoDetectTracking"); }
void RecordingAnalysisFacade::detectOnce() { record("detectOnce"); }

void RecordingAnalysisFacade::SetVoiceAngleOffset(int degrees) {
  record(std::string("SetVoiceAngleOffset") + " " + num(degrees));
}
void RecordingAnalysisFacade::SetStableROITolerance(int tolerance, int maximum) {
  record(std::string("SetStableROITolerance") + " " + num(tolerance) + " " + num(maximum));
}
void RecordingAnalysisFacade::SetBeamformingHightlightTime(int milliseconds) {
  record(std::string("SetBeamformingHightlightTime") + " " + num(milliseconds));
}
void RecordingAnalysisFacade::SetSpeakerClearTime(int milliseconds) {
  record(std::string("SetSpeakerClearTime") + " " + num(milliseconds));
}
void RecordingAnalysisFacade::SetMinRectSideLength(int side) {
  record(std::string("SetMinRectSideLength") + " " + num(side));
}
void RecordingAnalysisFacade::SetFocusModeROIExtendPixel(unsigned pixels) {
  record(std::string("SetFocusModeROIExtendPixel") + " " + num(pixels));
}
void RecordingAnalysisFacade::SetAngleTolerance(int degrees) {
  record(std::string("SetAngleTolerance") + " " + num(degrees));
}
void RecordingAnalysisFacade::SetDetectResultOverlappingThreshold(float threshold) {
  record(std::string("SetDetectResultOverlappingThreshold") + " " + num(threshold));
}
void RecordingAnalysisFacade::SetDetectRectDirtyThreshold(int count) {
  record(std::string("SetDetectRectDirtyThreshold") + " " + num(count));
}
void RecordingAnalysisFacade::SetPIPEnlargeScaleLimit(float limit) {
  record(std::string("SetPIPEnlargeScaleLimit") + " " + num(limit));
}
void RecordingAnalysisFacade::SetMaxGridCount(int count) {
  record(std::string("SetMaxGridCount") + " " + num(count));
}
void RecordingAnalysisFacade::SetTrackerType(long type) {
  record(std::string("SetTrackerType") + " " + num(type));
}
void RecordingAnalysisFacade::SetFaceEnlargeRatio(double ratio) {
  record(std::string("SetFaceEnlargeRatio") + " " + num(ratio));
}
void RecordingAnalysisFacade::SetDetectConfThreshold(float threshold) {
  record(std::string("SetDetectConfThreshold") + " " + num(threshold));
}
void RecordingAnalysisFacade::SetVideoPanWeight(float weight) {
  record(std::string("SetVideoPanWeight") + " " + num(weight));
}
void RecordingAnalysisFacade::SetTransitionFrameCount(int frames) {
  record(std::string("SetTransitionFrameCount") + " " + num(frames));
}
void RecordingAnalysisFacade::EnableROIAutoMerge(bool enable) {
  record(std::string("EnableROIAutoMerge") + " " + num(enable));
}
void RecordingAnalysisFacade::SetPIPSmallWindowSize(long level) {
  record(std::string("SetPIPSmallWindowSize") + " " + num(level));
}
void RecordingAnalysisFacade::SetMinSrcHeightScale(float scale) {
  record(std::string("SetMinSrcHeightScale") + " " + num(scale));
}
corvane::AnalysisFacade::IntRect RecordingAnalysisFacade::GetFocusManualRect() {
  record("GetFocusManualRect");
  return focusManualRect;
}
corvane::AnalysisFacade::IntRect RecordingAnalysisFacade::GetPipManualRect() {
  record("GetPipManualRect");
  return pipManualRect;
}
corvane::AnalysisFacade::IntRect RecordingAnalysisFacade::GetViewMoveIconRect() {
  record("GetViewMoveIconRect");
  return viewMoveIconRect;
}
corvane::AnalysisFacade::IntRect RecordingAnalysisFacade::GetTransformingRect() {
  record("GetTransformingRect");
  return transformingRect;
}
void RecordingAnalysisFacade::setMirror(bool mirror) {
  record(std::string("setMirror") + " " + num(mirror));
}
void RecordingAnalysisFacade::SetManualFocusRectInitPlace(int x, int y, int width, int height) {
  record(std::string("SetManualFocusRectInitPlace") + " " + num(x) + " " + num(y) + " " +
         num(width) + " " + num(height));
}
void RecordingAnalysisFacade::SetPresentRectInitPlace(int x, int y, int width, int height) {
  record(std::string("SetPresentRectInitPlace") + " " + num(x) + " " + num(y) + " " + num(width) +
         " " + num(height));
}
void RecordingAnalysisFacade::replaceDefaultLogoPath(const std::string& path) {
  record("replaceDefaultLogoPath " + path);
}

void RecordingAnalysisFacade::setContentOffset(int value) {
  record(std::string("setContentOffset") + " " + num(value));
}
bool RecordingAnalysisFacade::AddNewRect(int x1, int y1, int x2, int y2) {
  record(std::string("AddNewRect") + " " + num(x1) + " " + num(y1) + " " + num(x2) + " " + num(y2));
  std::lock_guard lock(mutex_);
  if (addRoom_ == 0) return false;
  if (addRoom_ > 0) --addRoom_;
  return true;
}

void RecordingAnalysisFacade::setAddRoom(int room) {
  std::lock_guard lock(mutex_);
  addRoom_ = room;
}
void RecordingAnalysisFacade::ClearAllRect() { record(std::string("ClearAllRect")); }
void RecordingAnalysisFacade::StartIgnoreAreaEditing() {
  record(std::string("StartIgnoreAreaEditing"));
}
void RecordingAnalysisFacade::EndIgnoreAreaEditing(bool keep) {
  record(std::string("EndIgnoreAreaEditing") + " " + num(keep));
}
long RecordingAnalysisFacade::GetIgnoredRectCount() {
  record(std::string("GetIgnoredRectCount"));
  return ignoredRectCount;
}
void RecordingAnalysisFacade::SetHeightOffsetFor180Video(int offset) {
  record(std::string("SetHeightOffsetFor180Video") + " " + num(offset));
}

// ---- editing on the preview ----

namespace {

std::string line(const char* name, std::initializer_list<double> values) {
  std::string out = name;
  for (double v : values) out += " " + num(v);
  return out;
}

}  // namespace

void RecordingAnalysisFacade::SetTempRect(int x1, int y1, int x2, int y2) {
  record(line("SetTempRect", {double(x1), double(y1), double(x2), double(y2)}));
}
void RecordingAnalysisFacade::AddIgnoreNewRect(int x1, int y1, int x2, int y2) {
  record(line("AddIgnoreNewRect", {double(x1), double(y1), double(x2), double(y2)}));
}
bool RecordingAnalysisFacade::FindRect(int x, int y, bool& isTrack, bool& isDetect, int& idx) {
  record(line("FindRect", {double(x), double(y)}));
  Hit hit = findRect ? findRect(x, y) : Hit{};
  if (!hit.found) return false;
  isTrack = hit.isTrack;
  isDetect = hit.isDetect;
  idx = hit.idx;
  return true;
}
void RecordingAnalysisFacade::RemoveRect(bool tracked, int idx) {
  record(line("RemoveRect", {double(tracked), double(idx)}));
}
void RecordingAnalysisFacade::ChangeRectTracked(bool tracked, int idx) {
  record(line("ChangeRectTracked", {double(tracked), double(idx)}));
}
void RecordingAnalysisFacade::RemoveIgnoreAreas() { record("RemoveIgnoreAreas"); }
void RecordingAnalysisFacade::TrackAllRects() { record("TrackAllRects"); }
void RecordingAnalysisFacade::UntrackAllRects() { record("UntrackAllRects"); }
void RecordingAnalysisFacade::PinRect(int idx) { record(line("PinRect", {double(idx)})); }
bool RecordingAnalysisFacade::IsRectPinned(int idx) {
  record(line("IsRectPinned", {double(idx)}));
  return std::find(pinnedIds.begin(), pinnedIds.end(), idx) != pinnedIds.end();
}
bool RecordingAnalysisFacade::StartTransformRect(bool tracked, int idx) {
  record(line("StartTransformRect", {double(tracked), double(idx)}));
  return startTransformAnswer;
}
void RecordingAnalysisFacade::SetTransformingRect(int x, int y, int width, int height) {
  transformingRect = {x, y, width, height};
  record(line("SetTransformingRect", {double(x), double(y), double(width), double(height)}));
}
void RecordingAnalysisFacade::EndTransformRect() { record("EndTransformRect"); }
corvane::AnalysisFacade::IntRect RecordingAnalysisFacade::GetDisplayRect(int idx) {
  record(line("GetDisplayRect", {double(idx)}));
  for (const auto& [id, r] : displayRects)
    if (id == idx) return r;
  return {};
}
corvane::AnalysisFacade::IntRect RecordingAnalysisFacade::GetIgnoreRect(int index) {
  record(line("GetIgnoreRect", {double(index)}));
  return index >= 0 && size_t(index) < ignoreRects.size() ? ignoreRects[size_t(index)]
                                                          : IntRect{};
}
corvane::AnalysisFacade::IntRect RecordingAnalysisFacade::GetIgnoreRectById(int idx) {
  record(line("GetIgnoreRectById", {double(idx)}));
  for (const auto& [id, r] : ignoreRectsById)
    if (id == idx) return r;
  return {};
}
std::vector<orlith::SelvoRect> RecordingAnalysisFacade::GetManualRect() {
  record("GetManualRect");
  return manualRects;
}
std::vector<orlith::SelvoRect> RecordingAnalysisFacade::GetDetectRect() {
  record("GetDetectRect");
  return detectRects;
}
void RecordingAnalysisFacade::SetFocusModeManualRect(int x, int y, int width, int height) {
  record(line("SetFocusModeManualRect", {double(x), double(y), double(width), double(height)}));
}
int RecordingAnalysisFacade::getContentOffset() {
  record("getContentOffset");
  return contentOffset;
}
void RecordingAnalysisFacade::enableDrawRect(bool enable) {
  record(line("enableDrawRect", {double(enable)}));
}
void RecordingAnalysisFacade::enableDrawRefLine(bool enable) {
  record(line("enableDrawRefLine", {double(enable)}));
}

}  // namespace testsupport

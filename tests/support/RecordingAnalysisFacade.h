#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/AnalysisFacade.h"
#include "dispatch/Semaphore.h"

namespace testsupport {

// An analysis facade that records every call as a line ("setup 3840x1080 ...") and holds the
// frames it is given until the test completes them. Like the framework's facade it copies a
// frame's planes on arrival, runs `done` once on the main queue, and treats release as a
// barrier: frames still held complete first. A frame offered after release is recorded as
// "frame after release", which the camera manager must never cause.
class RecordingAnalysisFacade : public corvane::AnalysisFacade {
 public:
  // Every facade a factory made, in order.
  struct Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<RecordingAnalysisFacade>> made;
    std::shared_ptr<RecordingAnalysisFacade> last();
    size_t count();
  };
  static corvane::AnalysisFacadeFactory factory(std::shared_ptr<Registry> registry);

  std::vector<std::string> calls() const;
  // The calls whose line starts with `prefix`.
  std::vector<std::string> callsStartingWith(const std::string& prefix) const;
  void clearCalls();
  // Frames accepted and not completed yet.
  size_t heldFrames() const;
  size_t framesOffered() const;
  // Completes the held frames: their `done` is posted to the main queue.
  void completeFrames();
  // Waits (bounded) until `count` frames were offered in all.
  bool waitForFrames(size_t count, int timeoutMs = 5000);
  // The first luma byte of every frame offered (read at once, as the facade copies).
  std::vector<int> firstLumaBytes() const;
  void fireDetect();
  void fireDetectOnce();
  // Delivers one layout result as the facade does, on the calling (main) thread.
  void fireLayout(RoiPairList a, RoiPairList b, RoiPairList c, RoiPairList d, RoiPairList e);
  bool accumulateDetection() const;
  // How many more boxes AddNewRect takes before it refuses (as a full panorama does); no limit
  // unless set.
  void setAddRoom(int room);

  void initManager() override;
  void setup(double srcWidth, double srcHeight, double dstWidth, double dstHeight,
             double controlWidth, double controlHeight, double processWidth, double processHeight,
             bool is360, const std::string& dbPath) override;
  void releaseSelvoInst() override;
  void addDetectObservable(Observer observer) override;
  void addDetectOnceObservable(Observer observer) override;
  void addLayoutObservable(LayoutObserver observer) override;
  void EnableAccumulateDetection(bool enable) override;
  bool GetAccumulateDetectionStatus() const override;
  void imageProcessWithPixelBuffer(const platform::PixelBufferRef& frame,
                                   std::function<void()> done) override;
  void reset(double width, double height) override;
  void EnableBeamforming(bool enable) override;
  void setAngle(int angle, int enable) override;
  void enableSmallVideoWindow(bool enable) override;
  void DrawNormalRect(bool draw) override;
  void DrawTrackingRect(bool draw) override;
  void DrawIgnoreRect(bool draw) override;
  void setDisplayMode(long mode) override;
  void setFitMode(long mode) override;
  void enableAutoDetect(bool enable, int intervalMs) override;
  void EnableAutoDetectTracking() override;
  void DisableAutoDetectTracking() override;
  void detectOnce() override;
  bool detectionAskedPending() override { return false; }
  void setContentOffset(int value) override;
  bool AddNewRect(int x1, int y1, int x2, int y2) override;
  void ClearAllRect() override;
  void StartIgnoreAreaEditing() override;
  void EndIgnoreAreaEditing(bool keep) override;
  // Answers with `ignoredRectCount`.
  long GetIgnoredRectCount() override;
  void SetHeightOffsetFor180Video(int offset) override;
  void SetVoiceAngleOffset(int degrees) override;
  void SetStableROITolerance(int tolerance, int maximum) override;
  void SetBeamformingHightlightTime(int milliseconds) override;
  void SetSpeakerClearTime(int milliseconds) override;
  void SetMinRectSideLength(int side) override;
  void SetFocusModeROIExtendPixel(unsigned pixels) override;
  void SetAngleTolerance(int degrees) override;
  void SetDetectResultOverlappingThreshold(float threshold) override;
  void SetDetectRectDirtyThreshold(int count) override;
  void SetPIPEnlargeScaleLimit(float limit) override;
  void SetMaxGridCount(int count) override;
  void SetTrackerType(long type) override;
  void SetFaceEnlargeRatio(double ratio) override;
  void SetDetectConfThreshold(float threshold) override;
  void SetVideoPanWeight(float weight) override;
  void SetTransitionFrameCount(int frames) override;
  void EnableROIAutoMerge(bool enable) override;
  void SetPIPSmallWindowSize(long level) override;
  void SetMinSrcHeightScale(float scale) override;
  void setMirror(bool mirror) override;
  void SetManualFocusRectInitPlace(int x, int y, int width, int height) override;
  void SetPresentRectInitPlace(int x, int y, int width, int height) override;
  void replaceDefaultLogoPath(const std::string& path) override;
  IntRect GetFocusManualRect() override;
  IntRect GetPipManualRect() override;
  IntRect GetViewMoveIconRect() override;
  IntRect GetTransformingRect() override;
  void SetTempRect(int x1, int y1, int x2, int y2) override;
  void AddIgnoreNewRect(int x1, int y1, int x2, int y2) override;
  bool FindRect(int x, int y, bool& isTrack, bool& isDetect, int& idx) override;
  void RemoveRect(bool tracked, int idx) override;
  void ChangeRectTracked(bool tracked, int idx) override;
  void RemoveIgnoreAreas() override;
  void TrackAllRects() override;
  void UntrackAllRects() override;
  void PinRect(int idx) override;
  bool IsRectPinned(int idx) override;
  bool StartTransformRect(bool tracked, int idx) override;
  void SetTransformingRect(int x, int y, int width, int height) override;
  void EndTransformRect() override;
  IntRect GetDisplayRect(int idx) override;
  IntRect GetIgnoreRect(int index) override;
  IntRect GetIgnoreRectById(int idx) override;
  std::vector<orlith::SelvoRect> GetManualRect() override;
  std::vector<orlith::SelvoRect> GetDetectRect() override;
  void SetFocusModeManualRect(int x, int y, int width, int height) override;
  int getContentOffset() override;
  void enableDrawRect(bool enable) override;
  void enableDrawRefLine(bool enable) override;

  // What the read-backs answer (all -1 until set).
  IntRect focusManualRect, pipManualRect, viewMoveIconRect, transformingRect;

  long ignoredRectCount = 0;

  // What the editing read-backs answer. FindRect asks `findRect` with the point (nothing found
  // when unset); StartTransformRect answers `startTransformAnswer`; the id read-backs look
  // their id up (-1 rectangles when absent).
  struct Hit {
    bool found = false, isTrack = false, isDetect = false;
    int idx = -1;
  };
  std::function<Hit(int x, int y)> findRect;
  bool startTransformAnswer = true;
  std::vector<int> pinnedIds;
  std::vector<std::pair<int, IntRect>> displayRects, ignoreRectsById;
  std::vector<IntRect> ignoreRects;
  std::vector<orlith::SelvoRect> manualRects, detectRects;
  int contentOffset = 0;

 private:
  void record(const std::string& line);

  mutable std::mutex mutex_;
  int addRoom_ = -1;  // guarded by mutex_; -1: no limit
  std::vector<std::string> calls_;
  std::vector<std::function<void()>> held_;
  std::vector<int> luma_;
  size_t offered_ = 0;
  bool released_ = false;
  Observer detect_, detectOnce_;
  LayoutObserver layout_;
  bool accumulate_ = true;
  platform::Semaphore offeredSignal_;
};

}  // namespace testsupport

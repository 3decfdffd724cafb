#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SelvoRect.h"
#include "SelvoValue.h"
#include "video/PixelBuffer.h"

namespace corvane {

// The operations of the analysis facade that the camera manager drives. The production
// binding forwards each to the framework's facade of the same name; tests record them.
//
// Threads, as the framework's facade promises them: set-up, release and every operation come
// from the main thread, except imageProcessWithPixelBuffer, which copies the frame on the
// caller's thread and runs `done` exactly once on the main queue. The detect observers run on
// the facade's processing queue. releaseSelvoInst is a barrier: frames already accepted run
// to the end before the vision objects go.
class AnalysisFacade {
 public:
  using Observer = std::function<void()>;
  using RoiPairList = std::vector<orlith::SelvoDictionary>;
  // Five lists of ROI-pair dictionaries per layout result, on the main queue.
  using LayoutObserver =
      std::function<void(RoiPairList, RoiPairList, RoiPairList, RoiPairList, RoiPairList)>;

  virtual ~AnalysisFacade() = default;

  virtual void initManager() = 0;
  virtual void setup(double srcWidth, double srcHeight, double dstWidth, double dstHeight,
                     double controlWidth, double controlHeight, double processWidth,
                     double processHeight, bool is360, const std::string& dbPath) = 0;
  virtual void releaseSelvoInst() = 0;
  virtual void addDetectObservable(Observer observer) = 0;
  virtual void addDetectOnceObservable(Observer observer) = 0;
  virtual void addLayoutObservable(LayoutObserver observer) = 0;

  virtual void imageProcessWithPixelBuffer(const platform::PixelBufferRef& frame,
                                           std::function<void()> done) = 0;
  virtual void reset(double width, double height) = 0;
  virtual void EnableAccumulateDetection(bool enable) = 0;
  virtual bool GetAccumulateDetectionStatus() const = 0;

  virtual void EnableBeamforming(bool enable) = 0;
  virtual void setAngle(int angle, int enable) = 0;
  virtual void enableSmallVideoWindow(bool enable) = 0;
  virtual void DrawNormalRect(bool draw) = 0;
  virtual void DrawTrackingRect(bool draw) = 0;
  virtual void DrawIgnoreRect(bool draw) = 0;

  virtual void setDisplayMode(long mode) = 0;
  virtual void setFitMode(long mode) = 0;
  virtual void enableAutoDetect(bool enable, int intervalMs) = 0;
  virtual void EnableAutoDetectTracking() = 0;
  virtual void DisableAutoDetectTracking() = 0;
  virtual void detectOnce() = 0;
  // Whether the boxes still wait for the result of the detection asked for last.
  virtual bool detectionAskedPending() = 0;

  // ---- tuning ----
  virtual void setContentOffset(int value) = 0;
  // False when the box (or ignore area) was refused: the panorama has no room for one more.
  virtual bool AddNewRect(int x1, int y1, int x2, int y2) = 0;
  // Removes every rectangle (before a saved ROI record is restored).
  virtual void ClearAllRect() = 0;
  virtual void StartIgnoreAreaEditing() = 0;
  virtual void EndIgnoreAreaEditing(bool keep) = 0;
  virtual long GetIgnoredRectCount() = 0;
  virtual void SetHeightOffsetFor180Video(int offset) = 0;
  virtual void SetVoiceAngleOffset(int degrees) = 0;
  virtual void SetStableROITolerance(int tolerance, int maximum) = 0;
  virtual void SetBeamformingHightlightTime(int milliseconds) = 0;
  virtual void SetSpeakerClearTime(int milliseconds) = 0;
  virtual void SetMinRectSideLength(int side) = 0;
  virtual void SetFocusModeROIExtendPixel(unsigned pixels) = 0;
  virtual void SetAngleTolerance(int degrees) = 0;
  virtual void SetDetectResultOverlappingThreshold(float threshold) = 0;
  virtual void SetDetectRectDirtyThreshold(int count) = 0;
  virtual void SetPIPEnlargeScaleLimit(float limit) = 0;
  virtual void SetMaxGridCount(int count) = 0;
  virtual void SetTrackerType(long type) = 0;
  virtual void SetFaceEnlargeRatio(double ratio) = 0;
  virtual void SetDetectConfThreshold(float threshold) = 0;
  virtual void SetVideoPanWeight(float weight) = 0;
  virtual void SetTransitionFrameCount(int frames) = 0;
  virtual void EnableROIAutoMerge(bool enable) = 0;
  virtual void SetPIPSmallWindowSize(long level) = 0;
  virtual void SetMinSrcHeightScale(float scale) = 0;
  virtual void setMirror(bool mirror) = 0;
  virtual void SetManualFocusRectInitPlace(int x, int y, int width, int height) = 0;
  virtual void SetPresentRectInitPlace(int x, int y, int width, int height) = 0;
  virtual void replaceDefaultLogoPath(const std::string& path) = 0;

  // ---- read-backs of the main window (x, y, width, height; -1 where there is none) ----
  struct IntRect {
    int x = -1, y = -1, width = -1, height = -1;
  };
  virtual IntRect GetFocusManualRect() = 0;
  virtual IntRect GetPipManualRect() = 0;
  virtual IntRect GetViewMoveIconRect() = 0;
  virtual IntRect GetTransformingRect() = 0;

  // ---- editing of rectangles on the preview and its menu (frame pixels; ids as the facade
  // gives them; an id or index the facade does not know leaves a read-back at -1) ----
  virtual void SetTempRect(int x1, int y1, int x2, int y2) = 0;
  virtual void AddIgnoreNewRect(int x1, int y1, int x2, int y2) = 0;
  // Whether a rectangle lies under the point; its kind and id through the out-parameters.
  virtual bool FindRect(int x, int y, bool& isTrack, bool& isDetect, int& idx) = 0;
  virtual void RemoveRect(bool tracked, int idx) = 0;
  virtual void ChangeRectTracked(bool tracked, int idx) = 0;
  virtual void RemoveIgnoreAreas() = 0;
  virtual void TrackAllRects() = 0;
  virtual void UntrackAllRects() = 0;
  virtual void PinRect(int idx) = 0;
  virtual bool IsRectPinned(int idx) = 0;
  // Opens a move or resize of that rectangle; false when the facade cannot.
  virtual bool StartTransformRect(bool tracked, int idx) = 0;
  virtual void SetTransformingRect(int x, int y, int width, int height) = 0;
  virtual void EndTransformRect() = 0;
  virtual IntRect GetDisplayRect(int idx) = 0;
  virtual IntRect GetIgnoreRect(int index) = 0;
  virtual IntRect GetIgnoreRectById(int idx) = 0;
  virtual std::vector<orlith::SelvoRect> GetManualRect() = 0;
  virtual std::vector<orlith::SelvoRect> GetDetectRect() = 0;
  virtual void SetFocusModeManualRect(int x, int y, int width, int height) = 0;
  virtual int getContentOffset() = 0;
  virtual void enableDrawRect(bool enable) = 0;
  virtual void enableDrawRefLine(bool enable) = 0;
};

using AnalysisFacadeFactory = std::function<std::shared_ptr<AnalysisFacade>()>;

}  // namespace corvane

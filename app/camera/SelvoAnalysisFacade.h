#pragma once

#include <memory>

#include "ISelvoServiceManage.h"
#include "camera/AnalysisFacade.h"

namespace corvane {

// The camera manager's facade operations on the framework's analysis facade.
class SelvoAnalysisFacade : public AnalysisFacade {
 public:
  // A facade of its own (not the framework's shared one).
  SelvoAnalysisFacade();
  explicit SelvoAnalysisFacade(std::shared_ptr<orlith::ISelvoServiceManage> facade);

  // Makes a new framework facade for every camera manager that asks.
  static AnalysisFacadeFactory factory();

  orlith::ISelvoServiceManage& facade() { return *facade_; }

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

  void initManager() override;
  void setup(double srcWidth, double srcHeight, double dstWidth, double dstHeight,
             double controlWidth, double controlHeight, double processWidth, double processHeight,
             bool is360, const std::string& dbPath) override;
  void releaseSelvoInst() override;
  void addDetectObservable(Observer observer) override;
  void addDetectOnceObservable(Observer observer) override;
  void addLayoutObservable(LayoutObserver observer) override;
  void imageProcessWithPixelBuffer(const platform::PixelBufferRef& frame,
                                   std::function<void()> done) override;
  void reset(double width, double height) override;
  void EnableAccumulateDetection(bool enable) override;
  bool GetAccumulateDetectionStatus() const override;
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
  bool detectionAskedPending() override;
  void setContentOffset(int value) override;
  bool AddNewRect(int x1, int y1, int x2, int y2) override;
  void ClearAllRect() override;
  void StartIgnoreAreaEditing() override;
  void EndIgnoreAreaEditing(bool keep) override;
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

 private:
  std::shared_ptr<orlith::ISelvoServiceManage> facade_;
};

}  // namespace corvane

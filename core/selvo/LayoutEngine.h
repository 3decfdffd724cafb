#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Framing.h"
#include "GridPlanner.h"
#include "GroupPlanner.h"
#include "ISELVO_LAYOUT.h"
#include "LayoutTuning.h"
#include "PersonRoster.h"
#include "PlanContext.h"
#include "SpeakerTracker.h"
#include "SubwindowPairs.h"
#include "VirtualCamera.h"

namespace selvo {

// The layout engine behind the interface: the people, pins, ignore areas, fixed rectangles and
// the voice direction in, the ROI pairs of every display mode out (see LAYOUT.md). Settings come
// from the main thread and frames from the processing queue, so every operation takes the lock.
class LayoutEngine : public ISELVO_LAYOUT {
 public:
  static constexpr int kMaxPairs = 20;
  static constexpr int64_t kDefaultFrameUs = 33'333;

  explicit LayoutEngine(LayoutTuning& tuning = LayoutTuning::shared());

  void Init(bool is360, int videoWidth, int videoHeight, int outputWidth, int outputHeight,
            int subWidth, int subHeight, int reserved) override;
  void Reinit(bool is360, int videoWidth, int videoHeight, int outputWidth, int outputHeight,
              int subWidth, int subHeight, int reserved) override;

  void SetDefaultLogoPath(const char* path) override;
  void SetVoiceIndicatorIconPath(const char* path) override;
  void SetPinIconPath(const char* path) override;
  void SetAnchorPointSymbolPath(const char* path) override;
  void SetIgnoreTagIconPath(const char* path) override;
  void SetNameTagImage(const char* path, int style) override;
  void SetViewMoveIcon(const char* path, int width, int height, int positions) override;

  int GetLayoutMode() override;
  void SetManualRect(int layoutMode, rect manual) override;
  void SetRects(const rect* tracked, int trackedCount, const rect* untracked,
                int untrackedCount) override;
  void SetIgnoreAreas(const rect* areas, int count) override;
  void SetPinnedIds(int count, const int* ids) override;
  void SetContentOffset(int offset) override;
  void SetNameTag(int rectId, const char* name, const char* company, const char* title) override;
  void SetLatestManualRectId(int id) override;
  void SetTransformingRectId(int id) override;
  void AddVoiceDirection(bool isVoice, int angle) override;
  void SetFrameTime(int64_t microseconds) override;
  void DoBufferLayout() override;
  void SetSrcToSubwindow(int srcWidth, int srcHeight, int subWidth, int subHeight) override;
  bool GetROIPairCount(int type, int* count) override;
  bool GetROIPairs(int type, int count, roi_pair* pairs) override;
  bool GetSubwindowROIPairCount(int type, int* count) override;
  bool GetSubwindowROIPairs(int type, int count, roi_pair* pairs) override;

  void EnableBeamforming(bool enable) override;
  void SetMirror(bool mirror) override;
  void EnableROIAutoMerge(bool enable) override;
  void SetLayoutMode(int mode) override;
  void SetFitPolicy(int policy) override;
  void SetHeightOffsetFor180Video(int offset) override;
  void SetFocusModeROIExtendPixel(int pixels) override;
  void SetMaxGridCount(int count) override;
  void SetGridComposeModeMaxCount(int count) override;
  void SetPIPSmallWindowSize(int level) override;
  void SetAngleTolerance(int degrees) override;
  void GetViewMoveIconRect(float* values, int count) override;
  void EnableSubWindowDrawRect(int which, bool enable) override;
  void SetDrawFlags(unsigned mask) override;
  void SetEditWindowIgnoreIconFlags(unsigned mask) override;
  bool GetFocusedRectInPIP(int reserved, int* id) override;

  // Draw-mask bits.
  static constexpr unsigned kDrawNormal = 1u << 0;
  static constexpr unsigned kDrawTracking = 1u << 1;
  static constexpr unsigned kDrawSpeaking = 1u << 2;
  static constexpr unsigned kDrawPin = 1u << 10;
  static constexpr unsigned kDrawNameTag = 1u << 11;
  static constexpr unsigned kDrawFixed = 1u << 12;
  static constexpr unsigned kDrawIgnore = 1u << 13;

 private:
  struct Camera {
    uint32_t key;
    int subject;
    VirtualCamera camera;
    bool used;
  };
  struct Present {
    rect box;  // display coordinates
    bool tracked;
  };

  void setUp(bool is360, int videoWidth, int videoHeight, int outputWidth, int outputHeight,
             int subWidth, int subHeight, bool keepPeople);
  void normaliseGeometry();
  void collectPresent();
  void gatherPeople(int64_t nowUs, const LayoutTuningValues& tuning);
  void gatherBodies();
  void turnPanorama();
  void splitTopDown();
  CropPose fenced(const CropPose& pose, const LayoutTile& tile, const FramingLimits& limits);
  void planTiles(std::vector<LayoutTile>& tiles, const LayoutTuningValues& tuning);
  void shoot(const std::vector<LayoutTile>& tiles, const LayoutTuningValues& tuning);
  void capPairs();
  std::vector<BorderItem> borderItems() const;
  const std::string* nameOf(int id) const;
  bool isPinned(int id) const;
  VoiceGeometry voiceGeometry(const LayoutTuningValues& tuning) const;
  Camera& cameraFor(uint32_t key);

  mutable std::mutex mutex_;
  LayoutTuning& tuning_;
  LayoutTuningValues frameTuning_;

  // Set-up.
  bool ready_ = false;
  LayoutGeometry geometry_;
  int iconWidth_ = 0;
  int iconHeight_ = 0;
  std::string logoPath_, voicePath_, pinPath_, anchorPath_, ignorePath_, movePath_;
  std::string tagPaths_[3];

  // Settings.
  bool beamforming_ = false;
  bool autoMerge_ = true;
  int mode_ = LAYOUT_COMPOSE;
  int fitPolicy_ = 1;
  int extendPixels_ = 250;
  int maxGridCount_ = 4;
  int composeMaxCount_ = PlanContext::kDefaultComposeMaxCount;
  int pipLevel_ = 1;
  int angleTolerance_ = 15;
  bool subDrawRect_ = true;
  unsigned drawFlags_ = ~0u;
  unsigned editIgnoreIconFlags_ = ~0u;

  // Per-frame input.
  rect focusRect_;
  rect presentationRect_;
  std::vector<rect> tracked_;
  std::vector<rect> untracked_;
  std::vector<rect> ignore_;
  std::vector<int> pins_;
  std::vector<std::pair<int, std::string>> names_;
  int anchorId_ = -1;
  int transformingId_ = -1;
  std::vector<std::pair<bool, int>> voice_;
  bool hasFrameTime_ = false;
  int64_t frameTime_ = 0;

  // State across frames.
  int64_t nowUs_ = 0;
  bool clockWarned_ = false;
  bool laidOut_ = false;
  int lastMode_ = -1;
  int lastFitPolicy_ = -1;
  int lastOffset_ = 0;
  bool inputsPending_ = false;
  std::vector<Present> present_;
  PersonRoster roster_;
  SpeakerTracker speaker_;
  GridPlanner grid_;
  GroupPlanner groups_;
  std::vector<LayoutPerson> people_;
  std::vector<Camera> cameras_;
  // Everyone a crop must not cut (joined or not yet), and their ids, for the fences.
  std::vector<Body> bodies_;
  std::vector<int> bodyIds_;
  Framing::FenceScratch fenceScratch_;
  // The start of whole-panorama views, held while the same people sit in the same gaps.
  double panoramaTurn_ = 0;
  std::vector<int> turnPeople_;
  // Where the top-down view splits the turn, held while the same people sit clear of it.
  double splitFirst_ = 0;
  double splitSecond_ = 0;
  bool splitChosen_ = false;
  std::vector<int> splitPeople_;
  std::vector<Body> coreScratch_;
  std::vector<int> idScratch_;

  // Results.
  std::vector<roi_pair> pairs_[3];
  SubwindowPairs sub_;
  int focusedInPip_ = -1;
  bool hasFrameBorder_ = false;
  rect frameBorder_;
};

}  // namespace selvo

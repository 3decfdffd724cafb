#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "Extended_Rect.h"
#include "selvo/SelvoTypes.h"

namespace orlith {

// Keeps every rectangle of interest in the panorama: detected and manual rectangles (the main
// list), ignore areas, the rectangle being drawn, the one being moved or resized, and the pins
// of each layout mode. It merges detection results into what it has, takes the trackers'
// results and hands the layout its lists.
//
// Threads: the main thread edits, queries and hit-tests; the processing queue applies the
// edits (ValidateTrackedRect, once per frame at the start of the tracking step) and feeds
// detections and tracker results. One mutex guards every list, so any thread may read.
// Edits of the main list are requests, carried out in the order they were made.
//
// Coordinates: x is stored in panorama pixels without the content offset and without
// mirroring; callers speak display coordinates and the conversions go both ways.
class RectManager {
 public:
  using rect = selvo::rect;
  using PersonInfo = selvo::PersonInfo;
  using TagPairs = std::vector<std::pair<int, PersonInfo>>;

  static constexpr int kMaxRects = 30;
  static constexpr int kIgnoreAreaMinSide = 50;

  RectManager();
  virtual ~RectManager();
  RectManager(const RectManager&) = delete;
  RectManager& operator=(const RectManager&) = delete;

  // Grows r to at least minSide (or ratio times its size) around its centre and keeps it
  // inside a W x H picture (360-degree: x wraps).
  static void validateRectSize(rect& r, int W, int H, int minSide, bool is360, float ratio);
  // Intersection over union when the two overlap (strictly), else 0.
  static float overlapRatio(const rect& a, const rect& b);

  // Set-up and settings.
  bool SetVideoInfo(int width, int height, bool is360);
  void SetBasePositionOffset(int offset);
  int BasePositionOffset() const { return offset_.load(); }
  void SetMaxGridCount(int count);
  void SetMinSideLength(int side) { minSide_.store(side); }
  int MinSideLength() const { return minSide_.load(); }
  void SetMaxDetectRectSideLength(int side) { maxDetectSide_.store(side); }
  void SetDetectResultOverlappingThreshold(float t) { overlapThreshold_.store(t); }
  void SetDetectResultUpdateRatio(float r) { updateRatio_.store(r); }
  void SetDetectRectDirtyThreshold(int n) { lostLimit_.store(n); }
  void SetFaceEnlargeRatio(float r) { enlargeRatio_.store(r); }
  void SetMirror(bool mirror) { mirror_.store(mirror); }
  bool Mirror() const { return mirror_.load(); }
  void SetLayoutMode(int mode) { layoutMode_.store(mode); }
  int LayoutMode() const { return layoutMode_.load(); }
  void StartIgnoreAreaEditing() { ignoreEditing_.store(true); }
  bool IsIgnoreAreaEditing() const { return ignoreEditing_.load(); }
  // The next detection result replaces the detected rectangles instead of merging.
  void ClearPrevDetectResults() { clearPrevDetections_.store(true); }

  // A new positive id that no rectangle held here uses.
  int NewRectId() const;

  // Drawing and adding (main thread). All four zeros clear the rectangle being drawn.
  void SetTempRect(rect r);
  void CancelTempRect();
  // The rectangle being drawn, as stored; false when none.
  bool GetTempRect(rect& r) const;
  bool AddManualRect(rect r);
  bool AddIgnoreManualRect(rect r);
  // The newest rectangle drawn (added while a rectangle was being drawn) since the last call;
  // isNew with id -1 once a transform's end took that mark away.
  void GetLatestManulRectId(bool& isNew, int& id);

  // Requests, carried out by the next ValidateTrackedRect. While ignore areas are edited,
  // removing and clearing act on the ignore areas at once; the other requests wait.
  void RemoveRect(bool tracked, int id);
  void ChangeRectTracked(bool tracked, int id);
  void ClearAllRects();
  void TrackAllRects();
  void UntrackAllRects();
  void PinRect(int id);
  void EnableAutoDetectTracking();
  void DisableAutoDetectTracking();

  // Hit test and queries, in display coordinates where they give positions.
  bool FindRect(int x, int y, bool& isTrack, bool& isDetect, int& id) const;
  bool IsRectPinned(int id) const;
  std::vector<int> GetPinnedIds() const;
  bool GetTransformRectId(int& id) const;
  void GetTransformingRect(int& x, int& y, int& w, int& h) const;
  void GetDisplayRect(int id, int& x, int& y, int& w, int& h) const;
  void GetIgnoreRect(int index, int& x, int& y, int& w, int& h) const;
  void GetIgnoreRectById(int id, int& x, int& y, int& w, int& h) const;
  // Stored coordinates from here on.
  std::vector<rect> GetIgnoreAreas() const;
  std::vector<rect> GetUntrackedRects() const;
  std::vector<rect> GetTrackedDisplayRects() const;
  std::vector<rect> GetTrackedDetectRects() const;
  std::vector<rect> GetTrackedManualRects() const;
  std::vector<rect> GetManualRect() const;
  std::vector<rect> GetDetectRect() const;
  bool HasRectTracked() const;
  bool HasDetectRectTracked() const;
  void GetAllTagPairs(TagPairs& pairs) const;
  // A copy of the main list.
  std::vector<Extended_Rect> GetEntries() const;

  // Moving or resizing one rectangle (display coordinates).
  bool StartTransformRect(int id);
  void SetTransformingRect(int x, int y, int w, int h);
  // Also takes the newest rectangle's mark away: the editor's selection is gone.
  void EndTransformRect();

  void EndIgnoreAreaEditing(bool keep);
  void RemoveIgnoreAreas();

  // Person records of the name tags.
  bool SetPersonInfoByPersonid(const PersonInfo* info, int personId);
  void SetPersonInfoByRectid(const PersonInfo* info, int id);
  void SetPersonHidden(int personId, bool hidden);
  void DeletePerson(int personId);
  std::vector<rect> GetAdjustDetectedRects() const;
  int GetAdjustIdWithOrigDetectId(int detectionId, int& personId) const;

  // Processing queue: applies the pending requests; true when the trackers' targets changed.
  bool ValidateTrackedRect();
  void SetDetectedRects(const std::vector<rect>& detections);
  void SetDetectedRects_replace_tracking(const std::vector<rect>& detections);
  void SetTrackedRects(const std::vector<rect>& results);

 private:
  enum class RequestKind {
    Add,
    Remove,
    Change,
    ClearAll,
    TrackAll,
    UntrackAll,
    TrackAllDetected,
    UntrackAllDetected,
    Pin,
    Transform,
  };
  struct Request {
    RequestKind kind = RequestKind::Add;
    int id = -1;
    Extended_Rect entry;  // Add
    rect area;            // Transform
  };
  struct PinRing {
    std::vector<int> ids;
    int cursor = 0;
  };

  static Request makeRequest(RequestKind kind, int id = -1);
  // All of these expect mutex_ held.
  bool idInUse(int id) const;
  int storedX(double x, double width) const;
  void toDisplay(const rect& r, int& x, int& y, int& w, int& h) const;
  bool inIgnoreArea(const rect& fitted) const;
  bool hit(const rect& r, int d, int y) const;
  void removeEntries(const std::function<bool(const Extended_Rect&)>& which);
  void unpin(int id);
  void resetPins();
  void pin(int id);
  bool applyTransform(const rect& area, bool onIgnore);
  bool addManual(rect r, bool toIgnore);
  int projectedEntries() const;
  int ignoreAreaCount() const;
  // Boxes or ignore areas that may still be added: below the manager's ceiling and what the
  // panorama draws.
  int outlineRoom() const;
  // Whether a box stands, or waits to be added, at the place of `fitted`.
  bool framedAlready(const rect& fitted) const;
  std::vector<rect> kept(const std::vector<rect>& detections, bool limitFitted) const;
  void matchDetections(const std::vector<rect>& kept, bool onlyTracked,
                       std::vector<rect>* unmatched);
  Extended_Rect detectedEntry(const rect& k) const;
  rect fitDetection(const rect& k) const;

  // Settings read from any thread.
  std::atomic<int> width_{0};
  std::atomic<int> height_{0};
  std::atomic<bool> is360_{false};
  std::atomic<int> minSide_{320};
  std::atomic<int> maxDetectSide_{800};
  std::atomic<int> offset_{0};
  std::atomic<float> overlapThreshold_{0.5f};
  std::atomic<float> updateRatio_{0.5f};
  std::atomic<int> lostLimit_{2};
  std::atomic<float> enlargeRatio_{1.4f};
  std::atomic<bool> mirror_{false};
  std::atomic<bool> ignoreEditing_{false};
  std::atomic<bool> clearPrevDetections_{false};
  std::atomic<bool> autoTrackDetections_{false};
  std::atomic<bool> transforming_{false};
  std::atomic<int> layoutMode_{0};

  mutable std::mutex mutex_;
  // Guarded by mutex_.
  bool drawing_ = false;
  rect tempRect_;
  bool newManual_ = false;
  int latestManualId_ = -1;
  int maxGridCount_ = 4;
  bool transformOnIgnore_ = false;
  rect transformRect_;
  std::deque<Request> requests_;
  std::vector<Extended_Rect> entries_;
  std::vector<rect> newIgnoreAreas_;
  std::vector<rect> ignoreAreas_;
  PinRing gridPins_;                  // layout mode 0
  PinRing mode3Pins_;                 // layout mode 3
  std::vector<int> presentationPin_;  // layout mode 7
  std::vector<int> speakerPin_;       // layout modes 5 and 9
  std::map<int, int> detectionIds_;   // detection id -> entry id of the latest result
};

}  // namespace orlith

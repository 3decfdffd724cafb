#pragma once

#include <memory>
#include <vector>

#include "RectManager.h"
#include "SelvoRect.h"

namespace orlith {

// The facade's operations that only reach the rectangle manager: editing, hit tests, queries
// and the merge settings. Each does nothing while there is no rectangle manager (before set-up
// or after release). Main thread.
class SelvoRectOperations {
 public:
  using rect = selvo::rect;

  virtual ~SelvoRectOperations() = default;

  // Values written into the rectangle manager.
  void SetFaceEnlargeRatio(double ratio);
  void SetDetectResultOverlappingThreshold(float threshold);
  void SetDetectResultUpdateRatio(float ratio);
  void SetDetectRectDirtyThreshold(int count);
  void SetMaxDetectRectSideLength(int side);
  void ClearPrevDetectResults();
  void EnableAutoDetectTracking();
  void DisableAutoDetectTracking();

  // Rectangle editing; corners in video pixels, in any order.
  void SetTempRect(int x1, int y1, int x2, int y2);
  // False when the box was refused: no room for one more on the panorama.
  bool AddNewRect(int x1, int y1, int x2, int y2);
  void AddIgnoreNewRect(int x1, int y1, int x2, int y2);
  void CancelTempRect();
  bool FindRect(int x, int y, bool& isTrack, bool& isDetect, int& id);
  void RemoveRect(bool tracked, int id);
  void ChangeRectTracked(bool tracked, int id);
  void RemoveIgnoreAreas();
  void ClearAllRect();
  void TrackAllRects();
  void UntrackAllRects();
  void PinRect(int id);
  bool IsRectPinned(int id);
  bool StartTransformRect(bool tracked, int id);
  void SetTransformingRect(int x, int y, int width, int height);
  void EndTransformRect();
  void GetTransformingRect(int& x, int& y, int& width, int& height);
  void GetDisplayRect(int id, int& x, int& y, int& width, int& height);

  // Queries.
  long GetIgnoredRectCount();
  void GetIgnoreRect(int index, int& x, int& y, int& width, int& height);
  void GetIgnoreRectById(int id, int& x, int& y, int& width, int& height);
  void GetManualRect(std::vector<SelvoRect>& out);
  void GetDetectRect(std::vector<SelvoRect>& out);

 protected:
  // The rectangle manager, or none before set-up and after release.
  virtual std::shared_ptr<RectManager> rectManager() const = 0;
  static rect _convert_to_rect(int x1, int y1, int x2, int y2, int bottomBound);
};

}  // namespace orlith

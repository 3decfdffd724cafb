#pragma once

#include "ISELVO_FRAME_MANAGER.h"
#include "SelvoTypes.h"

namespace selvo {

// Follows rectangles from frame to frame, in process pixels; ids pass through.
class ISELVO_TRACKER {
 public:
  virtual ~ISELVO_TRACKER() = default;
  // kind: TRACKER_CORRELATION or TRACKER_OPTICAL_FLOW.
  virtual bool Init(int width, int height, bool is360, int kind) = 0;
  virtual void Track(unsigned frameId) = 0;
  virtual void SetTargets(const rect* rects, int count) = 0;
  // *count = -1 when nothing new.
  virtual void GetResultCount(int* count) = 0;
  // One rect per target. A followed target scores in (0, 1]; a lost one keeps the box it was
  // last seen in, with score 0.
  virtual void GetResults(rect* rects, int count) = 0;
  virtual void SetFrameManager(ISELVO_FRAME_MANAGER* frameManager) = 0;
};

}  // namespace selvo

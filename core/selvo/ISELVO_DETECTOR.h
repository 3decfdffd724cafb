#pragma once

#include "DetectCallback.h"
#include "ISELVO_FRAME_MANAGER.h"
#include "SelvoTypes.h"

namespace selvo {

// Finds people in the frames the frame manager hands over. Results may arrive frames later.
class ISELVO_DETECTOR {
 public:
  virtual ~ISELVO_DETECTOR() = default;
  virtual void Init(int width, int height, bool is360, int modelType, int reserved,
                    float confidence) = 0;
  virtual void SetMinRectSideLength(int side) = 0;
  virtual void EnableReinforcementDetect(bool enable) = 0;
  // Takes effect from the next detection pass.
  virtual void SetConfidenceThreshold(float confidence) = 0;
  virtual void SetModelType(int modelType) = 0;
  virtual void AddFrame(unsigned frameId, bool detect) = 0;
  // The next detection looks at the whole picture afresh (a detection the user asked for),
  // whatever it remembers of earlier passes.
  virtual void RequestFullPass() {}
  // Greater than 0 when a new result is ready; *count then holds its size.
  virtual int GetResultCount(int* count) = 0;
  // `found` are the raw face boxes, `adjusted` the boxes the rectangle manager keeps.
  virtual void GetResults(rect* found, rect* adjusted, int count) = 0;
  // The frame the result last handed out was found in; false where the detector cannot tell.
  // A pass takes a while, so the result that arrives just after a frame was added may still be
  // of an older one.
  virtual bool GetResultFrameId(unsigned* /*frameId*/) { return false; }
  virtual void SetCallback(DetectCallback* callback) = 0;
  virtual void SetFrameManager(ISELVO_FRAME_MANAGER* frameManager) = 0;
  // False when another face detector feeds results through SetExternalResults.
  virtual void SetNativeMode(bool native) = 0;
  virtual void SetExternalResults(const rect* rects, int count) = 0;
};

}  // namespace selvo

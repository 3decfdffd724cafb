#pragma once

namespace selvo {

// Told by the detector when a detection pass has finished.
class DetectCallback {
 public:
  virtual ~DetectCallback() = default;
  virtual void OnDetectDone() = 0;
};

}  // namespace selvo

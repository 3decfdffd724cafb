#pragma once

#include "IFaceDetector.h"
#include "facedetect/IDetector.h"

namespace orlith {

// Gives the facade the framework's face detector through the interface it polls.
class FaceDetectorSource : public IFaceDetector {
 public:
  explicit FaceDetectorSource(IDetector& detector) : detector_(detector) {}

  // The translated path is taken only when this detector can run; without its model the vision
  // library's own detector does the work, translated or not.
  bool runningWithRosetta() const override {
    return detector_.runningWithRosetta() && detector_.available();
  }
  void setSrcType(bool is360) override { detector_.setSrcType(is360); }
  void detectWithYUVPixelBuffer(const platform::PixelBufferRef& frame) override {
    detector_.detect(frame);
  }
  int rectsCount() const override { return int(detector_.rectsCount()); }
  bool isUpdated() const override { return detector_.isUpdated(); }
  void setIsUpdated(bool updated) override { detector_.setIsUpdated(updated); }
  std::vector<DoubleRect> origRects() const override;

 private:
  IDetector& detector_;
};

}  // namespace orlith
